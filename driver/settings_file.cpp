#include "driver/settings_file.h"

#include "app/names.h"
#include "driver/files.h"

#include <shlobj.h>

#include <algorithm>
#include <map>
#include <sstream>

namespace {

std::wstring Trim(std::wstring text)
{
    text.erase(text.find_last_not_of(L" \t\r") + 1); // all of it, when blank
    return text.erase(0, text.find_first_not_of(L" \t\r"));
}

// Orders keys as the profile functions match them: ignoring case.
struct IgnoringCase {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

} // namespace

std::wstring RoamingAppData()
{
    PWSTR path = nullptr;
    const std::wstring result =
        SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)) ? path : L"";
    CoTaskMemFree(path);
    return result;
}

std::wstring SettingsDir()
{
    return RoamingAppData() + L"\\" + kAppName;
}

std::wstring SettingsPath()
{
    return SettingsDir() + L"\\config.ini";
}

std::wstring SettingsFileText(const std::wstring& folder, int index)
{
    // In the order of kSettingsKeys.
    const std::wstring values[] = {folder, L"0", std::to_wstring(index), L"0", L"0", L"3", L"87"};
    std::wstring text = L"[" + std::wstring(kSettingsSection) + L"]\r\n";
    for (size_t i = 0; i < std::size(values); ++i) {
        text += kSettingsKeys[i] + (L"=" + values[i]) + L"\r\n";
    }
    return text;
}

void WriteSettingsFile(const std::wstring& folder, int index, size_t keep)
{
    const std::wstring text = L"\xFEFF" + SettingsFileText(folder, index);
    const size_t characters = std::min(keep, text.size());
    CreateDirectoryW(SettingsDir().c_str(), nullptr);
    WriteBytes(SettingsPath(), std::string(reinterpret_cast<const char*>(text.data()), characters * sizeof(wchar_t)));
}

bool SettingsComplete(const std::wstring& folder, std::string* problem)
{
    const std::wstring text = ReadText(SettingsPath()).value_or(L"");
    std::map<std::wstring, std::wstring, IgnoringCase> values; // of the [Backdrift] section
    bool inSection = false;
    std::wistringstream lines(text);
    for (std::wstring line; std::getline(lines, line);) {
        line = Trim(line);
        if (!line.empty() && line.front() == L'[') {
            inSection = _wcsicmp(line.c_str(), (L"[" + std::wstring(kSettingsSection) + L"]").c_str()) == 0;
        } else if (const size_t equals = line.find(L'='); inSection && equals != std::wstring::npos) {
            values.emplace(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
        }
    }
    for (const wchar_t* name : kSettingsKeys) {
        if (!values.count(name)) {
            *problem = "no " + Narrow(name) + " in " + std::to_string(text.size()) + " characters: \"" +
                       Narrow(text.substr(0, 120)) + "\"";
            return false;
        }
    }
    if (values[key::Folder] != folder) {
        *problem = "Folder is \"" + Narrow(values[key::Folder]) + "\"";
        return false;
    }
    return true;
}

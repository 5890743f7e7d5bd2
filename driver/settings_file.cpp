#include "driver/settings_file.h"

#include "app/names.h"
#include "driver/files.h"

#include <shlobj.h>

#include <algorithm>
#include <cwctype>
#include <map>

namespace {

std::wstring Trim(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t\r");
    if (first == std::wstring::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L" \t\r") + 1 - first);
}

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

} // namespace

std::wstring RoamingAppData()
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path))) {
        result = path;
    }
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
    std::map<std::wstring, std::wstring> values; // of the [Backdrift] section, by lower-case key
    bool inSection = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        const std::wstring line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.front() == L'[') {
            inSection = Lower(line) == Lower(L"[" + std::wstring(kSettingsSection) + L"]");
        } else if (const size_t equals = line.find(L'='); inSection && equals != std::wstring::npos) {
            values.emplace(Lower(Trim(line.substr(0, equals))), Trim(line.substr(equals + 1)));
        }
    }
    for (const wchar_t* name : kSettingsKeys) {
        if (!values.count(Lower(name))) {
            *problem = "no " + Narrow(name) + " in " + std::to_string(text.size()) + " characters: \"" +
                       Narrow(text.substr(0, 120)) + "\"";
            return false;
        }
    }
    if (values[Lower(key::Folder)] != folder) {
        *problem = "Folder is \"" + Narrow(values[Lower(key::Folder)]) + "\"";
        return false;
    }
    return true;
}

#include "settings/settings.h"

#include "app/app_state.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace {

constexpr wchar_t kSection[] = L"Backdrift";
constexpr UINT kHotkeyModMask = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;
constexpr UINT kMaxVirtualKey = 0xFF;
constexpr size_t kFirstValueBuffer = 520;

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ReadString(const wchar_t* key, const std::wstring& file)
{
    // The profile functions cannot tell a value that exactly fills the buffer
    // from one that was cut, so grow until the value comes back shorter.
    std::wstring buffer(kFirstValueBuffer, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD copied = GetPrivateProfileStringW(kSection, key, L"", buffer.data(), size, file.c_str());
        if (copied < size - 1) {
            buffer.resize(copied);
            return buffer;
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

UINT ReadInt(const wchar_t* key, INT fallback, const std::wstring& file)
{
    return GetPrivateProfileIntW(kSection, key, fallback, file.c_str());
}

void WriteString(const wchar_t* key, const std::wstring& value, const std::wstring& file)
{
    WritePrivateProfileStringW(kSection, key, value.c_str(), file.c_str());
}

void WriteSigned(const wchar_t* key, int32_t value, const std::wstring& file)
{
    wchar_t text[16];
    wsprintfW(text, L"%d", value);
    WritePrivateProfileStringW(kSection, key, text, file.c_str());
}

void WriteUnsigned(const wchar_t* key, uint32_t value, const std::wstring& file)
{
    wchar_t text[16];
    wsprintfW(text, L"%u", value);
    WritePrivateProfileStringW(kSection, key, text, file.c_str());
}

// The profile functions create a new file in the ANSI code page, which would
// turn a folder such as C:\Users\Łukasz\壁紙 into question marks. A file that
// starts with a UTF-16LE byte-order mark stays UTF-16, so create it that way.
// An existing file keeps whatever encoding it has.
void CreateUnicodeFileIfMissing(const std::wstring& file)
{
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return;
    }
    constexpr BYTE kUtf16LeBom[] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(handle, kUtf16LeBom, sizeof(kUtf16LeBom), &written, nullptr);
    CloseHandle(handle);
}

} // namespace

std::wstring GetExePath()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD copied = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (copied == 0) {
            return {};
        }
        if (copied < size - 1) {
            buffer.resize(copied);
            return buffer;
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

std::wstring GetConfigDir()
{
    PWSTR roaming = nullptr;
    const HRESULT found = SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming);
    std::wstring dir = SUCCEEDED(found) ? roaming : L"";
    CoTaskMemFree(roaming); // the caller frees it whether or not the call succeeded
    if (SUCCEEDED(found)) {
        dir += L"\\Backdrift";
        // A file named Backdrift also reports "already exists"; only a real
        // folder can hold the settings.
        if (CreateDirectoryW(dir.c_str(), nullptr) || (GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(dir))) {
            return dir;
        }
    }

    const std::wstring exe = GetExePath();
    const size_t separator = exe.find_last_of(L"\\/");
    if (separator == std::wstring::npos) {
        return L".";
    }
    return exe.substr(0, separator);
}

std::wstring GetConfigPath()
{
    return GetConfigDir() + L"\\config.ini";
}

void LoadSettings()
{
    const std::wstring file = GetConfigPath();

    g_app.folder = ReadString(L"Folder", file);
    g_app.mode = static_cast<RotationMode>(ReadInt(L"Mode", Sequential, file));
    g_app.index = static_cast<int32_t>(ReadInt(L"Index", -1, file));
    g_app.fit = static_cast<FitMode>(ReadInt(L"Fit", Fill, file));
    g_app.autostart = ReadInt(L"Autostart", 0, file) != 0;
    g_app.hotkeyMod = ReadInt(L"HotkeyMod", MOD_CONTROL | MOD_ALT, file);
    g_app.hotkeyVk = ReadInt(L"HotkeyVk", 'W', file);

    if (g_app.mode > Random) {
        g_app.mode = Sequential;
    }
    if (g_app.fit > Center) {
        g_app.fit = Fill;
    }
    g_app.hotkeyMod &= kHotkeyModMask;
    if (g_app.hotkeyVk > kMaxVirtualKey) {
        g_app.hotkeyVk = 0;
    }
}

void SaveSettings()
{
    const std::wstring file = GetConfigPath();
    CreateUnicodeFileIfMissing(file);

    WriteString(L"Folder", g_app.folder, file);
    WriteSigned(L"Mode", static_cast<int32_t>(g_app.mode), file);
    WriteSigned(L"Index", g_app.index, file);
    WriteSigned(L"Fit", static_cast<int32_t>(g_app.fit), file);
    WriteSigned(L"Autostart", g_app.autostart ? 1 : 0, file);
    WriteUnsigned(L"HotkeyMod", g_app.hotkeyMod, file);
    WriteUnsigned(L"HotkeyVk", g_app.hotkeyVk, file);
}

#include "settings/settings.h"

#include "app/app_state.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace {

constexpr UINT kHotkeyModMask = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;
constexpr UINT kMaxVirtualKey = 0xFF;
constexpr size_t kFirstValueBuffer = 520;

std::wstring ReadString(const wchar_t* key, const std::wstring& file)
{
    // The profile functions cannot tell a value that exactly fills the buffer
    // from one that was cut, so grow until the value comes back shorter.
    std::wstring buffer(kFirstValueBuffer, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD copied = GetPrivateProfileStringW(kSettingsSection, key, L"", buffer.data(), size, file.c_str());
        if (copied < size - 1) {
            buffer.resize(copied);
            return buffer;
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

UINT ReadInt(const wchar_t* key, INT fallback, const std::wstring& file)
{
    return GetPrivateProfileIntW(kSettingsSection, key, fallback, file.c_str());
}

bool WriteString(const wchar_t* key, const std::wstring& value, const std::wstring& file)
{
    return WritePrivateProfileStringW(kSettingsSection, key, value.c_str(), file.c_str()) != FALSE;
}

bool WriteSigned(const wchar_t* key, int32_t value, const std::wstring& file)
{
    wchar_t text[16];
    wsprintfW(text, L"%d", value);
    return WritePrivateProfileStringW(kSettingsSection, key, text, file.c_str()) != FALSE;
}

bool WriteUnsigned(const wchar_t* key, uint32_t value, const std::wstring& file)
{
    wchar_t text[16];
    wsprintfW(text, L"%u", value);
    return WritePrivateProfileStringW(kSettingsSection, key, text, file.c_str()) != FALSE;
}

// A file the profile functions keep in UTF-16: they would create an ANSI one,
// which turns a folder such as C:\Users\Łukasz\壁紙 into question marks, but
// they keep a file that starts with the byte-order mark in UTF-16.
bool CreateUtf16File(const std::wstring& path, DWORD creation)
{
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    constexpr BYTE kUtf16LeBom[] = {0xFF, 0xFE};
    DWORD written = 0;
    const bool started =
        WriteFile(handle, kUtf16LeBom, sizeof(kUtf16LeBom), &written, nullptr) && written == sizeof(kUtf16LeBom);
    CloseHandle(handle);
    return started;
}

// A draft left by a crash or an earlier failed save may carry any attributes
// (CopyFileW copies a read-only one from the file); the copy and the create
// below would be refused on a read-only or hidden file.
void DiscardDraft(const std::wstring& draft)
{
    SetFileAttributesW(draft.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(draft.c_str());
}

// The draft starts as a byte copy of the settings file, so other keys and
// sections and the file's encoding carry over; without a file yet, as an
// empty UTF-16 one.
bool StartDraft(const std::wstring& file, const std::wstring& draft)
{
    if (CopyFileW(file.c_str(), draft.c_str(), FALSE)) {
        return true;
    }
    return GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES && CreateUtf16File(draft, CREATE_ALWAYS);
}

// The draft's bytes must be on the disk before it takes the file's place,
// or a power cut right after the replace could leave an empty file. Shared,
// so that a scanner reading the fresh draft does not stop the save.
bool FlushDraft(const std::wstring& draft)
{
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, draft.c_str()); // out of the profile cache
    HANDLE handle = CreateFileW(draft.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool flushed = FlushFileBuffers(handle) != FALSE;
    CloseHandle(handle);
    return flushed;
}

bool WriteKeys(const std::wstring& file)
{
    return WriteString(key::Folder, g_app.folder, file) &&
           WriteSigned(key::Mode, static_cast<int32_t>(g_app.mode), file) &&
           WriteSigned(key::Index, g_app.index, file) && WriteSigned(key::Fit, static_cast<int32_t>(g_app.fit), file) &&
           WriteSigned(key::Autostart, g_app.autostart ? 1 : 0, file) &&
           WriteUnsigned(key::HotkeyMod, g_app.hotkeyMod, file) && WriteUnsigned(key::HotkeyVk, g_app.hotkeyVk, file);
}

// The file that the draft replaces, or none where the file is to be written
// in place. A settings file that is a symbolic link (into a synced folder, a
// dotfiles repository) must stay one, so the file that it names is replaced;
// a second name of the file (a hard link) would keep the old settings after
// a replace.
std::wstring FileToReplace(const std::wstring& file)
{
    HANDLE handle =
        CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // None yet, or not readable; but a link of a kind that the system
        // cannot follow (one that WSL made) would be lost in a replace.
        const DWORD attributes = GetFileAttributesW(file.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? L"" : file;
    }
    std::wstring target;
    BY_HANDLE_FILE_INFORMATION info = {};
    if (GetFileInformationByHandle(handle, &info) && info.nNumberOfLinks == 1) {
        for (DWORD size = MAX_PATH;;) {
            target.resize(size);
            const DWORD length =
                GetFinalPathNameByHandleW(handle, target.data(), size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            if (length < size) {
                target.resize(length); // none when it failed
                break;
            }
            size = length; // the size it needs
        }
    }
    CloseHandle(handle);
    // The final path comes as \\?\C:\... or \\?\UNC\server\...; the file's own
    // name is kept wherever it is the same file, so a plain save goes on
    // exactly as before.
    constexpr wchar_t kUnc[] = L"\\\\?\\UNC\\";
    constexpr wchar_t kLong[] = L"\\\\?\\";
    if (target.starts_with(kUnc)) {
        target = L"\\\\" + target.substr(std::size(kUnc) - 1);
    } else if (target.starts_with(kLong)) {
        target.erase(0, std::size(kLong) - 1);
    }
    return CompareStringOrdinal(target.c_str(), -1, file.c_str(), -1, TRUE) == CSTR_EQUAL ? file : target;
}

// A program reading the file (an editor, a virus scanner) may hold it open
// for a moment; the replace is tried a few times before it is given up.
bool ReplaceWithDraft(const std::wstring& draft, const std::wstring& file)
{
    constexpr int kAttempts = 5;
    constexpr DWORD kPauseMs = 10;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(draft.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        if (attempt == kAttempts) {
            return false;
        }
        Sleep(kPauseMs);
    }
}

} // namespace

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

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
        dir = dir + L"\\" + kAppName;
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

    g_app.folder = ReadString(key::Folder, file);
    g_app.mode = static_cast<RotationMode>(ReadInt(key::Mode, Sequential, file));
    g_app.index = static_cast<int32_t>(ReadInt(key::Index, -1, file));
    g_app.fit = static_cast<FitMode>(ReadInt(key::Fit, Fill, file));
    g_app.autostart = ReadInt(key::Autostart, 0, file) != 0;
    g_app.hotkeyMod = ReadInt(key::HotkeyMod, MOD_CONTROL | MOD_ALT, file);
    g_app.hotkeyVk = ReadInt(key::HotkeyVk, 'W', file);

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
    // Written key by key in place, a save cut short by a crash, a kill or a
    // power cut would leave a cut or empty file and every setting lost. So
    // the keys go into a draft beside the file, which replaces it in one step.
    const std::wstring file = GetConfigPath();
    const std::wstring target = FileToReplace(file);
    const std::wstring& named = target.empty() ? file : target;
    const std::wstring draft = named + L".new";
    DiscardDraft(draft);
    const DWORD attributes = GetFileAttributesW(named.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        return; // marked read-only by the user or a sync tool: not ours to replace
    }
    if (!target.empty() && StartDraft(target, draft) && WriteKeys(draft) && FlushDraft(draft) &&
        ReplaceWithDraft(draft, target)) {
        return;
    }
    DiscardDraft(draft);
    // No draft could be made (a folder where files cannot be created, a
    // draft held open), or another program holds the file open so that it
    // cannot be replaced: saved in place, the settings are at least not lost.
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        CreateUtf16File(file, CREATE_NEW);
    }
    WriteKeys(file);
}

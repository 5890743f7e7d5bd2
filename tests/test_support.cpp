#include "test_support.h"

#include "app/app_state.h"
#include "read_all.h"

#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>

TempDir::TempDir()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    for (;;) {
        path_ = std::wstring(temp) + L"bdtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        if (CreateDirectoryW(path_.c_str(), nullptr)) {
            // %TEMP% may be given in 8.3 form (C:\Users\RUNNER~1); the folder
            // picker and the program report long paths.
            wchar_t longPath[MAX_PATH];
            const DWORD length = GetLongPathNameW(path_.c_str(), longPath, MAX_PATH);
            if (length > 0 && length < MAX_PATH) {
                path_.assign(longPath, length);
            }
            return;
        }
    }
}

TempDir::~TempDir()
{
    RemoveTree(path_);
}

void RemoveTree(const std::wstring& given)
{
    // Extended-length form, so that trees deeper than MAX_PATH go too.
    const std::wstring path = given.size() > 2 && given[1] == L':' ? L"\\\\?\\" + given : given;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    // Read-only, a file cannot be deleted, nor a folder's entries.
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..") {
                RemoveTree(path + L"\\" + name);
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

void Touch(const std::wstring& path)
{
    // A real picture, 16 white pixels square, as a bitmap: Windows decodes what
    // it is given to show it, whatever the file is named. (Not a single pixel:
    // Wine's desktop would tile that a million times over.)
    constexpr LONG kSide = 16;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    const std::string pixels(kSide * kSide * 3, '\xFF');
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    info.biSize = sizeof(info);
    info.biWidth = info.biHeight = kSide;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    WriteBytes(path, bytes + pixels);
}

std::optional<std::string> ReadBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string bytes = ReadAll(file);
    CloseHandle(file);
    return bytes;
}

std::optional<std::wstring> ReadText(const std::wstring& path)
{
    const auto bytes = ReadBytes(path);
    if (!bytes) {
        return std::nullopt;
    }
    if (bytes->size() >= 2 && static_cast<unsigned char>((*bytes)[0]) == 0xFF &&
        static_cast<unsigned char>((*bytes)[1]) == 0xFE) {
        std::wstring text((bytes->size() - 2) / 2, L'\0');
        memcpy(text.data(), bytes->data() + 2, text.size() * 2);
        return text;
    }
    return std::wstring(bytes->begin(), bytes->end());
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool AllowCreatingFiles(const std::wstring& folder, bool allowed)
{
    // Everyone may do everything, or everything but add a file to the folder.
    wchar_t sddl[64];
    if (allowed) {
        lstrcpyW(sddl, L"D:P(A;;FA;;;WD)");
    } else {
        wsprintfW(sddl, L"D:P(D;;0x%x;;;WD)(A;;FA;;;WD)", FILE_ADD_FILE);
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    const bool set = SetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return set;
}

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

std::wstring ModuleDir()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, length);
    return result.substr(0, result.find_last_of(L'\\'));
}

void ResetAppState()
{
    g_app.folder.clear();
    g_app.mode = Sequential;
    g_app.index = -1;
    g_app.fit = Fill;
    g_app.autostart = false;
    g_app.hotkeyMod = MOD_CONTROL | MOD_ALT;
    g_app.hotkeyVk = 'W';
    g_app.hotkeyRegistered = false;
    g_app.images.clear();
    g_app.shuffleOrder.clear();
    g_app.shufflePos = 0;
    g_app.rng.seed(std::mt19937::default_seed);
    g_app.hInstance = nullptr;
    g_app.hwnd = nullptr;
    g_app.instanceMutex = nullptr;
    g_app.taskbarCreatedMsg = 0;
    g_app.nid = {};
}

std::optional<std::wstring> ReadRegString(HKEY root, const wchar_t* key, const wchar_t* name)
{
    DWORD bytes = 0;
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring value(bytes / sizeof(wchar_t), L'\0');
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, value.data(), &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(wcslen(value.c_str()));
    return value;
}

void WriteRegString(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
}

RegValueGuard::RegValueGuard(HKEY root, const wchar_t* key, const wchar_t* name) : root_(root), key_(key), name_(name)
{
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegGetValueW(root, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &bytes) != ERROR_SUCCESS) {
        return;
    }
    data_.resize(bytes);
    if (RegGetValueW(root, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data_.data(), &bytes) == ERROR_SUCCESS) {
        data_.resize(bytes);
        type_ = type;
    }
}

RegValueGuard::~RegValueGuard()
{
    if (!type_) {
        RegDeleteKeyValueW(root_, key_.c_str(), name_.c_str());
        return;
    }
    HKEY handle = nullptr;
    if (RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) ==
        ERROR_SUCCESS) {
        RegSetValueExW(handle, name_.c_str(), 0, *type_, reinterpret_cast<const BYTE*>(data_.data()),
                       static_cast<DWORD>(data_.size()));
        RegCloseKey(handle);
    }
}

std::string Narrow(const std::wstring& text)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::pair<DWORD, std::string> RunAndRead(std::wstring commandLine)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    wchar_t folder[MAX_PATH];
    wchar_t name[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"bdo", 0, name);
    HANDLE output = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    DWORD code = STILL_ACTIVE;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    std::string text = ReadAll(output);
    CloseHandle(output);
    return {code, text};
}

bool RunningUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::optional<RECT> TrayIconRect(HWND hwnd, UINT id)
{
    RECT taskbar = {};
    if (!GetWindowRect(FindWindowW(L"Shell_TrayWnd", nullptr), &taskbar)) {
        return std::nullopt;
    }
    if (RunningUnderWine()) { // a test's only icon, at the right end of Wine's taskbar
        const int height = taskbar.bottom - taskbar.top;
        return RECT{taskbar.right - height, taskbar.top, taskbar.right, taskbar.bottom};
    }
    NOTIFYICONIDENTIFIER icon = {};
    icon.cbSize = sizeof(icon);
    icon.hWnd = hwnd;
    icon.uID = id;
    RECT rect = {};
    RECT inside = {};
    if (FAILED(Shell_NotifyIconGetRect(&icon, &rect)) || !IntersectRect(&inside, &rect, &taskbar) ||
        !EqualRect(&inside, &rect)) {
        return std::nullopt; // in the overflow, or no answer
    }
    return rect;
}

#include "test_support.h"

#include "app/app_state.h"
#include "driver/read_all.h"

#include <sddl.h>
#include <shellapi.h>

#include <new>

TempDir::TempDir()
{
    // %TEMP% may be given in 8.3 form (C:\Users\RUNNER~1); the folder picker and the program report long paths.
    wchar_t temp[MAX_PATH], longTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const DWORD length = GetLongPathNameW(temp, longTemp, MAX_PATH);
    const std::wstring base = std::wstring(length > 0 && length < MAX_PATH ? longTemp : temp) + L"bdtest-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-";
    static unsigned counter = 0;
    do {
        path_ = base + std::to_wstring(++counter);
    } while (!CreateDirectoryW(path_.c_str(), nullptr));
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
    // A link to a folder goes alone: its target's entries are not the tree's.
    WIN32_FIND_DATAW entry;
    HANDLE find = attributes & FILE_ATTRIBUTE_REPARSE_POINT ? INVALID_HANDLE_VALUE
                                                            : FindFirstFileW((path + L"\\*").c_str(), &entry);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileW(find, &entry)) {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            RemoveTree(path + L"\\" + name);
        }
    }
    FindClose(find);
    RemoveDirectoryW(path.c_str());
}

void Touch(const std::wstring& path)
{
    // A real picture, as Windows decodes what it shows whatever the file is named; not a single pixel, which
    // Wine's desktop would tile a million times over.
    constexpr LONG kSide = 16;
    const std::string pixels(kSide * kSide * 3, '\xFF');
    // Size, width, height, planes, bits per pixel, compression; the rest 0.
    const BITMAPINFOHEADER info = {sizeof(info), kSide, kSide, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(info);
    const BITMAPFILEHEADER file = {0x4D42 /* "BM" */, offset + static_cast<DWORD>(pixels.size()), 0, 0, offset};
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    WriteBytes(path, bytes + pixels);
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DenyToEveryone(const std::wstring& path, DWORD rights)
{
    wchar_t sddl[64] = L"D:P(A;;FA;;;WD)";
    if (rights != 0) {
        wsprintfW(sddl, L"D:P(D;;0x%x;;;WD)(A;;FA;;;WD)", rights);
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const bool set =
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr) &&
        SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    return set;
}

void ResetAppState()
{
    g_app.~AppState();
    new (&g_app) AppState();
}

RegValueGuard::RegValueGuard(HKEY root, const wchar_t* key, const wchar_t* name) : root_(root), key_(key), name_(name)
{
    DWORD type = 0, bytes = 0; // stays 0 for a value that is not there, and the second call fails too
    RegGetValueW(root, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &bytes);
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
    } else {
        RegSetKeyValueW(root_, key_.c_str(), name_.c_str(), *type_, data_.data(), static_cast<DWORD>(data_.size()));
    }
}

std::pair<DWORD, std::string> RunAndRead(std::wstring commandLine, const wchar_t* startIn)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    const TempDir folder;
    HANDLE output =
        CreateFileW((folder / L"output").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr); // removed with its folder
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION process = {};
    DWORD code = STILL_ACTIVE;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, startIn, &startup, &process)) {
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
        return RECT{taskbar.right - (taskbar.bottom - taskbar.top), taskbar.top, taskbar.right, taskbar.bottom};
    }
    NOTIFYICONIDENTIFIER icon = {sizeof(icon), hwnd, id, GUID{}};
    RECT rect = {}, inside = {};
    const bool answered = SUCCEEDED(Shell_NotifyIconGetRect(&icon, &rect));
    const bool inTaskbar = IntersectRect(&inside, &rect, &taskbar) && EqualRect(&inside, &rect); // not in the overflow
    return answered && inTaskbar ? std::optional(rect) : std::nullopt;
}

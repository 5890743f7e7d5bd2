#pragma once

#include "driver/driver.h"

#include <windows.h>
#include <shobjidl.h>

#include <optional>
#include <string>
#include <utility>

void RemoveTree(const std::wstring& path);

// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir() { RemoveTree(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void Touch(const std::wstring& path); // a tiny picture
bool Exists(const std::wstring& path);
// Lets everyone do everything to a file or folder but the rights given (none: everything again). Under Wine, which
// maps the access list onto permission bits, a file denied reading cannot be given that right back.
bool DenyToEveryone(const std::wstring& path, DWORD rights);

// Puts every field of g_app back to its value at process start.
void ResetAppState();

// Remembers a registry value, of any type, and puts it back (or removes it) at the end.
class RegValueGuard {
public:
    RegValueGuard(HKEY root, const wchar_t* key, const wchar_t* name);
    ~RegValueGuard();
    RegValueGuard(const RegValueGuard&) = delete;
    RegValueGuard& operator=(const RegValueGuard&) = delete;

private:
    HKEY root_;
    std::wstring key_, name_;
    std::optional<DWORD> type_;
    std::string data_;
};

// Runs a command line to its end, started in the folder `startIn` when given: its exit code and what it printed.
std::pair<DWORD, std::string> RunAndRead(std::wstring commandLine, const wchar_t* startIn = nullptr);

// For allowances made for Wine's own faults, and for tests that only make sense on one of the two systems.
bool RunningUnderWine();

// Lends the shell's desktop-wallpaper object for one use; false where there is none (under Wine).
template <class Use> bool WithDesktopWallpaper(Use use)
{
    IDesktopWallpaper* desktop = nullptr;
    if (FAILED(CoCreateInstance(CLSID_DesktopWallpaper, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&desktop)))) {
        return false;
    }
    use(desktop);
    desktop->Release();
    return true;
}

// The screen rectangle where a user would click a notification icon; none without a taskbar or in its overflow.
std::optional<RECT> TrayIconRect(HWND hwnd, UINT id);

// The system's own function behind an import pointer that a test replaces, to record the calls it forwards.
template <class Function> Function SystemFunction(const wchar_t* library, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(library), name)));
}

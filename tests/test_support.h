#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
void Touch(const std::wstring& path); // a tiny picture
std::optional<std::string> ReadBytes(const std::wstring& path);
// A text file as the profile functions see it: UTF-16LE after a byte-order
// mark, otherwise single-byte ASCII.
std::optional<std::wstring> ReadText(const std::wstring& path);
bool Exists(const std::wstring& path);
// Lets no one add a file to the folder, while its files can still be
// changed; or lets everyone again. An access list entry, as on Windows; Wine
// maps it onto the folder's permission bits.
bool AllowCreatingFiles(const std::wstring& folder, bool allowed);

std::wstring RoamingAppData();
std::wstring ModuleDir(); // folder of the running test program

// Puts every field of g_app back to its value at process start.
void ResetAppState();

std::optional<std::wstring> ReadRegString(HKEY root, const wchar_t* key, const wchar_t* name);
void WriteRegString(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value);

// Remembers a registry value, of any type, and puts it back (or removes it) at the end.
class RegValueGuard {
public:
    RegValueGuard(HKEY root, const wchar_t* key, const wchar_t* name);
    ~RegValueGuard();
    RegValueGuard(const RegValueGuard&) = delete;
    RegValueGuard& operator=(const RegValueGuard&) = delete;

private:
    HKEY root_;
    std::wstring key_;
    std::wstring name_;
    std::optional<DWORD> type_;
    std::string data_;
};

std::string Narrow(const std::wstring& text); // UTF-8, for test messages

// Runs a command line to its end: its exit code and what it printed.
std::pair<DWORD, std::string> RunAndRead(std::wstring commandLine);

// Wine's ntdll exports its version; Windows' does not. For allowances made for
// Wine's own faults, and for tests that only make sense on one of the two.
bool RunningUnderWine();

// The screen rectangle of a notification icon, where a user would click it;
// none when there is no taskbar or the icon is out of sight in its overflow.
std::optional<RECT> TrayIconRect(HWND hwnd, UINT id);

#pragma once
// Drives the real Backdrift.exe from outside, as the shell and a user would,
// and reads what it leaves behind: for the end-to-end tests, the benchmarks
// and the screenshot tour alike.
#include "app/app_state.h"

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>

constexpr DWORD kWaitMs = 15000; // the longest any step may take

// ---- Files, text and the registry

std::wstring ModuleDir();                       // folder of the running program, where Backdrift.exe is built too
std::wstring BuiltProgram(const wchar_t* name); // a program built beside the running one
std::string Narrow(const std::wstring& text);   // to UTF-8
std::wstring Widen(const std::string& text);    // from UTF-8
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::optional<std::string> ReadBytes(const std::wstring& path);
// A text file as the profile functions see it: UTF-16LE after a byte-order
// mark, otherwise single-byte ASCII.
std::optional<std::wstring> ReadText(const std::wstring& path);
std::optional<std::wstring> ReadRegString(HKEY root, const wchar_t* key, const wchar_t* name);
void WriteRegString(HKEY root, const wchar_t* key, const wchar_t* name, const std::wstring& value);

// ---- The settings file

std::wstring RoamingAppData();
std::wstring SettingsDir();  // %APPDATA%\Backdrift
std::wstring SettingsPath(); // %APPDATA%\Backdrift\config.ini
// The file as the program writes it with every value at its default but the
// folder and position given; with neither, the file a first save writes.
std::wstring SettingsFileText(const std::wstring& folder = L"", int index = -1);
// Writes that file, in UTF-16 as the program does; or only its first `keep`
// characters, as a write cut short would leave it.
void WriteSettingsFile(const std::wstring& folder, int index, size_t keep = std::wstring::npos);
// Are all seven keys in the [Backdrift] section, with this folder? `problem` tells what is not.
bool SettingsComplete(const std::wstring& folder, std::string* problem);

// ---- Windows, messages and input

template <class Predicate> bool WaitUntil(Predicate done)
{
    for (DWORD waited = 0; waited < kWaitMs && !done(); waited += 50) {
        Sleep(50);
    }
    return done();
}

// Sends a message and waits until it is handled; false if it is not in time.
bool Deliver(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0, LRESULT* result = nullptr);
// Waits for a visible top-level window of this class and caption (any, when
// null), of the process `pid` (any, when 0), owned by `owner` when given.
HWND WaitForWindow(DWORD pid, const wchar_t* windowClass, const wchar_t* caption, HWND owner = nullptr);
bool WaitUntilClosed(HWND window); // destroyed
std::wstring MessageBoxText(HWND box);
// Presses the keys in order and releases them in reverse, as a person would.
void PressKeys(std::initializer_list<WORD> keys);
// Moves the mouse there and, when given, presses and releases a button (the
// MOUSEEVENTF_ flags of its down and up).
void MouseAt(POINT at, DWORD down = 0, DWORD up = 0);

// ---- Another process's resources

// Handles a process holds, counted in the system's handle table; -1 if the
// table cannot be read. Unlike GetProcessHandleCount, this also works under
// Wine, which reports no handle count for another process.
long CountHandlesInSystemTable(DWORD pid);

// What the system reports about another process. Where the system leaves a
// figure empty for other processes (Wine does so for PrivateUsage and the
// handle count), the same figure is taken from the source it does fill;
// `*Source` names the one used.
struct Usage {
    double cpuProcessTimes = 0; // GetProcessTimes, user + kernel
    double cpuThreadTimes = 0;  // GetThreadTimes summed over its threads
    size_t privateBytes = 0;
    const char* privateSource = "";
    unsigned long handles = 0;
    const char* handleSource = "";
    int threads = 0;
};
Usage ReadUsage(HANDLE process, DWORD pid);

double Seconds(); // a monotonic clock

// ---- The program

// A program started at construction and, if it still runs, killed at
// destruction (as a crash or Task Manager would end it).
class Program {
public:
    explicit Program(const std::wstring& exe = BuiltProgram(L"Backdrift.exe"),
                     const wchar_t* windowClass = kWindowClass, const std::wstring& arguments = L"");
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return info_.hProcess != nullptr; }
    HANDLE process() const { return info_.hProcess; }
    DWORD pid() const { return info_.dwProcessId; }

    // Seconds from the start until the program waits for input with its
    // window made and answers a message sent to it; negative, with the
    // reason on standard error, if it does not within the deadline.
    double WaitUntilReady();
    HWND window() const { return window_; }
    // The window, once ready; null if the program never got there.
    HWND Window() { return window_ || WaitUntilReady() >= 0 ? window_ : nullptr; }

    DWORD WaitForExit(); // its exit code, or STILL_ACTIVE if it does not end in time
    bool Close();        // WM_CLOSE to its window; true once it has ended with exit code 0
    void Kill();

private:
    PROCESS_INFORMATION info_ = {};
    const wchar_t* windowClass_;
    double started_ = 0;
    HWND window_ = nullptr;
};

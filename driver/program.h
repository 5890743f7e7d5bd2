#pragma once
// The real Backdrift.exe, started and ended from outside.
#include "app/names.h"
#include "driver/files.h"

#include <windows.h>

#include <string>

// A program started at construction and, if it still runs, killed at destruction (as a crash or Task Manager would).
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

    // Seconds from the start until the program waits for input with its window made and answers a message sent to
    // it; negative, with the reason on standard error, if it does not within the deadline.
    double WaitUntilReady();
    HWND window() const { return window_; }
    // The window, once ready; null if the program never got there.
    HWND Window() { return window_ || WaitUntilReady() >= 0 ? window_ : nullptr; }

    DWORD WaitForExit(); // its exit code, or STILL_ACTIVE if it does not end in time
    // WM_CLOSE to its window; true once it has ended with exit code 0.
    bool Close() { return window_ && PostMessageW(window_, WM_CLOSE, 0, 0) && WaitForExit() == 0; }
    void Kill();

private:
    PROCESS_INFORMATION info_ = {};
    const wchar_t* windowClass_;
    double started_ = 0;
    HWND window_ = nullptr;
};

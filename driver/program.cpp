#include "driver/program.h"

#include "driver/input.h"
#include "driver/usage.h"

#include <cstdio>

Program::Program(const std::wstring& exe, const wchar_t* windowClass, const std::wstring& arguments)
    : windowClass_(windowClass)
{
    std::wstring command = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    // Now and then, on a busy machine, Wine fails to create a process at all
    // (ERROR_INTERNAL_ERROR): the program never ran, so it is started again.
    for (int attempt = 1;; ++attempt) {
        started_ = Seconds();
        if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
            return;
        }
        const DWORD error = GetLastError();
        std::fprintf(stderr, "could not start %s (error %lu)\n", Narrow(exe).c_str(), error);
        if (error != ERROR_INTERNAL_ERROR || attempt == 3) {
            info_ = {};
            return;
        }
    }
}

Program::~Program()
{
    if (info_.hProcess) {
        Kill();
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
}

double Program::WaitUntilReady()
{
    if (!info_.hProcess) {
        return -1;
    }
    WaitForInputIdle(info_.hProcess, kWaitMs);
    const double deadline = started_ + kWaitMs / 1000.0;
    bool ended = false;
    while (!window_ && !ended && Seconds() < deadline) {
        for (HWND hwnd = FindWindowExW(nullptr, nullptr, windowClass_, nullptr); hwnd && !window_;
             hwnd = FindWindowExW(nullptr, hwnd, windowClass_, nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == info_.dwProcessId) {
                window_ = hwnd;
            }
        }
        ended = !window_ && WaitForSingleObject(info_.hProcess, 1) == WAIT_OBJECT_0;
    }
    if (!window_ || !Deliver(window_, WM_NULL)) {
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        std::fprintf(stderr, "no answering window from the program: exit code %lu, %s\n", code,
                     ended ? "ended" : "still running");
        window_ = nullptr;
        return -1;
    }
    return Seconds() - started_;
}

DWORD Program::WaitForExit()
{
    WaitForSingleObject(info_.hProcess, kWaitMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

void Program::Kill()
{
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, kWaitMs);
    }
}

#include "program_driver.h"

#include "read_all.h"

#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <map>
#include <vector>

// The Windows SDK's winternl.h names neither of these; mingw-w64's does.
#ifndef NT_SUCCESS
#define NT_SUCCESS(status) (static_cast<NTSTATUS>(status) >= 0)
#endif

namespace {

constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);

double FileTimeSeconds(const FILETIME& time)
{
    constexpr double kTicksPerSecond = 1e7; // FILETIME counts 100 ns
    return static_cast<double>((ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime) / kTicksPerSecond;
}

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

// ---- Files, text and the registry

std::wstring ModuleDir()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring module(path, length);
    return module.substr(0, module.find_last_of(L'\\'));
}

std::wstring BuiltProgram(const wchar_t* name)
{
    return ModuleDir() + L"\\" + name;
}

std::string Narrow(const std::wstring& text)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring Widen(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                         static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(std::max(size, 0)));
    return wide;
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

std::optional<std::string> ReadBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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

// ---- The settings file

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
    return RoamingAppData() + L"\\Backdrift";
}

std::wstring SettingsPath()
{
    return SettingsDir() + L"\\config.ini";
}

std::wstring SettingsFileText(const std::wstring& folder, int index)
{
    return L"[Backdrift]\r\nFolder=" + folder + L"\r\nMode=0\r\nIndex=" + std::to_wstring(index) +
           L"\r\nFit=0\r\nAutostart=0\r\nHotkeyMod=3\r\nHotkeyVk=87\r\n";
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
            inSection = Lower(line) == L"[backdrift]";
        } else if (const size_t equals = line.find(L'='); inSection && equals != std::wstring::npos) {
            values.emplace(Lower(Trim(line.substr(0, equals))), Trim(line.substr(equals + 1)));
        }
    }
    for (const wchar_t* key : {L"Folder", L"Mode", L"Index", L"Fit", L"Autostart", L"HotkeyMod", L"HotkeyVk"}) {
        if (!values.count(Lower(key))) {
            *problem = "no " + Narrow(key) + " in " + std::to_string(text.size()) + " characters: \"" +
                       Narrow(text.substr(0, 120)) + "\"";
            return false;
        }
    }
    if (values[L"folder"] != folder) {
        *problem = "Folder is \"" + Narrow(values[L"folder"]) + "\"";
        return false;
    }
    return true;
}

// ---- Windows, messages and input

bool Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    DWORD_PTR answer = 0;
    const bool delivered = SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, kWaitMs, &answer) != 0;
    if (result) {
        *result = static_cast<LRESULT>(answer);
    }
    return delivered;
}

HWND WaitForWindow(DWORD pid, const wchar_t* windowClass, const wchar_t* caption, HWND owner)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (found = FindWindowExW(nullptr, nullptr, windowClass, caption); found;
             found = FindWindowExW(nullptr, found, windowClass, caption)) {
            DWORD process = 0;
            GetWindowThreadProcessId(found, &process);
            if ((pid == 0 || process == pid) && IsWindowVisible(found) &&
                (!owner || GetWindow(found, GW_OWNER) == owner)) {
                return true;
            }
        }
        return false;
    });
    return found;
}

bool WaitUntilClosed(HWND window)
{
    return WaitUntil([&] { return !IsWindow(window); });
}

std::wstring MessageBoxText(HWND box)
{
    constexpr int kMessageBoxText = 0xFFFF; // the static beside the icon
    wchar_t text[512] = {};
    GetDlgItemTextW(box, kMessageBoxText, text, ARRAYSIZE(text));
    return text;
}

void PressKeys(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> inputs(keys.size() * 2);
    for (size_t i = 0; i < keys.size(); ++i) {
        INPUT& down = inputs[i];
        INPUT& up = inputs[inputs.size() - 1 - i];
        down.type = up.type = INPUT_KEYBOARD;
        down.ki.wVk = up.ki.wVk = keys.begin()[i];
        up.ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void MouseAt(POINT at, DWORD down, DWORD up)
{
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    }
    inputs[1].mi.dwFlags = down | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = up | MOUSEEVENTF_ABSOLUTE;
    SendInput(down ? 3 : 1, inputs, sizeof(INPUT));
}

// ---- Another process's resources

long CountHandlesInSystemTable(DWORD pid)
{
    std::vector<BYTE> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt, buffer.resize(buffer.size() * 2)) {
        ULONG needed = 0;
        if (!NT_SUCCESS(NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                                 static_cast<ULONG>(buffer.size()), &needed))) {
            continue; // the table grew past the buffer
        }
        // The documented layout of this information class; process ids in it are 16 bits wide.
        struct Entry {
            USHORT processId;
            USHORT creatorBackTraceIndex;
            UCHAR objectType;
            UCHAR attributes;
            USHORT handle;
            PVOID object;
            ULONG grantedAccess;
        };
        ULONG count = 0;
        memcpy(&count, buffer.data(), sizeof(count));
        const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
        long handles = 0;
        for (ULONG i = 0; i < count; ++i) {
            handles += entries[i].processId == static_cast<USHORT>(pid);
        }
        return handles;
    }
    return -1;
}

Usage ReadUsage(HANDLE process, DWORD pid)
{
    Usage usage;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        usage.cpuProcessTimes = FileTimeSeconds(kernel) + FileTimeSeconds(user);
    }

    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != pid) {
            continue;
        }
        ++usage.threads;
        if (HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID)) {
            if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
                usage.cpuThreadTimes += FileTimeSeconds(kernel) + FileTimeSeconds(user);
            }
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);

    // PagefileUsage is the same commit charge as PrivateUsage on Windows;
    // Wine fills only the former (with the process's anonymous resident memory).
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
        usage.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        usage.privateSource = memory.PrivateUsage ? "PrivateUsage" : "PagefileUsage";
    }

    DWORD handles = 0;
    if (GetProcessHandleCount(process, &handles) && handles > 0) {
        usage.handles = handles;
        usage.handleSource = "GetProcessHandleCount";
    } else if (const long counted = CountHandlesInSystemTable(pid); counted > 0) {
        usage.handles = static_cast<unsigned long>(counted);
        usage.handleSource = "system handle table";
    }
    return usage;
}

double Seconds()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// ---- The program

Program::Program(const std::wstring& exe, const wchar_t* windowClass, const std::wstring& arguments)
    : windowClass_(windowClass)
{
    std::wstring command = L"\"" + exe + L"\"";
    if (!arguments.empty()) {
        command += L" " + arguments;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    started_ = Seconds();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
        info_ = {};
        std::fprintf(stderr, "could not start %s (error %lu)\n", Narrow(exe).c_str(), GetLastError());
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

bool Program::Close()
{
    return window_ && PostMessageW(window_, WM_CLOSE, 0, 0) && WaitForExit() == 0;
}

void Program::Kill()
{
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, kWaitMs);
    }
}

#include "bench_support.h"

#include "tools/process_handles.h"

#include <psapi.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cwctype>
#include <map>

namespace {

constexpr DWORD kWaitMs = 15000;
constexpr const wchar_t* kSettingsKeys[] = {L"Folder",    L"Mode",      L"Index",   L"Fit",
                                            L"Autostart", L"HotkeyMod", L"HotkeyVk"};

double FileTimeSeconds(const FILETIME& time)
{
    constexpr double kTicksPerSecond = 1e7; // FILETIME counts 100 ns
    return static_cast<double>((ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime) / kTicksPerSecond;
}

std::string ReadBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string bytes;
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const void* data, size_t size)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
}

// Text as the profile functions read it: UTF-16LE after a byte-order mark, else one byte a character.
std::wstring DecodeProfileText(const std::string& bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
        return text;
    }
    return std::wstring(bytes.begin(), bytes.end());
}

std::wstring Trim(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L" \t") + 1 - first);
}

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

} // namespace

double Seconds()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string Format(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

void PrintRow(const std::string& figure, const std::string& measured, const std::string& target, Verdict verdict)
{
    const char* said = verdict == Verdict::Met ? "yes" : verdict == Verdict::Missed ? "NO" : "-";
    std::printf("row\t%s\t%s\t%s\t%s\n", figure.c_str(), measured.c_str(), target.c_str(), said);
    std::fflush(stdout);
}

std::wstring ModuleDir()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring module(path, length);
    return module.substr(0, module.find_last_of(L'\\'));
}

std::wstring Utf16(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                         static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(std::max(size, 0)));
    return wide;
}

std::string Utf8(const std::wstring& text)
{
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

std::wstring SettingsPath()
{
    PWSTR roaming = nullptr;
    std::wstring dir;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming))) {
        dir = std::wstring(roaming) + L"\\Backdrift";
    }
    CoTaskMemFree(roaming);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\config.ini";
}

void WriteSettings(const std::wstring& folder, int index, size_t keep)
{
    const std::wstring text = L"\xFEFF[Backdrift]\r\nFolder=" + folder + L"\r\nMode=0\r\nIndex=" +
                              std::to_wstring(index) + L"\r\nFit=0\r\nAutostart=0\r\nHotkeyMod=3\r\nHotkeyVk=87\r\n";
    WriteBytes(SettingsPath(), text.data(), std::min(keep, text.size()) * sizeof(wchar_t));
}

bool SettingsComplete(const std::wstring& folder, std::string* problem)
{
    const std::wstring text = DecodeProfileText(ReadBytes(SettingsPath()));
    std::map<std::wstring, std::wstring> values; // of the [Backdrift] section, by lower-case key
    bool inSection = false;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') {
            line = Trim(line.substr(0, line.size() - 1));
        }
        if (!line.empty() && line.front() == L'[') {
            inSection = Lower(line) == L"[backdrift]";
        } else if (const size_t equals = line.find(L'='); inSection && equals != std::wstring::npos) {
            values.emplace(Lower(Trim(line.substr(0, equals))), Trim(line.substr(equals + 1)));
        }
    }
    for (const wchar_t* key : kSettingsKeys) {
        if (!values.count(Lower(key))) {
            *problem = "no " + Utf8(key) + " in " + std::to_string(text.size()) + " characters: \"" +
                       Utf8(text.substr(0, 120)) + "\"";
            return false;
        }
    }
    if (values[L"folder"] != folder) {
        *problem = "Folder is \"" + Utf8(values[L"folder"]) + "\"";
        return false;
    }
    return true;
}

PictureFolder::PictureFolder(int count) : count_(count)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    for (unsigned n = GetCurrentProcessId();; ++n) {
        path_ = std::wstring(temp) + L"backdrift-bench-" + std::to_wstring(n);
        if (CreateDirectoryW(path_.c_str(), nullptr)) {
            break;
        }
    }
    static constexpr char kContent[] = "small picture";
    for (int i = 0; i < count_; ++i) {
        WriteBytes(Picture(i), kContent, sizeof(kContent) - 1);
    }
}

PictureFolder::~PictureFolder()
{
    for (int i = 0; i < count_; ++i) {
        DeleteFileW(Picture(i).c_str());
    }
    RemoveDirectoryW(path_.c_str());
}

Program::Program(const std::wstring& exeName, const wchar_t* windowClass, const std::wstring& arguments)
    : windowClass_(windowClass)
{
    std::wstring command = L"\"" + ModuleDir() + L"\\" + exeName + L"\"";
    if (!arguments.empty()) {
        command += L" " + arguments;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    started_ = Seconds();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
        info_ = {};
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
    while (!window_ && Seconds() < deadline) {
        for (HWND hwnd = FindWindowExW(nullptr, nullptr, windowClass_, nullptr); hwnd && !window_;
             hwnd = FindWindowExW(nullptr, hwnd, windowClass_, nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == info_.dwProcessId) {
                window_ = hwnd;
            }
        }
        if (!window_ && WaitForSingleObject(info_.hProcess, 1) == WAIT_OBJECT_0) {
            return -1; // ended before it made its window
        }
    }
    DWORD_PTR result = 0;
    if (!window_ || !SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &result)) {
        return -1;
    }
    return Seconds() - started_;
}

bool Program::Close()
{
    if (!window_ || !PostMessageW(window_, WM_CLOSE, 0, 0) ||
        WaitForSingleObject(info_.hProcess, kWaitMs) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = STILL_ACTIVE;
    return GetExitCodeProcess(info_.hProcess, &code) && code == 0;
}

void Program::Kill()
{
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, kWaitMs);
    }
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

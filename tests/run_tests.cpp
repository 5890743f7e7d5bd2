// Runs the GoogleTest programs named in a list, each with a time limit, and
// tells whether all of them passed: what CTest does under Wine, for a Windows
// machine that has no CTest and no build tree, only the built programs.
//   run_tests <list>
// Each line of the list: <seconds> <program> [arguments...], the program
// beside the list; blank lines and lines starting with # are skipped. Exits
// 0 only when every program ended in time with 0 and at least one test passed.
#include "driver/read_all.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&CloseHandle)>;
constexpr DWORD kWaitMs = 15000; // for a program to end once it is told to

struct Outcome {
    bool passed = false;
    int testsPassed = 0;
    int testsSkipped = 0;
};

void Print(const std::string& text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// GoogleTest prints one "[       OK ] Suite.Name (N ms)" line for each test
// that passed, and the same with SKIPPED for each skipped one; the summary at
// the end repeats the skipped names without a time, so only timed lines count.
int CountResults(const std::string& output, const char* mark)
{
    int count = 0;
    for (size_t at = output.find(mark); at != std::string::npos; at = output.find(mark, at + 1)) {
        const size_t end = output.find('\n', at);
        const std::string line = output.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if ((at == 0 || output[at - 1] == '\n') && line.find(" ms)") != std::string::npos) {
            ++count;
        }
    }
    return count;
}

// Runs one program in a job object, so that at the time limit it ends
// together with every program it started (the end-to-end tests start
// Backdrift.exe). Its output goes to a temporary file, copied to ours after.
Outcome RunProgram(const std::wstring& folder, const std::wstring& commandLine, DWORD seconds)
{
    Outcome outcome;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    wchar_t tempDir[MAX_PATH];
    wchar_t tempFile[MAX_PATH];
    GetTempPathW(MAX_PATH, tempDir);
    GetTempFileNameW(tempDir, L"bdr", 0, tempFile);
    Handle output(CreateFileW(tempFile, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr),
                  &CloseHandle);
    Handle job(CreateJobObjectW(nullptr, nullptr), &CloseHandle);
    if (output.get() == INVALID_HANDLE_VALUE || !job) {
        Print("run_tests: cannot prepare the run\n");
        return outcome;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION process = {};
    std::wstring command = commandLine;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, folder.c_str(),
                        &startup, &process)) {
        Print("run_tests: cannot start it (error " + std::to_string(GetLastError()) + ")\n");
        return outcome;
    }
    Handle processHandle(process.hProcess, &CloseHandle);
    Handle thread(process.hThread, &CloseHandle);
    // Where the job cannot take it (a machine that forbids nested jobs), the
    // program alone is ended at the limit.
    const bool inJob = AssignProcessToJobObject(job.get(), process.hProcess) != FALSE;
    ResumeThread(process.hThread);

    const bool inTime = WaitForSingleObject(process.hProcess, seconds * 1000) == WAIT_OBJECT_0;
    if (!inTime) {
        if (!inJob || !TerminateJobObject(job.get(), ERROR_TIMEOUT)) {
            TerminateProcess(process.hProcess, ERROR_TIMEOUT);
        }
        WaitForSingleObject(process.hProcess, kWaitMs);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    const std::string text = ReadAll(output.get());
    Print(text);
    outcome.testsPassed = CountResults(text, "[       OK ] ");
    outcome.testsSkipped = CountResults(text, "[  SKIPPED ] ");
    outcome.passed = inTime && code == 0;
    if (!inTime) {
        Print("run_tests: stopped after " + std::to_string(seconds) + " s\n");
    } else if (code != 0) {
        Print("run_tests: exit code " + std::to_string(code) + "\n");
    }
    return outcome;
}

// Program names and arguments in a list are ASCII.
std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        Print("usage: run_tests <list>\n");
        return 2;
    }
    wchar_t full[MAX_PATH];
    wchar_t* name = nullptr;
    if (!GetFullPathNameW(argv[1], MAX_PATH, full, &name) || !name) {
        Print("run_tests: no such list\n");
        return 2;
    }
    const std::wstring folder(full, name - full);
    Handle list(
        CreateFileW(full, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
        &CloseHandle);
    if (list.get() == INVALID_HANDLE_VALUE) {
        Print("run_tests: cannot read the list\n");
        return 2;
    }
    const std::string lines = ReadAll(list.get());

    int programs = 0;
    int failed = 0;
    int testsPassed = 0;
    int testsSkipped = 0;
    std::string failures;
    for (size_t start = 0; start < lines.size();) {
        size_t end = lines.find('\n', start);
        if (end == std::string::npos) {
            end = lines.size();
        }
        std::string line = lines.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        // <seconds> <program> [arguments...]
        const DWORD seconds = static_cast<DWORD>(strtoul(line.c_str(), nullptr, 10));
        const size_t programAt = line.find(' ');
        const std::string command = programAt == std::string::npos ? std::string() : line.substr(programAt + 1);
        if (seconds == 0 || command.empty()) {
            Print("run_tests: not a line of a list: " + line + "\n");
            ++failed;
            failures += "  (unreadable line) " + line + "\n";
            continue;
        }
        const size_t argumentsAt = std::min(command.find(' '), command.size());
        Print("== " + command + "\n");
        const Outcome outcome = RunProgram(
            folder, L"\"" + folder + Widen(command.substr(0, argumentsAt)) + L"\"" + Widen(command.substr(argumentsAt)),
            seconds);
        ++programs;
        testsPassed += outcome.testsPassed;
        testsSkipped += outcome.testsSkipped;
        if (!outcome.passed) {
            ++failed;
            failures += "  " + command + "\n";
        }
    }

    Print("run_tests: " + std::to_string(programs) + " programs, " + std::to_string(testsPassed) + " tests passed, " +
          std::to_string(testsSkipped) + " skipped, " + std::to_string(failed) + " programs failed\n");
    if (failed > 0) {
        Print("run_tests: failed:\n" + failures);
        return 1;
    }
    if (testsPassed == 0) {
        Print("run_tests: no test ran\n");
        return 1;
    }
    return 0;
}

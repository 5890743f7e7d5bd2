// Runs the GoogleTest programs named in a list, each with a time limit, and
// tells whether all of them passed: what CTest does under Wine, for a Windows
// machine that has no CTest and no build tree, only the built programs.
//   run_tests <list>
// Each line of the list: <seconds> [may-skip] <program> [arguments...], the
// program beside the list and its time limit a whole number of seconds from 1
// to 86400; blank lines and lines starting with # are skipped.
// A program passes only on GoogleTest's own report of its run: it ended in
// time with 0, GoogleTest reached its end, at least one test ran and none
// failed. One whose every test skipped fails unless its line says may-skip.
// Exits 0 only when every program passed and at least one test passed.
#include "driver/read_all.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&CloseHandle)>;
constexpr DWORD kWaitMs = 15000;         // for a program to end once it is told to
constexpr DWORD kMaxSeconds = 86400;     // a day: a longer limit is a mistyped one
constexpr char kMaySkip[] = "may-skip "; // the marker, with the space before the program

struct Outcome {
    bool passed = false;
    int testsPassed = 0;
    int testsSkipped = 0;
};

// What run_tests needs of GoogleTest's XML report.
struct Report {
    bool complete = false; // read to its closing </testsuites>
    int ran = 0;           // result="completed", failed or not
    int failed = 0;        // tests with a <failure>
    int skipped = 0;
};

void Print(const std::string& text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A tag's attribute value, as written (GoogleTest writes no space around =).
std::string Attribute(const std::string& tag, const std::string& name)
{
    const std::string key = " " + name + "=\"";
    const size_t at = tag.find(key);
    if (at == std::string::npos) {
        return {};
    }
    const size_t from = at + key.size();
    return tag.substr(from, tag.find('"', from) - from);
}

// Reads the report tag by tag. A failure's message is CDATA and may hold
// anything, so CDATA is stepped over; GoogleTest escapes < > and quotes in
// attribute values, so a tag ends at the first > and a value at its quote.
Report ReadReport(const std::string& xml)
{
    Report report;
    bool testFailed = false;
    for (size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at)) {
        if (xml.compare(at, 9, "<![CDATA[") == 0) {
            at = xml.find("]]>", at);
            continue;
        }
        const size_t end = xml.find('>', at);
        if (end == std::string::npos) {
            break;
        }
        const std::string tag = xml.substr(at + 1, end - at - 1);
        const std::string name = tag.substr(0, tag.find_first_of(" /", 1));
        at = end;
        if (name == "/testsuites") {
            report.complete = true;
        } else if (name == "testcase") {
            const std::string result = Attribute(tag, "result");
            if (result == "completed") {
                ++report.ran;
            } else if (result == "skipped") {
                ++report.skipped;
            }
            testFailed = false;
        } else if (name == "failure" && !testFailed) {
            ++report.failed;
            testFailed = true;
        }
    }
    return report;
}

// GoogleTest's report and the file it removes at its end (named by
// TEST_PREMATURE_EXIT_FILE) go to a fresh folder under %TEMP%, so that nothing
// left from before can stand for this run; all three are removed on every path.
struct Scratch {
    std::wstring folder;
    std::wstring report;
    std::wstring unfinished;
    ~Scratch()
    {
        DeleteFileW(report.c_str());
        DeleteFileW(unfinished.c_str());
        RemoveDirectoryW(folder.c_str());
    }
};

// The unique name of the file GetTempFileNameW makes, taken over by a folder.
bool MakeScratch(Scratch& scratch)
{
    wchar_t temp[MAX_PATH];
    wchar_t name[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH || !GetTempFileNameW(temp, L"bdg", 0, name) || !DeleteFileW(name) ||
        !CreateDirectoryW(name, nullptr)) {
        return false;
    }
    scratch.folder = name;
    scratch.report = scratch.folder + L"\\report.xml";
    scratch.unfinished = scratch.folder + L"\\unfinished";
    return true;
}

std::string ReadFileText(const std::wstring& path)
{
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr),
                &CloseHandle);
    return file.get() == INVALID_HANDLE_VALUE ? std::string() : ReadAll(file.get());
}

// Why a program that ended did not pass; empty when it passed.
std::string Verdict(bool inTime, DWORD seconds, DWORD code, bool unfinished, const Report& report, bool maySkip)
{
    if (!inTime) {
        return "stopped after " + std::to_string(seconds) + " s";
    }
    if (code != 0) {
        return "exit code " + std::to_string(code);
    }
    if (unfinished) {
        return "it ended before GoogleTest finished";
    }
    if (!report.complete) {
        return "no GoogleTest report: not a GoogleTest program?";
    }
    if (report.failed > 0) {
        return std::to_string(report.failed) + " tests failed";
    }
    if (report.ran == 0 && report.skipped == 0) {
        return "it ran no test";
    }
    if (report.ran == 0 && !maySkip) {
        return "every test skipped (a line that allows it says may-skip)";
    }
    return {};
}

// Runs one program in a job object, so that at the time limit it ends
// together with every program it started (the end-to-end tests start
// Backdrift.exe). Its output goes to a temporary file, copied to ours after.
Outcome RunProgram(const std::wstring& folder, const std::wstring& commandLine, DWORD seconds, bool maySkip)
{
    Outcome outcome;
    Scratch scratch; // removed once the job has ended what is left in it
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    wchar_t tempDir[MAX_PATH];
    wchar_t tempFile[MAX_PATH];
    GetTempPathW(MAX_PATH, tempDir);
    GetTempFileNameW(tempDir, L"bdr", 0, tempFile);
    Handle output(CreateFileW(tempFile, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr),
                  &CloseHandle);
    Handle job(CreateJobObjectW(nullptr, nullptr), &CloseHandle);
    if (output.get() == INVALID_HANDLE_VALUE || !job || !MakeScratch(scratch) ||
        !SetEnvironmentVariableW(L"TEST_PREMATURE_EXIT_FILE", scratch.unfinished.c_str())) {
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
    // The last --gtest_output wins, so a list's own cannot take the report away.
    std::wstring command = commandLine + L" \"--gtest_output=xml:" + scratch.report + L"\"";
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
    Print(ReadAll(output.get()));
    const Report report = ReadReport(ReadFileText(scratch.report));
    const std::string why = Verdict(inTime, seconds, code, Exists(scratch.unfinished), report, maySkip);
    if (!why.empty()) {
        Print("run_tests: " + why + "\n");
    }
    outcome.passed = why.empty();
    outcome.testsPassed = report.ran - report.failed;
    outcome.testsSkipped = report.skipped;
    return outcome;
}

// A whole number of seconds from 1 to kMaxSeconds; 0 for anything else.
DWORD ReadSeconds(const std::string& field)
{
    DWORD seconds = 0;
    for (const char digit : field) {
        if (digit < '0' || digit > '9' || seconds > kMaxSeconds) {
            return 0;
        }
        seconds = seconds * 10 + static_cast<DWORD>(digit - '0');
    }
    return seconds <= kMaxSeconds ? seconds : 0;
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
        // <seconds> [may-skip] <program> [arguments...]
        const size_t secondsEnd = line.find(' ');
        const DWORD seconds = ReadSeconds(line.substr(0, secondsEnd));
        std::string command = secondsEnd == std::string::npos ? std::string() : line.substr(secondsEnd + 1);
        const bool maySkip = command.starts_with(kMaySkip);
        if (maySkip) {
            command.erase(0, sizeof(kMaySkip) - 1);
        }
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
            seconds, maySkip);
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

// Runs the GoogleTest programs of a list, each with a time limit, as CTest does under Wine: for a
// Windows machine with only the built programs.
//   run_tests <list>
// Each line: <seconds, 1 to 86400> [may-skip] <program beside the list> [arguments...]; blank lines
// and # comments are skipped. A program passes only on GoogleTest's own report: it ended in time
// with 0, GoogleTest reached its end, a test ran and none failed (all skipped passes only on a
// may-skip line). Exits 0 only if all passed and a test passed.
#include "driver/read_all.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

namespace {

using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&CloseHandle)>;
constexpr DWORD kWaitMs = 15000;          // for a program to end once it is told to
constexpr DWORD kMaxSeconds = 86400;      // a day: a longer limit is a mistyped one
constexpr char kMaySkip[] = " may-skip "; // the marker, with the spaces around it

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

// Reads the report tag by tag. A failure's message is CDATA and may hold anything, so CDATA is
// stepped over; GoogleTest escapes < > and quotes in attribute values, so a tag ends at the first >
// and only an attribute itself reads as result="..." (written with no space around =).
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
            if (tag.find(" result=\"completed\"") != std::string::npos) {
                ++report.ran;
            } else if (tag.find(" result=\"skipped\"") != std::string::npos) {
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

// A fresh file in %TEMP% with a unique name (GetTempFileNameW); empty if none.
std::wstring TempFile(const wchar_t* prefix)
{
    wchar_t temp[MAX_PATH];
    wchar_t name[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    return length == 0 || length >= MAX_PATH || !GetTempFileNameW(temp, prefix, 0, name) ? std::wstring() : name;
}

// GoogleTest's report and the file it removes at its end (TEST_PREMATURE_EXIT_FILE) go to a fresh folder, so that
// nothing left from before can stand for this run; all three are removed on every path.
struct Scratch {
    std::wstring folder = TempFile(L"bdg");
    bool made = !folder.empty() && DeleteFileW(folder.c_str()) && CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring report = folder + L"\\report.xml";
    std::wstring unfinished = folder + L"\\unfinished";
    ~Scratch()
    {
        if (made) {
            DeleteFileW(report.c_str());
            DeleteFileW(unfinished.c_str());
            RemoveDirectoryW(folder.c_str());
        }
    }
};

// Runs one program in a job object, so that at the time limit it ends with every
// program it started (the end-to-end tests start Backdrift.exe); its output is
// copied to ours after. True when it passed; `report` is GoogleTest's of it.
bool RunProgram(const std::wstring& folder, const std::wstring& commandLine, DWORD seconds, bool maySkip,
                Report& report)
{
    Scratch scratch; // removed once the job has ended what is left in it
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    Handle output(CreateFileW(TempFile(L"bdr").c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr),
                  &CloseHandle);
    Handle job(CreateJobObjectW(nullptr, nullptr), &CloseHandle);
    if (output.get() == INVALID_HANDLE_VALUE || !job || !scratch.made ||
        !SetEnvironmentVariableW(L"TEST_PREMATURE_EXIT_FILE", scratch.unfinished.c_str())) {
        Print("run_tests: cannot prepare the run\n");
        return false;
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
        return false;
    }
    Handle processHandle(process.hProcess, &CloseHandle);
    Handle thread(process.hThread, &CloseHandle);
    // Where the job cannot take it (a machine that forbids nested jobs), the program alone is ended at the limit.
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
    report = ReadReport(ReadBytes(scratch.report).value_or(""));
    const bool unfinished = GetFileAttributesW(scratch.unfinished.c_str()) != INVALID_FILE_ATTRIBUTES;
    // Why it did not pass: the first reason that holds.
    const std::pair<bool, std::string> reasons[] = {
        {!inTime, "stopped after " + std::to_string(seconds) + " s"},
        {code != 0, "exit code " + std::to_string(code)},
        {unfinished, "it ended before GoogleTest finished"},
        {!report.complete, "no GoogleTest report: not a GoogleTest program?"},
        {report.failed > 0, std::to_string(report.failed) + " tests failed"},
        {report.ran == 0 && report.skipped == 0, "it ran no test"},
        {report.ran == 0 && !maySkip, "every test skipped (a line that allows it says may-skip)"},
    };
    for (const auto& [holds, why] : reasons) {
        if (holds) {
            Print("run_tests: " + why + "\n");
            return false;
        }
    }
    return true;
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
    const std::optional<std::string> list = ReadBytes(full);
    if (!list) {
        Print("run_tests: cannot read the list\n");
        return 2;
    }

    int programs = 0;
    int failed = 0;
    int testsPassed = 0;
    int testsSkipped = 0;
    std::string failures;
    std::istringstream lines(*list);
    for (std::string line; std::getline(lines, line);) {
        line.erase(line.find_last_not_of("\r ") + 1); // npos + 1 is 0: a line of only these is empty
        if (line.empty() || line[0] == '#') {
            continue;
        }
        DWORD seconds = 0;
        const auto [secondsEnd, error] = std::from_chars(line.data(), line.data() + line.size(), seconds);
        std::string command = line.substr(secondsEnd - line.data()); // from the space after the seconds
        const bool readable = error == std::errc() && seconds > 0 && seconds <= kMaxSeconds && command.starts_with(' ');
        const bool maySkip = command.starts_with(kMaySkip);
        command.erase(0, maySkip ? sizeof(kMaySkip) - 1 : 1);
        if (!readable || command.empty()) {
            Print("run_tests: not a line of a list: " + line + "\n");
            ++failed;
            failures += "  (unreadable line) " + line + "\n";
            continue;
        }
        const std::wstring wide(command.begin(), command.end()); // a list's names and arguments are ASCII
        const size_t argumentsAt = std::min(wide.find(L' '), wide.size());
        Print("== " + command + "\n");
        Report report;
        const bool passed =
            RunProgram(folder, L"\"" + folder + wide.substr(0, argumentsAt) + L"\"" + wide.substr(argumentsAt), seconds,
                       maySkip, report);
        ++programs;
        testsPassed += report.ran - report.failed;
        testsSkipped += report.skipped;
        if (!passed) {
            ++failed;
            failures += "  " + command + "\n";
        }
    }

    Print("run_tests: " + std::to_string(programs) + " programs, " + std::to_string(testsPassed) + " tests passed, " +
          std::to_string(testsSkipped) + " skipped, " + std::to_string(failed) + " programs failed\n");
    if (failed > 0) {
        Print("run_tests: failed:\n" + failures);
    } else if (testsPassed == 0) {
        Print("run_tests: no test ran\n");
    }
    return failed > 0 || testsPassed == 0 ? 1 : 0;
}

// The runner that runs the test programs on a Windows machine, tried here
// on lists of a probe program's tests; and the Wine detection the tests use.
#include "test_support.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int CountProcesses(const wchar_t* image)
{
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        count += _wcsicmp(entry.szExeFile, image) == 0;
    }
    CloseHandle(snapshot);
    return count;
}

TEST(RunnerTest, PassesOnlyWhenEveryProgramPassesAndATestRan)
{
    struct Case {
        std::vector<std::string> list;
        DWORD exitCode;
        const char* says;
    };
    const std::string probe = "runner_probe.exe --gtest_filter=Probe.";
    const Case cases[] = {
        {{"60 " + probe + "Passes", "# a comment", "", "60 " + probe + "Skips"},
         0,
         "2 programs, 1 tests passed, 1 skipped"},
        {{"60 " + probe + "Passes", "60 " + probe + "Fails", "60 " + probe + "Passes"}, 1, "1 programs failed"},
        {{"# nothing to run"}, 1, "no test ran"},
        {{"60 " + probe + "Skips"}, 1, "no test ran"},
        {{"60 no_such_program.exe"}, 1, "cannot start it"},
        {{"60"}, 1, "not a line of a list"},
        {{"2 " + probe + "Hangs", "60 " + probe + "Passes"}, 1, "stopped after 2 s"},
    };
    TempDir dir;
    ASSERT_TRUE(CopyFileW((ModuleDir() + L"\\runner_probe.exe").c_str(), (dir / L"runner_probe.exe").c_str(), FALSE));
    for (const Case& c : cases) {
        std::string text;
        for (const std::string& line : c.list) {
            text += line + "\r\n";
        }
        SCOPED_TRACE(text);
        WriteBytes(dir / L"tests.txt", text);
        const auto [code, output] =
            RunAndRead(L"\"" + ModuleDir() + L"\\run_tests.exe\" \"" + (dir / L"tests.txt") + L"\"");
        EXPECT_EQ(code, c.exitCode) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
    }
    EXPECT_EQ(CountProcesses(L"runner_probe.exe"), 0) << "a program outlived its time limit";
}

TEST(RunnerTest, WineIsDetectedExactlyWhereItRuns)
{
    HKEY wine = nullptr;
    const bool wineKeys = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Wine", 0, KEY_READ, &wine) == ERROR_SUCCESS;
    if (wine) {
        RegCloseKey(wine);
    }
    EXPECT_EQ(RunningUnderWine(), wineKeys);
}

} // namespace

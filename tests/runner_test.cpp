// The runner of the test programs on Windows, tried on lists of a probe program's tests; and the Wine detection.
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

// CTest takes GoogleTest's skip mark anywhere in a test's output for a skip: the probe's, shown when a row fails,
// would hide that failure.
std::string Shown(std::string output)
{
    const std::string mark = "[  SKIPPED ]";
    for (size_t at = output.find(mark); at != std::string::npos; at = output.find(mark, at)) {
        output.replace(at, mark.size(), "[  skipped ]");
    }
    return output;
}

TEST(RunnerTest, PassesOnlyWhenEveryProgramPassesAndATestRan)
{
    const std::string probe = "runner_probe.exe --gtest_filter=Probe.";
    // The list (its lines ended by CR LF), the runner's exit code, and what its output must say.
    const std::tuple<std::string, DWORD, const char*> cases[] = {
        {"86400 " + probe + "Passes\r\n# a comment\r\n\r\n60 may-skip " + probe + "Skips\r\n", 0,
         "2 programs, 1 tests passed, 1 skipped"},
        {"60 " + probe + "Passes\r\n60 " + probe + "Fails\r\n60 " + probe + "Passes\r\n", 1, "1 programs failed"},
        {"# nothing to run\r\n", 1, "no test ran"},
        {"60 " + probe + "Skips\r\n", 1, "every test skipped"},
        {"60 " + probe + "Passes\r\n60 " + probe + "Skips\r\n", 1, "every test skipped"},
        {"60 " + probe + "Passes\r\n60 " + probe + "NoSuchTest\r\n", 1, "it ran no test"},
        {"60 " + probe + "Passes:Probe.Exits\r\n", 1, "it ended before GoogleTest finished"},
        {"60 " + probe + "Passes:Probe.ExitsInTheSecondRound --gtest_repeat=2\r\n", 1,
         "ended before GoogleTest finished"},
        {"60 runner_probe.exe --imitate\r\n", 1, "no GoogleTest report"},
        {"60 runner_probe.exe --exit-0 --gtest_filter=Probe.Passes:Probe.Fails\r\n", 1, "1 tests failed"},
        {"60 no_such_program.exe\r\n", 1, "cannot start it"},
        {"60\r\n", 1, "not a line of a list"},
        {"12abc " + probe + "Passes\r\n", 1, "not a line of a list"},
        {"-1 " + probe + "Passes\r\n", 1, "not a line of a list"},
        {"4294968 " + probe + "Passes\r\n", 1, "not a line of a list"},
        {"86401 " + probe + "Passes\r\n", 1, "not a line of a list"},
        {"2 " + probe + "Hangs\r\n60 " + probe + "Passes\r\n", 1, "stopped after 2 s"},
    };
    TempDir dir;
    const std::wstring copy = dir / L"runner_probe.exe";
    ASSERT_TRUE(CopyFileW(BuiltProgram(L"runner_probe.exe").c_str(), copy.c_str(), FALSE));
    for (const auto& [list, exitCode, says] : cases) {
        SCOPED_TRACE(list);
        WriteBytes(dir / L"tests.txt", list);
        const auto [code, output] =
            RunAndRead(L"\"" + BuiltProgram(L"run_tests.exe") + L"\" \"" + (dir / L"tests.txt") + L"\"");
        EXPECT_EQ(code, exitCode) << Shown(output);
        EXPECT_NE(output.find(says), std::string::npos) << Shown(output);
    }
    // Windows and Wine refuse to delete a running program's file: that of the probe and of the child it starts.
    EXPECT_TRUE(WaitUntil([&] { return DeleteFileW(copy.c_str()) != FALSE; })) << "a program outlived its time limit";
}

TEST(RunnerTest, WineIsDetectedExactlyWhereItRuns)
{
    HKEY wine = nullptr;
    const bool wineKeys = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Wine", 0, KEY_READ, &wine) == ERROR_SUCCESS;
    RegCloseKey(wine);
    EXPECT_EQ(RunningUnderWine(), wineKeys);
}

} // namespace

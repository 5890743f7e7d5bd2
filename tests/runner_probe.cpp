// Stands in for a test program when run_tests is tested: each test passes, fails, skips, hangs or ends the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

TEST(Probe, Passes)
{
    SUCCEED();
}

TEST(Probe, Fails)
{
    ADD_FAILURE() << "made to fail";
}

TEST(Probe, Skips)
{
    GTEST_SKIP() << "made to skip";
}

TEST(Probe, Sleeps)
{
    Sleep(INFINITE);
}

TEST(Probe, Exits)
{
    std::exit(0);
}

// Ends the program in the second round of --gtest_repeat=2, after GoogleTest wrote the first round's report.
TEST(Probe, ExitsInTheSecondRound)
{
    static int rounds = 0;
    if (++rounds == 2) {
        std::exit(0);
    }
}

// Hangs with a program of its own still running, as an end-to-end test would: the time limit must end both.
TEST(Probe, Hangs)
{
    wchar_t command[] = L"runner_probe --gtest_filter=Probe.Sleeps"; // found first in this program's own folder
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    Sleep(INFINITE);
}

} // namespace

// --imitate: prints what a passing test program prints without being one.
// --exit-0: ends with 0 whatever the tests did, as a main that drops the result.
int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--imitate") {
        std::puts("[==========] Running 1 test from 1 test suite.\n[ RUN      ] Probe.Passes\n"
                  "[       OK ] Probe.Passes (0 ms)\n[==========] 1 test from 1 test suite ran. (0 ms total)\n"
                  "[  PASSED  ] 1 test.");
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    return mode == "--exit-0" ? 0 : result;
}

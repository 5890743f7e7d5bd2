// Stands in for a test program when run_tests is tested: each test here
// passes, fails, skips or hangs, as the list given to run_tests selects.
#include <windows.h>

#include <gtest/gtest.h>

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

// Hangs with a program of its own still running, as an end-to-end test that
// started Backdrift.exe would: the time limit must end both.
TEST(Probe, Hangs)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=Probe.Sleeps";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    Sleep(INFINITE);
}

} // namespace

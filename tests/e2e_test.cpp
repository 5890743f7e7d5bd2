// Starts the real Backdrift.exe and drives it from outside, as the shell and
// the user would: tray callbacks and broadcasts as window messages; observes
// its windows, exit code, settings file and the desktop wallpaper.
#include "test_support.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr wchar_t kClass[] = L"BackdriftHiddenWnd";
constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr UINT kTrayMessage = WM_APP + 1;
constexpr DWORD kWaitMs = 15000;

const std::wstring kDefaultFile = L"[Backdrift]\r\nFolder=\r\nMode=0\r\nIndex=-1\r\nFit=0\r\nAutostart=0\r\n"
                                  L"HotkeyMod=3\r\nHotkeyVk=87\r\n";

std::vector<HWND> ProgramWindows()
{
    std::vector<HWND> found;
    EnumWindows(
        [](HWND hwnd, LPARAM list) -> BOOL {
            wchar_t name[64] = {};
            GetClassNameW(hwnd, name, 64);
            if (wcscmp(name, kClass) == 0) {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

class Program {
public:
    Program()
    {
        std::wstring command = L"\"" + ModuleDir() + L"\\Backdrift.exe\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process_) != FALSE;
    }
    ~Program()
    {
        if (started_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 99);
            WaitForSingleObject(process_.hProcess, kWaitMs);
        }
        if (started_) {
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return started_; }

    // The hidden window, once the program's start-up has finished.
    HWND Window()
    {
        WaitForInputIdle(process_.hProcess, kWaitMs);
        for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
            for (const HWND hwnd : ProgramWindows()) {
                DWORD pid = 0;
                GetWindowThreadProcessId(hwnd, &pid);
                if (pid == process_.dwProcessId) {
                    return hwnd;
                }
            }
            Sleep(50);
        }
        return nullptr;
    }

    // Exit code, or STILL_ACTIVE if the program does not end in time.
    DWORD WaitForExit()
    {
        WaitForSingleObject(process_.hProcess, kWaitMs);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
};

// Delivers a message and waits until the program has handled it.
LRESULT Deliver(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, kWaitMs, &result), 0);
    return static_cast<LRESULT>(result);
}

void LeftClick(HWND hwnd)
{
    Deliver(hwnd, kTrayMessage, 1, WM_LBUTTONUP);
}

class EndToEndTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ProgramWindows().empty()) << "another Backdrift is running";
        RemoveTree(configDir);
        WriteRegString(HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper", L"untouched");
    }
    void TearDown() override { RemoveTree(configDir); }

    void WriteConfig(const std::wstring& folder, int index)
    {
        CreateDirectoryW(configDir.c_str(), nullptr);
        std::wstring text = L"\xFEFF[Backdrift]\r\nFolder=" + folder + L"\r\nMode=0\r\nIndex=" +
                            std::to_wstring(index) + L"\r\nFit=0\r\n";
        WriteBytes(configFile, std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    }
    std::wstring ConfigText() { return ReadText(configFile).value_or(L"<missing>"); }
    bool ConfigHas(const std::wstring& line) { return ConfigText().find(line + L"\r\n") != std::wstring::npos; }
    static std::wstring Wallpaper()
    {
        return ReadRegString(HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper").value_or(L"<absent>");
    }

    const std::wstring configDir = RoamingAppData() + L"\\Backdrift";
    const std::wstring configFile = configDir + L"\\config.ini";
    RegValueGuard wallpaper_{HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper"};
    RegValueGuard style_{HKEY_CURRENT_USER, kDesktopKey, L"WallpaperStyle"};
    RegValueGuard tile_{HKEY_CURRENT_USER, kDesktopKey, L"TileWallpaper"};
};

TEST_F(EndToEndTest, FirstStartTouchesNothingButItsFolderAndQuitsCleanly)
{
    Program program;
    ASSERT_TRUE(program.started());
    const HWND hwnd = program.Window();
    ASSERT_NE(hwnd, nullptr);

    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(Exists(configDir));
    EXPECT_FALSE(Exists(configFile));
    EXPECT_EQ(Wallpaper(), L"untouched");

    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
    EXPECT_FALSE(Exists(configFile)) << "no save at quit";
    EXPECT_EQ(Wallpaper(), L"untouched");
}

TEST_F(EndToEndTest, SecondCopyExitsAtOnce)
{
    Program first;
    ASSERT_NE(first.Window(), nullptr);

    Program second;
    ASSERT_TRUE(second.started());
    EXPECT_EQ(second.WaitForExit(), 0u);
    EXPECT_EQ(ProgramWindows().size(), 1u);
    EXPECT_FALSE(Exists(configFile));

    PostMessageW(first.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(first.WaitForExit(), 0u);
}

TEST_F(EndToEndTest, SessionEndSavesTheDefaultsAndAllowsLogOff)
{
    Program program;
    const HWND hwnd = program.Window();
    ASSERT_NE(hwnd, nullptr);

    EXPECT_EQ(Deliver(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 1);
    EXPECT_EQ(ConfigText(), kDefaultFile);

    DeleteFileW(configFile.c_str());
    EXPECT_EQ(Deliver(hwnd, WM_ENDSESSION, FALSE, 0), 0);
    EXPECT_EQ(ConfigText(), kDefaultFile);

    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST_F(EndToEndTest, LeftClicksWalkThroughTheFolder)
{
    TempDir pictures;
    for (const wchar_t* name : {L"b.png", L"A.jpg", L"c.JPEG", L"notes.txt"}) {
        Touch(pictures / name);
    }
    WriteConfig(pictures.path(), -1);
    Program program;
    const HWND hwnd = program.Window();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(Wallpaper(), L"untouched") << "start-up never changes the wallpaper";

    const std::wstring order[] = {pictures / L"A.jpg", pictures / L"b.png", pictures / L"c.JPEG", pictures / L"A.jpg"};
    for (int click = 0; click < 4; ++click) {
        LeftClick(hwnd);
        EXPECT_EQ(Wallpaper(), order[click]) << "click " << click;
        EXPECT_TRUE(ConfigHas(L"Index=" + std::to_wstring(click % 3))) << Narrow(ConfigText());
    }

    // A picture deleted behind the program's back is skipped.
    DeleteFileW((pictures / L"b.png").c_str());
    LeftClick(hwnd);
    EXPECT_EQ(Wallpaper(), pictures / L"c.JPEG");
    EXPECT_TRUE(ConfigHas(L"Index=2"));

    // Other tray events do nothing.
    Deliver(hwnd, kTrayMessage, 1, WM_MOUSEMOVE);
    Deliver(hwnd, kTrayMessage, 1, WM_LBUTTONDOWN);
    EXPECT_EQ(Wallpaper(), pictures / L"c.JPEG");

    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST_F(EndToEndTest, ClickWithoutFolderChangesNothing)
{
    Program program;
    const HWND hwnd = program.Window();
    ASSERT_NE(hwnd, nullptr);

    LeftClick(hwnd);

    EXPECT_EQ(Wallpaper(), L"untouched");
    EXPECT_FALSE(Exists(configFile));
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST_F(EndToEndTest, KeepsWorkingAfterTheTaskbarIsRecreated)
{
    TempDir pictures;
    Touch(pictures / L"1.jpg");
    Touch(pictures / L"2.jpg");
    WriteConfig(pictures.path(), 0);
    Program program;
    const HWND hwnd = program.Window();
    ASSERT_NE(hwnd, nullptr);

    const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Deliver(hwnd, taskbarCreated), 0);
    }
    // The shell knows the icon again: it can be modified, not added a second time.
    NOTIFYICONDATAW probe = {};
    probe.cbSize = sizeof(probe);
    probe.hWnd = hwnd;
    probe.uID = 1;
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &probe));
    EXPECT_FALSE(Shell_NotifyIconW(NIM_ADD, &probe));
    LeftClick(hwnd);

    EXPECT_EQ(Wallpaper(), pictures / L"2.jpg");
    EXPECT_TRUE(ConfigHas(L"Index=1"));
    EXPECT_EQ(ProgramWindows().size(), 1u);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

// Clicks the program's icon in the taskbar's notification area with the
// mouse, so that the shell itself sends the callback message.
void ClickTrayIcon()
{
    RECT taskbar = {};
    GetWindowRect(FindWindowW(L"Shell_TrayWnd", nullptr), &taskbar);
    // The only icon in the test desktop's notification area sits at its right end.
    const int height = taskbar.bottom - taskbar.top;
    const POINT at = {taskbar.right - height / 2, taskbar.top + height / 2};
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
    inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
    SendInput(3, inputs, sizeof(INPUT));
}

TEST_F(EndToEndTest, MouseClickOnTheNotificationIconSwaps)
{
    TempDir pictures;
    Touch(pictures / L"only.jpg");
    WriteConfig(pictures.path(), -1);
    Program program;
    const HWND hwnd = program.Window();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_NE(FindWindowW(L"Shell_TrayWnd", nullptr), nullptr);

    ClickTrayIcon();
    // The click arrives asynchronously; the settings file is written last.
    for (DWORD waited = 0; waited < kWaitMs && !ConfigHas(L"Index=0"); waited += 50) {
        Sleep(50);
    }

    EXPECT_EQ(Wallpaper(), pictures / L"only.jpg");
    EXPECT_TRUE(ConfigHas(L"Index=0"));
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

} // namespace

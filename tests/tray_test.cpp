#include "app/app_state.h"
#include "res/resource.h"
#include "test_support.h"
#include "tray/tray.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

namespace {

TEST(TrayTipTest, NamesTheFolderAndCount)
{
    EXPECT_EQ(FormatTrayTip(L"", 0), L"Backdrift - no folder set");
    EXPECT_EQ(FormatTrayTip(L"", 12), L"Backdrift - no folder set");
    EXPECT_EQ(FormatTrayTip(L"D:\\Photos\\Summer", 42), L"Backdrift - Summer (42)");
    EXPECT_EQ(FormatTrayTip(L"D:\\Photos\\Summer", 0), L"Backdrift - Summer (0)");
    EXPECT_EQ(FormatTrayTip(L"D:\\", 3), L"Backdrift - D:\\ (3)");
}

class TrayTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!FindWindowW(L"Shell_TrayWnd", nullptr)) {
            GTEST_SKIP() << "no taskbar here to show a notification icon";
        }
        ResetAppState();
        g_app.hInstance = GetModuleHandleW(nullptr);
        g_app.hwnd =
            CreateWindowExW(WS_EX_TOOLWINDOW, L"Static", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(g_app.hwnd, nullptr);
    }
    void TearDown() override
    {
        Shell_NotifyIconW(NIM_DELETE, &g_app.nid);
        DestroyIcon(g_app.nid.hIcon);
        DestroyWindow(g_app.hwnd);
    }

    // The shell accepts a modify only for an icon it shows.
    static bool IconIsShown()
    {
        NOTIFYICONDATAW probe = g_app.nid;
        probe.uFlags = NIF_TIP;
        return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
    }
};

TEST_F(TrayTest, AddFillsTheRecordAndShowsTheIcon)
{
    g_app.folder = L"D:\\Photos\\Summer";
    g_app.images.assign(42, L"x");

    AddTrayIcon();

    const NOTIFYICONDATAW& nid = g_app.nid;
    EXPECT_EQ(std::tuple(nid.cbSize, nid.hWnd, nid.uID, nid.uCallbackMessage, nid.uFlags, std::wstring(nid.szTip)),
              std::tuple(976u, g_app.hwnd, 1u, 0x8001u, UINT{NIF_TIP}, std::wstring(L"Backdrift - Summer (42)")));
    EXPECT_EQ(nid.guidItem, GUID{});
    EXPECT_TRUE(IconIsShown());

    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(nid.hIcon, &info));
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
    EXPECT_EQ(std::tuple(bitmap.bmWidth, bitmap.bmHeight),
              std::tuple(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)));
    EXPECT_NE(nid.hIcon, LoadIconW(nullptr, IDI_APPLICATION));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

TEST_F(TrayTest, StockIconStandsInForAMissingResource)
{
    g_app.hInstance = GetModuleHandleW(L"kernel32.dll");
    ASSERT_EQ(FindResourceW(g_app.hInstance, MAKEINTRESOURCEW(IDI_APP), RT_GROUP_ICON), nullptr);

    AddTrayIcon();

    EXPECT_EQ(g_app.nid.hIcon, LoadIconW(nullptr, IDI_APPLICATION));
    EXPECT_TRUE(IconIsShown());
}

TEST_F(TrayTest, ReAddingReplacesTheIconWithoutPilingUpHandles)
{
    AddTrayIcon();
    for (int i = 0; i < 300; ++i) {
        const HICON old = g_app.nid.hIcon;
        AddTrayIcon(); // the icon is still shown, as after a display-scale change
        ICONINFO info = {};
        ASSERT_FALSE(old != g_app.nid.hIcon && GetIconInfo(old, &info)) << "an old icon was not destroyed";
    }

    EXPECT_TRUE(IconIsShown());
}

std::vector<COLORREF> TrayPixels(const RECT& icon)
{
    std::vector<COLORREF> pixels;
    HDC screen = GetDC(nullptr);
    for (int y = icon.top; y < icon.bottom; ++y) {
        for (int x = icon.left; x < icon.right; ++x) {
            pixels.push_back(GetPixel(screen, x, y));
        }
    }
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Adds the icon and lets the taskbar draw it.
void AddAndSettle()
{
    AddTrayIcon();
    for (int i = 0; i < 20; ++i) {
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
            DispatchMessageW(&message);
        }
        Sleep(25);
    }
}

TEST_F(TrayTest, ReAddWhileShownBringsTheNewIconAcross)
{
    // As after a display-scale change: the taskbar announces itself while our icon is shown; the new one replaces it.
    AddAndSettle();
    const auto icon = TrayIconRect(g_app.hwnd, 1);
    if (!icon) {
        GTEST_SKIP() << "the icon is out of sight in the taskbar's overflow: its pixels cannot be read";
    }
    const auto appIcon = TrayPixels(*icon);
    ASSERT_GT(std::set<COLORREF>(appIcon.begin(), appIcon.end()).size(), 4u) << "the icon is not on the screen";

    g_app.hInstance = GetModuleHandleW(L"kernel32.dll"); // no icon there: the stock icon
    AddAndSettle();

    EXPECT_NE(TrayPixels(*icon), appIcon);
}

TEST_F(TrayTest, LongTooltipIsCut)
{
    AddTrayIcon();
    g_app.folder = L"C:\\" + std::wstring(200, L'n');
    g_app.images.assign(3, L"x");

    UpdateTrayTip();

    EXPECT_EQ(std::wstring(g_app.nid.szTip), (L"Backdrift - " + std::wstring(200, L'n')).substr(0, 127));
    EXPECT_EQ(g_app.nid.uFlags, static_cast<UINT>(NIF_TIP));
}

TEST_F(TrayTest, BalloonFillsItsFieldsAndLeavesTheRecordAtRest)
{
    AddTrayIcon();
    const std::wstring tip = g_app.nid.szTip;
    const std::wstring longText(400, L'b');

    ShowBalloon(longText.c_str());

    const NOTIFYICONDATAW& nid = g_app.nid;
    EXPECT_EQ(std::tuple(std::wstring(nid.szInfoTitle), std::wstring(nid.szInfo), nid.dwInfoFlags, nid.uFlags),
              std::tuple(std::wstring(L"Backdrift"), longText.substr(0, 255), DWORD{NIIF_INFO | NIIF_NOSOUND},
                         UINT{NIF_TIP}));
    EXPECT_EQ(std::wstring(nid.szTip), tip);

    ShowBalloon(L"No images found in the selected folder.");
    EXPECT_STREQ(nid.szInfo, L"No images found in the selected folder.");
}

} // namespace

#include "app/app_state.h"
#include "hotkey/hotkey.h"
#include "hotkey/hotkey_dialog.h"
#include "res/resource.h"
#include "test_support.h"
#include "tray/menu.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(HotkeyLabelTest, NamesTheCombinationAsTheUserTypesIt)
{
    struct Row {
        uint32_t mod, vk;
        const wchar_t* label;
    };
    const Row rows[] = {
        {MOD_CONTROL | MOD_ALT, 'W', L"Ctrl+Alt+W"},
        {MOD_CONTROL | MOD_SHIFT, VK_F5, L"Ctrl+Shift+F5"},
        {MOD_CONTROL | MOD_WIN, 'D', L"Ctrl+Win+D"}, // Win last, whatever the bits' order
        {MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN, 'B', L"Ctrl+Alt+Shift+Win+B"},
        {MOD_CONTROL, VK_HOME, L"Ctrl+Home"}, // not the keypad's 7, which shares its scan code
        {MOD_ALT, VK_DOWN, L"Alt+Down"},
        {MOD_ALT, 0xFF, L"Alt+0xFF"}, // no scan code in any layout
        {MOD_SHIFT, 0x07, L"Shift+0x07"},
        {0, 'W', L"none"},
        {MOD_CONTROL | MOD_ALT, 0, L"none"},
    };
    for (const Row& row : rows) {
        g_app.hotkeyMod = row.mod;
        g_app.hotkeyVk = row.vk;
        EXPECT_EQ(FormatHotkeyLabel(), row.label) << row.mod << " " << row.vk;
    }
}

TEST(HotkeyDialogTest, ConvertsModifiersBitByBit)
{
    EXPECT_EQ(ModifiersToHotkeyFlags(MOD_CONTROL | MOD_ALT), HOTKEYF_CONTROL | HOTKEYF_ALT);
    EXPECT_EQ(ModifiersToHotkeyFlags(MOD_SHIFT | MOD_WIN), HOTKEYF_SHIFT); // the control cannot show Win
    EXPECT_EQ(HotkeyFlagsToModifiers(HOTKEYF_SHIFT | HOTKEYF_ALT), uint32_t{MOD_SHIFT | MOD_ALT});
    EXPECT_EQ(HotkeyFlagsToModifiers(HOTKEYF_CONTROL | HOTKEYF_EXT), uint32_t{MOD_CONTROL});
}

// Two windows of this thread: the program's and a rival holding combinations.
class HotkeyTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetAppState();
        g_app.hwnd = CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        rival_ = CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(g_app.hwnd && rival_);
    }
    void TearDown() override
    {
        DestroyWindow(g_app.hwnd);
        DestroyWindow(rival_);
    }
    bool RivalCanTake(UINT mod, UINT vk)
    {
        const bool taken = RegisterHotKey(rival_, 7, mod, vk) != FALSE;
        UnregisterHotKey(rival_, 7);
        return taken;
    }
    HWND rival_ = nullptr;
};

TEST_F(HotkeyTest, RegistersReleasesAndReportsARefusal)
{
    EXPECT_TRUE(RegisterSwapHotkey());
    EXPECT_TRUE(RegisterSwapHotkey()) << "the same combination again: released first";
    EXPECT_TRUE(g_app.hotkeyRegistered);
    EXPECT_FALSE(RivalCanTake(MOD_CONTROL | MOD_ALT, 'W'));

    g_app.hotkeyVk = 0;
    EXPECT_TRUE(RegisterSwapHotkey()) << "nothing configured counts as success";
    EXPECT_FALSE(g_app.hotkeyRegistered);
    EXPECT_TRUE(RivalCanTake(MOD_CONTROL | MOD_ALT, 'W')) << "the old combination was released";

    ASSERT_TRUE(RegisterHotKey(rival_, 7, MOD_CONTROL | MOD_SHIFT, 'B'));
    g_app.hotkeyMod = MOD_CONTROL | MOD_SHIFT;
    g_app.hotkeyVk = 'B';
    EXPECT_FALSE(RegisterSwapHotkey());
    EXPECT_FALSE(g_app.hotkeyRegistered);
    EXPECT_EQ(g_app.hotkeyMod, uint32_t{MOD_CONTROL | MOD_SHIFT}) << "a refusal keeps the combination";
    EXPECT_EQ(g_app.hotkeyVk, uint32_t{'B'});
    EXPECT_EQ(HotkeyMenuText(), L"Set hotkey\u2026  (Ctrl+Shift+B)  \u2014 unavailable");
    UnregisterHotKey(rival_, 7);
}

// One line per item: text, identifier and state, submenus indented.
std::vector<std::wstring> DescribeMenu(HMENU menu, const std::wstring& indent = L"")
{
    std::vector<std::wstring> lines;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = ARRAYSIZE(text);
        GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item);
        if (item.fType & MFT_SEPARATOR) {
            lines.push_back(indent + L"---");
            continue;
        }
        std::wstring line = indent + text + (item.hSubMenu ? L" >" : L" " + std::to_wstring(item.wID));
        if (item.fState & MFS_GRAYED) {
            line += L" grayed";
        }
        if (item.fState & MFS_CHECKED) {
            line += (item.fType & MFT_RADIOCHECK) ? L" (o)" : L" [x]";
        }
        lines.push_back(line);
        if (item.hSubMenu) {
            const auto sub = DescribeMenu(item.hSubMenu, indent + L"  ");
            lines.insert(lines.end(), sub.begin(), sub.end());
        }
    }
    return lines;
}

std::vector<std::wstring> BuiltMenu()
{
    HMENU menu = BuildContextMenu();
    auto lines = DescribeMenu(menu);
    DestroyMenu(menu);
    return lines;
}

TEST(ContextMenuTest, ShowsTheStateItIsBuiltFrom)
{
    ResetAppState();
    g_app.hotkeyMod = 0;
    const std::vector<std::wstring> fresh = {
        L"Swap now 40001",
        L"---",
        L"Pick folder\u2026 40002",
        L"Open current folder 40003 grayed",
        L"Mode >",
        L"  Sequential 40010 (o)",
        L"  Random 40011",
        L"Fit >",
        L"  Fill 40020 (o)",
        L"  Fit 40021",
        L"  Stretch 40022",
        L"  Tile 40023",
        L"  Center 40024",
        L"---",
        L"Start with Windows 40030",
        L"Set hotkey\u2026  (none) 40035",
        L"---",
        L"About 40040",
        L"Quit 40050",
    };
    EXPECT_EQ(BuiltMenu(), fresh);

    // A folder that no longer exists still enables Open; a refused hotkey is marked.
    g_app.folder = L"Q:\\gone";
    g_app.mode = Random;
    g_app.fit = Tile;
    g_app.autostart = true;
    g_app.hotkeyMod = MOD_CONTROL | MOD_ALT;
    std::vector<std::wstring> changed = fresh;
    changed[3] = L"Open current folder 40003";
    changed[5] = L"  Sequential 40010";
    changed[6] = L"  Random 40011 (o)";
    changed[8] = L"  Fill 40020";
    changed[11] = L"  Tile 40023 (o)";
    changed[14] = L"Start with Windows 40030 [x]";
    changed[15] = L"Set hotkey\u2026  (Ctrl+Alt+W)  \u2014 unavailable 40035";
    EXPECT_EQ(BuiltMenu(), changed);

    g_app.hotkeyRegistered = true;
    g_app.mode = static_cast<RotationMode>(7); // anything but Random marks Sequential
    changed[5] = L"  Sequential 40010 (o)";
    changed[6] = L"  Random 40011";
    changed[15] = L"Set hotkey\u2026  (Ctrl+Alt+W) 40035";
    EXPECT_EQ(BuiltMenu(), changed);
}

} // namespace

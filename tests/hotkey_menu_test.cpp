#include "app/app_state.h"
#include "hotkey/hotkey.h"
#include "test_support.h"
#include "tray/menu.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Injected keys never repeat, so a combination held down cannot be shown: each registration's flags are recorded.
UINT g_modifiers = 0;

BOOL WINAPI RecordHotKey(HWND hwnd, int id, UINT modifiers, UINT vk)
{
    g_modifiers = modifiers;
    return SystemFunction<decltype(&RegisterHotKey)>(L"user32.dll", "RegisterHotKey")(hwnd, id, modifiers, vk);
}

TEST(HotkeyLabelTest, NamesTheCombinationAsTheUserTypesIt)
{
    const std::tuple<uint32_t, uint32_t, const wchar_t*> rows[] = {
        {MOD_CONTROL | MOD_ALT, 'W', L"Ctrl+Alt+W"},
        {MOD_CONTROL | MOD_SHIFT, VK_F5, L"Ctrl+Shift+F5"},
        {MOD_CONTROL | MOD_WIN, 'D', L"Ctrl+Win+D"}, // Win last, whatever the bits' order
        {MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN, 'B', L"Ctrl+Alt+Shift+Win+B"},
        {MOD_CONTROL, VK_HOME, L"Ctrl+Home"}, // not the keypad key that shares its scan code
        {MOD_ALT, VK_DOWN, L"Alt+Down"},
        {MOD_ALT, 0xFF, L"Alt+0xFF"}, // no scan code in any layout
        {MOD_SHIFT, 0x07, L"Shift+0x07"},
        {0, 'W', L"none"},
        {MOD_CONTROL | MOD_ALT, 0, L"none"},
    };
    for (const auto& [mod, vk, label] : rows) {
        g_app.hotkeyMod = mod;
        g_app.hotkeyVk = vk;
        EXPECT_EQ(FormatHotkeyLabel(), label) << mod << " " << vk;
    }
}

// One line per item: text, identifier and marks; a submenu's items on its line.
std::vector<std::wstring> BuiltMenu(HMENU menu = nullptr)
{
    const HMENU built = menu ? menu : BuildContextMenu();
    std::vector<std::wstring> lines;
    for (int i = 0; i < GetMenuItemCount(built); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(built, static_cast<UINT>(i), text, ARRAYSIZE(text), MF_BYPOSITION);
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
        GetMenuItemInfoW(built, static_cast<UINT>(i), TRUE, &item);
        std::wstring line = text + (item.hSubMenu ? L" >" : L" " + std::to_wstring(item.wID));
        line += item.fState & MFS_GRAYED ? L" grayed" : L"";
        line += item.fState & MFS_CHECKED ? (item.fType & MFT_RADIOCHECK ? L" (o)" : L" [x]") : L"";
        for (const std::wstring& sub : item.hSubMenu ? BuiltMenu(item.hSubMenu) : std::vector<std::wstring>()) {
            line += (line.back() == L'>' ? L" " : L", ") + sub;
        }
        lines.push_back(item.fType & MFT_SEPARATOR ? L"---" : line);
    }
    if (!menu) {
        DestroyMenu(built);
    }
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
        L"Mode > Sequential 40010 (o), Random 40011",
        L"Fit > Fill 40020 (o), Fit 40021, Stretch 40022, Tile 40023, Center 40024",
        L"---",
        L"Start with Windows 40030",
        L"Set hotkey\u2026  (none) 40035",
        L"---",
        L"About 40040",
        L"Quit 40050",
    };
    EXPECT_EQ(BuiltMenu(), fresh);
    EXPECT_TRUE(RegisterSwapHotkey()) << "nothing configured counts as success";

    // A combination another window holds is refused, kept and marked. A folder that no longer exists enables Open.
    const HWND rival = CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    g_app.hwnd = CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(RegisterHotKey(rival, 1, MOD_CONTROL | MOD_ALT, 'W'));
    g_app.hotkeyMod = MOD_CONTROL | MOD_ALT;
    EXPECT_FALSE(RegisterSwapHotkey());
    EXPECT_EQ(FormatHotkeyLabel(), L"Ctrl+Alt+W");
    g_app.folder = L"Q:\\gone";
    g_app.mode = Random;
    g_app.fit = Tile;
    g_app.autostart = true;
    std::vector<std::wstring> changed = fresh;
    changed[3] = L"Open current folder 40003";
    changed[4] = L"Mode > Sequential 40010, Random 40011 (o)";
    changed[5] = L"Fit > Fill 40020, Fit 40021, Stretch 40022, Tile 40023 (o), Center 40024";
    changed[7] = L"Start with Windows 40030 [x]";
    changed[8] = L"Set hotkey\u2026  (Ctrl+Alt+W)  \u2014 unavailable 40035";
    EXPECT_EQ(BuiltMenu(), changed);

    UnregisterHotKey(rival, 1);
    EXPECT_TRUE(RegisterSwapHotkey());
    EXPECT_EQ(g_modifiers, UINT{MOD_CONTROL | MOD_ALT | MOD_NOREPEAT}) << "held down, the keys swap once";
    changed[8] = L"Set hotkey\u2026  (Ctrl+Alt+W) 40035";
    EXPECT_EQ(BuiltMenu(), changed);
    EXPECT_FALSE(RegisterHotKey(rival, 1, MOD_CONTROL | MOD_ALT, 'W')) << "registered for our window";
    DestroyWindow(g_app.hwnd);
    DestroyWindow(rival);
}

} // namespace

extern "C" {
decltype(&RegisterHotKey) __imp_RegisterHotKey = RecordHotKey;
}

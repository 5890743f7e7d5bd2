#include "hotkey/hotkey.h"

#include "app/app_state.h"

namespace {

constexpr LPARAM kExtendedKeyFlag = 1 << 24;
constexpr int kKeyNameLength = 64;

bool IsConfigured()
{
    return g_app.hotkeyMod != 0 && g_app.hotkeyVk != 0;
}

// These keys share their scan codes with the numeric keypad; only the
// extended flag makes the layout name them as the navigation keys.
bool IsExtendedKey(uint32_t vk)
{
    switch (vk) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_DIVIDE:
    case VK_NUMLOCK:
        return true;
    default:
        return false;
    }
}

std::wstring KeyName(uint32_t vk)
{
    const UINT scanCode = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    wchar_t name[kKeyNameLength] = {};
    if (scanCode != 0) {
        LPARAM keyParam = static_cast<LPARAM>(scanCode) << 16;
        if (IsExtendedKey(vk)) {
            keyParam |= kExtendedKeyFlag;
        }
        if (GetKeyNameTextW(static_cast<LONG>(keyParam), name, kKeyNameLength) > 0 && name[0] != L'\0') {
            return name;
        }
    }
    wsprintfW(name, L"0x%02X", vk);
    return name;
}

} // namespace

bool RegisterSwapHotkey()
{
    if (g_app.hotkeyRegistered) {
        UnregisterHotKey(g_app.hwnd, HOTKEY_ID_SWAP);
        g_app.hotkeyRegistered = false;
    }
    if (!IsConfigured()) {
        return true;
    }
    // MOD_NOREPEAT: holding the keys down swaps once, not at the repeat rate.
    g_app.hotkeyRegistered =
        RegisterHotKey(g_app.hwnd, HOTKEY_ID_SWAP, g_app.hotkeyMod | MOD_NOREPEAT, g_app.hotkeyVk) != FALSE;
    return g_app.hotkeyRegistered;
}

std::wstring FormatHotkeyLabel()
{
    if (!IsConfigured()) {
        return L"none";
    }
    // Ctrl first, as Windows writes combinations, not in the bits' order.
    std::wstring label;
    if (g_app.hotkeyMod & MOD_CONTROL) {
        label += L"Ctrl+";
    }
    if (g_app.hotkeyMod & MOD_ALT) {
        label += L"Alt+";
    }
    if (g_app.hotkeyMod & MOD_SHIFT) {
        label += L"Shift+";
    }
    if (g_app.hotkeyMod & MOD_WIN) {
        label += L"Win+";
    }
    return label + KeyName(g_app.hotkeyVk);
}

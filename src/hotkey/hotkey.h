#pragma once

#include <string>

// Identifier of the swap hotkey in RegisterHotKey and WM_HOTKEY.
constexpr int HOTKEY_ID_SWAP = 1;

// Release any earlier registration, then register g_app's combination for
// g_app.hwnd. False only when a combination is configured and the system
// refused it.
bool RegisterSwapHotkey();

// "Ctrl+Alt+W" and the like for g_app's combination, or "none".
std::wstring FormatHotkeyLabel();

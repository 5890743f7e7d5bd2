#pragma once

#include <windows.h>

#include <cstdint>

// The hotkey control's modifier flags (HOTKEYF_*) for RegisterHotKey bits:
// Win cannot be shown by the control and is dropped.
BYTE ModifiersToHotkeyFlags(uint32_t modifiers);
// RegisterHotKey bits for the control's flags; the extended-key flag is ignored.
uint32_t HotkeyFlagsToModifiers(BYTE flags);

// Dialog procedure of IDD_HOTKEY: records a new swap hotkey, or none, and
// registers and saves it.
INT_PTR CALLBACK HotkeyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

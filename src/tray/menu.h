#pragma once

#include <windows.h>

#include <string>

// Text of the Set hotkey item: the label, and a mark when the system refused
// the configured combination.
std::wstring HotkeyMenuText();

// The tray menu for the current g_app, with its submenus; the caller destroys it.
HMENU BuildContextMenu();

// Show the tray menu at the pointer; the choice arrives at g_app.hwnd as WM_COMMAND.
void ShowContextMenu();

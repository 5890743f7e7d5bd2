#pragma once

#include <cstddef>
#include <string>

// Tooltip text for a folder (empty = none) holding `count` pictures, before
// it is cut to the tooltip field.
std::wstring FormatTrayTip(const std::wstring& folder, size_t count);

// Put the icon into the notification area (again, after the taskbar was re-created).
void AddTrayIcon();
// Rebuild the tooltip from g_app.folder and the number of g_app.images.
void UpdateTrayTip();
// Information balloon titled "Backdrift", without sound.
void ShowBalloon(const wchar_t* message);

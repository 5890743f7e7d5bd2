#pragma once

#include "app/app_state.h"

#include <shobjidl.h>

#include <string>

// How a fit setting is expressed on each route; any unknown fit is Fill.
struct FitStyle {
    DESKTOP_WALLPAPER_POSITION position;
    const wchar_t* wallpaperStyle;
    const wchar_t* tileWallpaper;
};
FitStyle FitToStyle(uint32_t fit);

// Set the picture on every monitor with g_app.fit: through the shell's
// desktop-wallpaper object, else through ApplyWallpaperLegacy.
bool ApplyWallpaper(const std::wstring& path);

// Classic route: per-user style values, then SystemParametersInfoW.
bool ApplyWallpaperLegacy(const std::wstring& path);

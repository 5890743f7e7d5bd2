#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

// Records what the swap asked of the wallpaper, the settings file and the tray.
struct SwapRecorder {
    std::set<std::wstring> refused; // paths that ApplyWallpaper fails for
    std::vector<std::wstring> applied;
    std::vector<int32_t> savedIndexes; // g_app.index at each SaveSettings
    std::vector<std::wstring> balloons;
    int tipUpdates = 0;
    std::function<void()> duringApply; // runs inside the next ApplyWallpaper, once
};
inline SwapRecorder g_swap;

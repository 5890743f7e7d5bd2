#include "doubles/swap_doubles.h"

#include "app/app_state.h"
#include "settings/settings.h"
#include "tray/tray.h"
#include "wallpaper/apply.h"

#include <utility>

bool ApplyWallpaper(const std::wstring& path)
{
    g_swap.applied.push_back(path);
    if (auto during = std::exchange(g_swap.duringApply, nullptr)) {
        during();
    }
    return g_swap.refused.count(path) == 0;
}

void SaveSettings()
{
    g_swap.savedIndexes.push_back(g_app.index);
}

void ShowBalloon(const wchar_t* message)
{
    g_swap.balloons.emplace_back(message);
}

void UpdateTrayTip()
{
    ++g_swap.tipUpdates;
}

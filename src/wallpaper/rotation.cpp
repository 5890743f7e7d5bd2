#include "wallpaper/rotation.h"

#include "app/app_state.h"
#include "settings/settings.h"
#include "tray/tray.h"
#include "wallpaper/apply.h"
#include "wallpaper/scan.h"

#include <shlwapi.h>

#include <limits>
#include <numeric>
#include <utility>

namespace {

int32_t NextCandidate(int32_t candidate, int32_t count)
{
    if (count == 1) {
        return 0;
    }
    if (g_app.mode == Random) {
        if (g_app.shuffleOrder.empty() || g_app.shufflePos >= g_app.shuffleOrder.size()) {
            BuildShuffleOrder();
        }
        return static_cast<int32_t>(g_app.shuffleOrder[g_app.shufflePos++]);
    }
    return candidate < 0 ? 0 : (candidate + 1) % count;
}

bool TrySet(int32_t position)
{
    // A copy: while the wallpaper is applied, the thread can dispatch sent
    // messages, and a nested swap may rebuild the list under us.
    const std::wstring path = g_app.images[static_cast<size_t>(position)];
    return PathFileExistsW(path.c_str()) && ApplyWallpaper(path);
}

} // namespace

void BuildShuffleOrder()
{
    auto& order = g_app.shuffleOrder;
    const size_t count = g_app.images.size();
    order.resize(count);
    std::iota(order.begin(), order.end(), 0u);

    for (size_t i = 1; i < count; ++i) {
        const size_t j = DrawUpTo(g_app.rng, static_cast<uint32_t>(i));
        if (j != i) {
            std::swap(order[i], order[j]);
        }
    }

    // A new cycle never opens with the picture that closed the last one.
    if (count >= 2 && g_app.index >= 0 && order[0] == static_cast<uint32_t>(g_app.index)) {
        std::swap(order[0], order[count / 2]);
    }
    g_app.shufflePos = 0;
}

void SwapWallpaper()
{
    if (g_app.folder.empty()) {
        ShowBalloon(L"Pick a wallpaper folder first (right-click the icon).");
        return;
    }
    if (g_app.images.empty()) {
        ScanFolder();
        if (g_app.images.empty()) {
            ShowBalloon(L"No images found in the selected folder.");
            return;
        }
    }

    const auto count = static_cast<int32_t>(g_app.images.size());
    int32_t candidate = g_app.index;
    for (int32_t tries = 0; tries < count; ++tries) {
        if (g_app.images.size() != static_cast<size_t>(count)) {
            return; // a nested swap rescanned the folder and has had its say
        }
        candidate = NextCandidate(candidate, count);
        if (TrySet(candidate)) {
            g_app.index = candidate;
            SaveSettings();
            return;
        }
        // Kept in memory only: the next swap starts after it, and a new
        // shuffle cycle avoids it.
        g_app.index = candidate;
    }

    // The list may be stale: look at the folder again and try its first picture.
    ScanFolder();
    if (!g_app.images.empty() && TrySet(0)) {
        g_app.index = 0;
        SaveSettings();
        return;
    }
    ShowBalloon(L"Could not set any wallpaper from this folder.");
}

void StartFolder(const std::wstring& folder)
{
    g_app.folder = folder;
    g_app.index = -1;
    ScanFolder();
    UpdateTrayTip();
    SaveSettings();
    if (g_app.images.empty()) {
        ShowBalloon(L"That folder has no images.");
    } else {
        SwapWallpaper();
    }
}

void SetRotationMode(RotationMode mode)
{
    g_app.mode = mode;
    g_app.shuffleOrder.clear(); // the next Random swap starts a fresh cycle
    SaveSettings();
}

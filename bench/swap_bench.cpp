// One swap's own cost against the settings save it ends with: the real
// SwapWallpaper and SaveSettings, with setting the wallpaper replaced by a
// double, so what is left is the existence test, the choice and the save.
#include "app/app_state.h"
#include "bench_support.h"
#include "settings/settings.h"
#include "tray/tray.h"
#include "wallpaper/apply.h"
#include "wallpaper/rotation.h"
#include "wallpaper/scan.h"

#include <cstdio>

namespace {

constexpr double kMaxRatio = 1.1;
constexpr int kPictures = 20;
constexpr int kRounds = 25;
constexpr int kCallsPerRound = 40;

int g_applied = 0;
int g_balloons = 0;

template <typename F> double SecondsPerCall(F&& work)
{
    const double start = Seconds();
    for (int i = 0; i < kCallsPerRound; ++i) {
        work();
    }
    return (Seconds() - start) / kCallsPerRound;
}

} // namespace

// Link-time doubles of the units a swap calls besides the settings.
bool ApplyWallpaper(const std::wstring&)
{
    ++g_applied;
    return true;
}

void ShowBalloon(const wchar_t*)
{
    ++g_balloons;
}

void UpdateTrayTip()
{
}

int wmain()
{
    PictureFolder pictures(kPictures);
    g_app.folder = pictures.path();
    ScanFolder();
    SaveSettings(); // the file exists from here on, as it does after the first swap

    std::vector<double> swap;
    std::vector<double> save;
    for (int round = 0; round < kRounds; ++round) { // alternated, so a slow spell falls on both
        swap.push_back(SecondsPerCall(SwapWallpaper));
        // The save of a new position, as a swap's is: the profile functions
        // skip writing a value that has not changed.
        save.push_back(SecondsPerCall([] {
            g_app.index = (g_app.index + 1) % kPictures;
            SaveSettings();
        }));
    }

    // The swaps must have been real ones: every call set a picture, in order,
    // and saved where it is (each save alone moved on by one picture too).
    const int swaps = kRounds * kCallsPerRound;
    const int expectedIndex = (2 * swaps - 1) % kPictures;
    std::string problem;
    const bool saved = SettingsComplete(pictures.path(), &problem) &&
                       GetPrivateProfileIntW(L"Backdrift", L"Index", -1, SettingsPath().c_str()) == expectedIndex;
    if (g_applied != swaps || g_balloons != 0 || g_app.index != expectedIndex || !saved) {
        PrintRow("Swap: one swap (wallpaper call doubled)",
                 Format("swaps went wrong: %d applied of %d, %d balloons, index %d of %d %s", g_applied, swaps,
                        g_balloons, g_app.index, expectedIndex, problem.c_str()),
                 Format("<= %.2f x SaveSettings", kMaxRatio), Verdict::Missed);
        return 0;
    }
    const double ratio = Median(swap) / Median(save);
    std::printf("%d swaps: SwapWallpaper %.3f ms, SaveSettings alone %.3f ms\n", swaps, Median(swap) * 1e3,
                Median(save) * 1e3);
    PrintRow("Swap: one swap (wallpaper call doubled)", Format("%.2f x SaveSettings", ratio),
             Format("<= %.2f x", kMaxRatio), MetIf(ratio <= kMaxRatio));
    return 0;
}

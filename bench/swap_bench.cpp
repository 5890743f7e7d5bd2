// One swap's own cost against the settings save it ends with: the real
// SwapWallpaper and SaveSettings, with setting the wallpaper replaced by a
// double, so what is left is the existence test, the choice and the save.
//   swap_bench <folder with 20 pictures>
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

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: swap_bench <folder with %d pictures>\n", kPictures);
        return 2;
    }
    g_app.folder = argv[1];
    ScanFolder();
    SaveSettings(); // the file exists from here on, as it does after the first swap

    // The save of a new position, as a swap's is: the profile functions skip
    // writing a value that has not changed.
    const auto saveNext = [] {
        g_app.index = (g_app.index + 1) % kPictures;
        SaveSettings();
    };
    std::vector<double> swap, save;
    for (int round = 0; round < kRounds; ++round) { // alternated, so a slow spell falls on both
        swap.push_back(SecondsPerCall(SwapWallpaper, kCallsPerRound));
        save.push_back(SecondsPerCall(saveNext, kCallsPerRound));
    }

    // The swaps must have been real ones: every call set a picture, in order,
    // and saved where it is (each save alone moved on by one picture too).
    const int swaps = kRounds * kCallsPerRound;
    const int expectedIndex = (2 * swaps - 1) % kPictures;
    std::string problem;
    const bool saved = SettingsComplete(g_app.folder, &problem) &&
                       GetPrivateProfileIntW(kSettingsSection, key::Index, -1, SettingsPath().c_str()) == expectedIndex;
    const char* figure = "Swap: one swap (wallpaper call doubled)";
    const std::string target = Format("<= %.2f x", kMaxRatio);
    if (g_applied != swaps || g_balloons != 0 || g_app.index != expectedIndex || !saved) {
        PrintRow(figure,
                 Format("swaps went wrong: %d applied of %d, %d balloons, index %d of %d %s", g_applied, swaps,
                        g_balloons, g_app.index, expectedIndex, problem.c_str()),
                 target, Verdict::Missed);
        return 0;
    }
    const double ratio = Median(swap) / Median(save);
    std::printf("%d swaps: SwapWallpaper %.3f ms, SaveSettings alone %.3f ms\n", swaps, Median(swap) * 1e3,
                Median(save) * 1e3);
    PrintRow(figure, Format("%.2f x SaveSettings", ratio), target, MetIf(ratio <= kMaxRatio));
    return 0;
}

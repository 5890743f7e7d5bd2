// The real Backdrift.exe under long runs of tray clicks, sent from here as
// the shell sends them:
// - soak: many swaps in one run must not make it grow;
// - kill run: ended at a random moment of a burst of clicks, it must always
//   leave a complete settings file behind.
//   click_bench <folder with 0.jpg to 4.jpg> <swaps> <kills>
#include "bench_support.h"

#include <objbase.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <random>

namespace {

constexpr int kPictures = 5;
constexpr int kWindow = 1000; // swaps compared at the start and at the end of the soak
constexpr int kSampleEvery = 100;
constexpr long kMaxGrowthHandles = 8;
constexpr long long kMaxGrowthBeyondFloor = 16 * 1024;
constexpr int kBurst = 20;
constexpr int kShownProblems = 3;

struct Growth {
    long long bytes = 0;
    long handles = 0;
    double firstPerSwap = 0; // mean seconds a swap took in the first thousand
};

Growth Between(const Usage& from, const Usage& to, double firstPerSwap = 0)
{
    return {static_cast<long long>(to.privateBytes) - static_cast<long long>(from.privateBytes),
            static_cast<long>(to.handles) - static_cast<long>(from.handles), firstPerSwap};
}

// Clicks the program's tray icon `swaps` times: how its highest private bytes
// and handles grew from the first thousand swaps to the last, or a missed row.
std::optional<Growth> Clicks(const wchar_t* exe, const wchar_t* windowClass, int swaps, const std::wstring& folder,
                             const std::string& figure, const std::string& target)
{
    WriteSettingsFile(folder, -1);
    Program program(BuiltProgram(exe), windowClass);
    if (program.WaitUntilReady() < 0) {
        PrintRow(figure, Format("%s did not start", Narrow(exe).c_str()), target, Verdict::Missed);
        return std::nullopt;
    }
    Usage usage, first, last;
    double firstPerSwap = 0;
    double start = Seconds();
    for (int swap = 1; swap <= swaps; ++swap) {
        if (!Click(program.window())) {
            PrintRow(figure, Format("click %d was not handled", swap), target, Verdict::Missed);
            return std::nullopt;
        }
        if (swap == kWindow) {
            firstPerSwap = (Seconds() - start) / kWindow;
        }
        if (swap == swaps - kWindow) {
            start = Seconds();
        }
        const bool inFirst = swap <= kWindow;
        if (swap % kSampleEvery == 0 && (inFirst || swap > swaps - kWindow)) {
            usage = ReadUsage(program.process(), program.pid());
            Usage& peak = inFirst ? first : last;
            peak.privateBytes = std::max(peak.privateBytes, usage.privateBytes);
            peak.handles = std::max(peak.handles, usage.handles);
        }
    }
    const double lastPerSwap = (Seconds() - start) / kWindow;

    // Every click must have been a swap: the sequence ends on picture (swaps - 1) mod count.
    const int expected = (swaps - 1) % kPictures;
    const int index = GetPrivateProfileIntW(kSettingsSection, key::Index, -1, SettingsPath().c_str());
    const bool closed = program.Close();
    if (index != expected || !closed || !first.privateBytes || !first.handles) {
        PrintRow(figure,
                 Format("index %d, expected %d; %s; private bytes %zu, handles %lu", index, expected,
                        closed ? "ended" : "did not end on WM_CLOSE", first.privateBytes, first.handles),
                 target, Verdict::Missed);
        return std::nullopt;
    }
    std::printf("soak, %s: %.2f ms a swap in the first %d swaps, %.2f ms in the last; highest in them: %zu -> %zu KB "
                "(%s), %lu -> %lu handles (%s)\n",
                Narrow(exe).c_str(), firstPerSwap * 1e3, kWindow, lastPerSwap * 1e3, first.privateBytes / 1024,
                last.privateBytes / 1024, usage.privateSource, first.handles, last.handles, usage.handleSource);
    return Between(first, last, firstPerSwap);
}

// Returns a fresh program's pace, as in the kill run: seconds a swap took in the first thousand.
std::optional<double> Soak(int swaps, const std::wstring& folder)
{
    const std::string figure = Format("Soak: %d swaps", swaps);
    // Memory is judged against the floor below: under Wine the platform's own
    // calls grow about as much as Backdrift does. Handles are judged here.
    const std::string target = Format("growth <= %ld handles", kMaxGrowthHandles);
    const auto own = Clicks(L"Backdrift.exe", kWindowClass, swaps, folder, figure, target);
    if (!own) {
        return std::nullopt;
    }

    // Where the shell's desktop-wallpaper object is missing (always under Wine),
    // each swap's failed look for it leaks in the platform's COM itself: as many
    // looks as lie between the samples, made here, tell that share.
    const Usage before = ReadUsage(GetCurrentProcess(), GetCurrentProcessId());
    for (int look = 0; look < swaps - kWindow; ++look) {
        IUnknown* object = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_DesktopWallpaper, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&object)))) {
            object->Release();
        }
    }
    const Growth platform = Between(before, ReadUsage(GetCurrentProcess(), GetCurrentProcessId()));
    std::printf("soak: %d failed looks for the desktop-wallpaper object in this process: %+lld KB, %+ld handles\n",
                swaps - kWindow, platform.bytes / 1024, platform.handles);
    const long ownHandles = own->handles - std::max(0L, platform.handles);
    PrintRow(figure,
             Format("%+lld KB, %+ld handles beyond the platform's (raw %+lld KB, %+ld handles)",
                    (own->bytes - std::max(0LL, platform.bytes)) / 1024, ownHandles, own->bytes / 1024, own->handles),
             target, MetIf(ownHandles <= kMaxGrowthHandles));

    // What grows in the floor under the same clicks is the platform's.
    const std::string floorFigure = Format("Soak: %d swaps beyond the floor's", swaps);
    const std::string floorTarget = Format("<= %lld KB", kMaxGrowthBeyondFloor / 1024);
    if (const auto floor = Clicks(kFloor, kFloorClass, swaps, folder, floorFigure, floorTarget)) {
        const long long beyond = own->bytes - floor->bytes;
        PrintRow(floorFigure,
                 Format("%+lld KB, %+ld handles (Backdrift %+lld KB, %+ld; floor %+lld KB, %+ld)", beyond / 1024,
                        own->handles - floor->handles, own->bytes / 1024, own->handles, floor->bytes / 1024,
                        floor->handles),
                 floorTarget, MetIf(beyond <= kMaxGrowthBeyondFloor));
    }
    return own->firstPerSwap;
}

void KillRun(int kills, const std::wstring& folder, std::optional<double> perSwap)
{
    const std::string figure = Format("Kill run: %d kills mid-burst", kills);
    if (!perSwap) {
        PrintRow(figure, "not run: clicks did not work in the soak", "0 incomplete", Verdict::Missed);
        return;
    }
    const unsigned seed = std::random_device()();
    std::mt19937 rng(seed);
    // Anywhere from the first click to a little past the end of the burst.
    std::uniform_int_distribution<DWORD> moment(0, static_cast<DWORD>(*perSwap * kBurst * 1.2e3) + 1);

    // The check must see what a kill can leave: a file cut short anywhere.
    std::string problem;
    WriteSettingsFile(folder, -1);
    const bool completeSeen = SettingsComplete(folder, &problem);
    WriteSettingsFile(folder, -1, 40);
    if (!completeSeen || SettingsComplete(folder, &problem)) {
        PrintRow(figure, "the settings check does not tell a complete file from a cut one", "0 incomplete",
                 Verdict::Missed);
        return;
    }

    WriteSettingsFile(folder, -1);
    int incomplete = 0;
    int failedStarts = 0;
    for (int kill = 0; kill < kills; ++kill) {
        Program program;
        if (program.WaitUntilReady() < 0) {
            ++failedStarts;
            continue;
        }
        for (int click = 0; click < kBurst; ++click) {
            PostMessageW(program.window(), WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONUP);
        }
        Sleep(moment(rng));
        program.Kill();

        if (!SettingsComplete(folder, &problem)) {
            if (++incomplete <= kShownProblems) {
                std::printf("kill %d: settings incomplete: %s\n", kill + 1, problem.c_str());
            }
            WriteSettingsFile(folder, -1); // each kill starts from a complete file
        }
    }
    std::printf("kill run: %d kills within %lu ms of a %d-click burst (seed %u)\n", kills,
                static_cast<unsigned long>(moment.max()), kBurst, seed);
    PrintRow(figure,
             Format("%d incomplete settings files%s", incomplete,
                    failedStarts ? Format(", %d starts failed", failedStarts).c_str() : ""),
             "0 incomplete", MetIf(incomplete == 0 && failedStarts == 0));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int swaps = argc == 4 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 0;
    const int kills = argc == 4 ? static_cast<int>(std::wcstol(argv[3], nullptr, 10)) : 0;
    if (swaps < 2 * kWindow || kills < 1) {
        std::fprintf(stderr, "usage: click_bench <folder with 0.jpg to 4.jpg> <swaps, at least %d> <kills>\n",
                     2 * kWindow);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE); // as the program's thread is
    KillRun(kills, argv[1], Soak(swaps, argv[1]));
    return 0;
}

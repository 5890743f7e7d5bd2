// The real Backdrift.exe under long runs of tray clicks, sent from here as
// the shell sends them:
// - soak: many swaps in one run must not make it grow;
// - kill run: ended at a random moment of a burst of clicks, it must always
//   leave a complete settings file behind.
//   click_bench [swaps] [kills]
#include "bench_support.h"

#include <objbase.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <random>

namespace {

constexpr int kPictures = 5;

constexpr int kWindow = 1000; // swaps compared at the start and at the end of the soak
constexpr int kSampleEvery = 100;
constexpr long kMaxGrowthHandles = 8;
constexpr size_t kMaxGrowthBeyondFloor = 16 * 1024;

constexpr int kBurst = 20;
constexpr int kShownProblems = 3;

struct Peak {
    size_t privateBytes = 0;
    unsigned long handles = 0;
    void Add(const Usage& usage)
    {
        privateBytes = std::max(privateBytes, usage.privateBytes);
        handles = std::max(handles, usage.handles);
    }
};

struct Growth {
    double firstPerSwap = -1; // mean seconds a swap took in the first thousand; negative if the soak failed
    long long bytes = 0;      // from the first thousand swaps to the last
    long handles = 0;
};

// Clicks the program's tray icon `swaps` times and tells how its private
// bytes and handles grew from the first thousand swaps to the last.
Growth Clicks(const wchar_t* exe, const wchar_t* windowClass, int swaps, const PictureFolder& pictures,
              const std::string& figure, const std::string& target)
{
    Growth growth;
    WriteSettingsFile(pictures.path(), -1);
    Program program(BuiltProgram(exe), windowClass);
    if (program.WaitUntilReady() < 0) {
        PrintRow(figure, Format("%s did not start", Narrow(exe).c_str()), target, Verdict::Missed);
        return growth;
    }
    Peak first, last;
    Usage usage;
    const double start = Seconds();
    double firstPerSwap = 0;
    double lastStart = 0;
    for (int swap = 1; swap <= swaps; ++swap) {
        if (!Deliver(program.window(), WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONUP)) {
            PrintRow(figure, Format("click %d was not handled", swap), target, Verdict::Missed);
            return growth;
        }
        if (swap == kWindow) {
            firstPerSwap = (Seconds() - start) / kWindow;
        }
        if (swap == swaps - kWindow) {
            lastStart = Seconds();
        }
        const bool inFirst = swap <= kWindow;
        const bool inLast = swap > swaps - kWindow;
        if (swap % kSampleEvery == 0 && (inFirst || inLast)) {
            usage = ReadUsage(program.process(), program.pid());
            (inFirst ? first : last).Add(usage);
        }
    }
    const double lastPerSwap = (Seconds() - lastStart) / kWindow;

    // Every click must have been a swap: the sequence ends on picture (swaps - 1) mod count.
    const int expected = (swaps - 1) % kPictures;
    const int index = GetPrivateProfileIntW(L"Backdrift", L"Index", -1, SettingsPath().c_str());
    const bool closed = program.Close();
    if (index != expected || !closed || !first.privateBytes || !first.handles) {
        PrintRow(figure,
                 Format("index %d, expected %d; %s; private bytes %zu, handles %lu", index, expected,
                        closed ? "ended" : "did not end on WM_CLOSE", first.privateBytes, first.handles),
                 target, Verdict::Missed);
        return growth;
    }
    growth.firstPerSwap = firstPerSwap;
    growth.bytes = static_cast<long long>(last.privateBytes) - static_cast<long long>(first.privateBytes);
    growth.handles = static_cast<long>(last.handles) - static_cast<long>(first.handles);
    std::printf("soak, %s: %.2f ms a swap in the first %d swaps, %.2f ms in the last; highest in them: %zu -> %zu KB "
                "(%s), %lu -> %lu handles (%s)\n",
                Narrow(exe).c_str(), firstPerSwap * 1e3, kWindow, lastPerSwap * 1e3, first.privateBytes / 1024,
                last.privateBytes / 1024, usage.privateSource, first.handles, last.handles, usage.handleSource);
    return growth;
}

// Returns the mean seconds a swap took in the first thousand (a fresh
// program's pace, as in the kill run), or a negative value if the soak could not run.
double Soak(int swaps, const PictureFolder& pictures)
{
    const std::string figure = Format("Soak: %d swaps", swaps);
    // Memory is judged against the floor below: under Wine the platform's own
    // calls grow about as much as Backdrift does. Handles are judged here.
    const std::string target = Format("growth <= %ld handles", kMaxGrowthHandles);
    const Growth own = Clicks(L"Backdrift.exe", kWindowClass, swaps, pictures, figure, target);
    if (own.firstPerSwap < 0) {
        return -1;
    }
    const long long bytes = own.bytes;
    const long handles = own.handles;

    // Every swap first looks for the shell's desktop-wallpaper object. Where
    // it is missing (always under Wine), each failed look leaks in the
    // platform's COM itself; that share, measured here on as many looks as
    // lie between the samples, is not the program's.
    const Usage before = ReadUsage(GetCurrentProcess(), GetCurrentProcessId());
    for (int look = 0; look < swaps - kWindow; ++look) {
        IUnknown* object = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_DesktopWallpaper, nullptr, CLSCTX_ALL, IID_IUnknown,
                                       reinterpret_cast<void**>(&object)))) {
            object->Release();
        }
    }
    const Usage after = ReadUsage(GetCurrentProcess(), GetCurrentProcessId());
    const long long platformBytes =
        static_cast<long long>(after.privateBytes) - static_cast<long long>(before.privateBytes);
    const long platformHandles = static_cast<long>(after.handles) - static_cast<long>(before.handles);
    std::printf("soak: %d failed looks for the desktop-wallpaper object in this process: %+lld KB, %+ld handles\n",
                swaps - kWindow, platformBytes / 1024, platformHandles);
    const long long ownBytes = bytes - std::max(0LL, platformBytes);
    const long ownHandles = handles - std::max(0L, platformHandles);
    PrintRow(figure,
             Format("%+lld KB, %+ld handles beyond the platform's (raw %+lld KB, %+ld handles)", ownBytes / 1024,
                    ownHandles, bytes / 1024, handles),
             target, MetIf(ownHandles <= kMaxGrowthHandles));

    // The same clicks on the floor program, which makes a swap's platform
    // calls and nothing else: what grows there is the platform's.
    const std::string floorFigure = Format("Soak: %d swaps beyond the floor's", swaps);
    const std::string floorTarget = Format("<= %zu KB", kMaxGrowthBeyondFloor / 1024);
    const Growth floor = Clicks(L"floor.exe", L"BackdriftFloor", swaps, pictures, floorFigure, floorTarget);
    if (floor.firstPerSwap >= 0) {
        const long long beyond = own.bytes - floor.bytes;
        PrintRow(floorFigure,
                 Format("%+lld KB, %+ld handles (Backdrift %+lld KB, %+ld; floor %+lld KB, %+ld)", beyond / 1024,
                        own.handles - floor.handles, own.bytes / 1024, own.handles, floor.bytes / 1024, floor.handles),
                 floorTarget, MetIf(beyond <= static_cast<long long>(kMaxGrowthBeyondFloor)));
    }
    return own.firstPerSwap;
}

void KillRun(int kills, const PictureFolder& pictures, double perSwap)
{
    const std::string figure = Format("Kill run: %d kills mid-burst", kills);
    std::random_device entropy;
    const unsigned seed = entropy();
    std::mt19937 rng(seed);
    // Anywhere from the first click to a little past the end of the burst.
    std::uniform_int_distribution<DWORD> moment(0, static_cast<DWORD>(perSwap * kBurst * 1.2e3) + 1);

    // The check must see what a kill can leave: a file cut short anywhere.
    std::string problem;
    WriteSettingsFile(pictures.path(), -1);
    const bool completeSeen = SettingsComplete(pictures.path(), &problem);
    WriteSettingsFile(pictures.path(), -1, 40);
    if (!completeSeen || SettingsComplete(pictures.path(), &problem)) {
        PrintRow(figure, "the settings check does not tell a complete file from a cut one", "0 incomplete",
                 Verdict::Missed);
        return;
    }

    WriteSettingsFile(pictures.path(), -1);
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

        if (!SettingsComplete(pictures.path(), &problem)) {
            if (++incomplete <= kShownProblems) {
                std::printf("kill %d: settings incomplete: %s\n", kill + 1, problem.c_str());
            }
            WriteSettingsFile(pictures.path(), -1); // each kill starts from a complete file
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
    const int swaps = argc > 1 ? static_cast<int>(std::wcstol(argv[1], nullptr, 10)) : 10000;
    const int kills = argc > 2 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 300;
    if (swaps < 2 * kWindow || kills < 1) {
        std::fprintf(stderr, "usage: click_bench [swaps, at least %d] [kills]\n", 2 * kWindow);
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE); // as the program's thread is
    // Holding the desktop keeps Wine's desktop and notification area up
    // between the programs started here, as the shell is on Windows.
    GetDesktopWindow();
    PictureFolder pictures(kPictures);
    const double perSwap = Soak(swaps, pictures);
    if (perSwap < 0) {
        PrintRow(Format("Kill run: %d kills mid-burst", kills), "not run: clicks did not work in the soak",
                 "0 incomplete", Verdict::Missed);
        return 0;
    }
    KillRun(kills, pictures, perSwap);
    return 0;
}

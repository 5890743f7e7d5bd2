// Folder scan against a bare enumeration of the same folder: what the
// extension filter, the path forming and the sort add to reading the directory.
//   scan_bench <folder> <pictures in it> [<folder> <pictures> ...]
#include "app/app_state.h"
#include "bench_support.h"
#include "wallpaper/scan.h"

#include <cstdio>
#include <cwchar>

namespace {

constexpr double kMaxRatio = 1.25;
constexpr int kMinRuns = 7;
constexpr int kMaxRuns = 31;
constexpr double kSecondsPerSize = 4; // more runs for small folders while they fit in this

size_t BareEnumeration(const std::wstring& folder)
{
    size_t entries = 0;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            ++entries;
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    return entries;
}

void Measure(const std::wstring& folder, size_t pictures)
{
    const std::string figure = Format("Scan: %zu pictures", pictures);
    g_app.folder = folder;
    // Once each before timing, so both find the directory in the same caches.
    const size_t entries = BareEnumeration(folder);
    ScanFolder();
    if (g_app.images.size() != pictures) {
        PrintRow(figure, Format("found %zu of %zu pictures", g_app.images.size(), pictures), "all found",
                 Verdict::Missed);
        return;
    }

    // Alternated, so that a slow spell of the machine falls on both.
    std::vector<double> bare, scan;
    const double start = Seconds();
    for (int run = 0; run < kMaxRuns && (run < kMinRuns || Seconds() - start < kSecondsPerSize); ++run) {
        bare.push_back(SecondsPerCall([&] { BareEnumeration(folder); }));
        scan.push_back(SecondsPerCall(ScanFolder));
    }
    const double ratio = Median(scan) / Median(bare);
    std::printf("%zu entries, %zu runs: bare enumeration %.2f ms, ScanFolder %.2f ms\n", entries, bare.size(),
                Median(bare) * 1e3, Median(scan) * 1e3);
    PrintRow(figure, Format("%.2f x bare enumeration", ratio), Format("<= %.2f x", kMaxRatio),
             MetIf(ratio <= kMaxRatio));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: scan_bench <folder> <pictures in it> [<folder> <pictures> ...]\n");
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        Measure(argv[i], std::wcstoul(argv[i + 1], nullptr, 10));
    }
    return 0;
}

// Folder scan against a bare enumeration of the same folder: what the
// extension filter, the path forming and the sort add to reading the directory.
#include "app/app_state.h"
#include "wallpaper/scan.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

double Seconds()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

size_t BareEnumeration(const std::wstring& folder)
{
    size_t entries = 0;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return 0;
    }
    do {
        ++entries;
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return entries;
}

template <typename F> double Median(int runs, F&& work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = Seconds();
        work();
        times.push_back(Seconds() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"backdrift-scan-bench";
    CreateDirectoryW(folder.c_str(), nullptr);

    const wchar_t* extensions[] = {L".jpg", L".PNG", L".jpeg", L".txt", L".webp", L".ini"};
    constexpr int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i) {
        const std::wstring name = folder + L"\\Photo " + std::to_wstring((i * 7919) % kFiles) + extensions[i % 6];
        HANDLE file =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        CloseHandle(file);
    }

    g_app.folder = folder;
    constexpr int kRuns = 21;
    const double bare = Median(kRuns, [&] { BareEnumeration(folder); });
    const double scan = Median(kRuns, [] { ScanFolder(); });
    std::printf("folder of %d files, %zu pictures\n", kFiles, g_app.images.size());
    std::printf("bare enumeration  %8.3f ms\n", bare * 1e3);
    std::printf("ScanFolder        %8.3f ms\n", scan * 1e3);
    std::printf("ratio scan/bare   %8.2f\n", scan / bare);

    for (int i = 0; i < kFiles; ++i) {
        const std::wstring name = folder + L"\\Photo " + std::to_wstring((i * 7919) % kFiles) + extensions[i % 6];
        DeleteFileW(name.c_str());
    }
    RemoveDirectoryW(folder.c_str());
    return 0;
}

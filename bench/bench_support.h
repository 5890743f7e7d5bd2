#pragma once
// What the benchmark programs share besides the program driver: the rows of
// the results table, timing and the floor program.
#include "driver/driver.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

// The platform calls of Backdrift's start-up and swap and nothing else (floor.cpp).
constexpr wchar_t kFloor[] = L"floor.exe";
constexpr wchar_t kFloorClass[] = L"BackdriftFloor";

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

inline std::string Format(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    return text;
}

template <typename F> double SecondsPerCall(F&& work, int calls = 1)
{
    const double start = Seconds();
    for (int i = 0; i < calls; ++i) {
        work();
    }
    return (Seconds() - start) / calls;
}

// A left-click on the tray icon, as the shell sends it; false if not handled in time.
inline bool Click(HWND hwnd)
{
    return Deliver(hwnd, WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONUP);
}

// One row of the table that tools/bench.sh prints: it gathers every line of a
// benchmark's output that starts with "row" and a tab.
enum class Verdict { Met, Missed, Reported };
inline void PrintRow(const std::string& figure, const std::string& measured, const std::string& target, Verdict verdict)
{
    const char* said = verdict == Verdict::Met ? "yes" : verdict == Verdict::Missed ? "NO" : "-";
    std::printf("row\t%s\t%s\t%s\t%s\n", figure.c_str(), measured.c_str(), target.c_str(), said);
    std::fflush(stdout);
}
inline Verdict MetIf(bool met)
{
    return met ? Verdict::Met : Verdict::Missed;
}

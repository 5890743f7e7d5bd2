#pragma once
// Another process's resources, as the system reports them.
#include <windows.h>

#include <cstddef>

// Handles a process holds, counted in the system's handle table; -1 if the table cannot be read. Unlike
// GetProcessHandleCount, this also works under Wine, which reports no handle count for another process.
long CountHandlesInSystemTable(DWORD pid);

// What the system reports about another process. Where the system leaves a figure empty for other processes (Wine
// does so for PrivateUsage and the handle count), the same figure is taken from the source it does fill; `*Source`
// names the one used.
struct Usage {
    double cpuProcessTimes = 0; // GetProcessTimes, user + kernel
    double cpuThreadTimes = 0;  // GetThreadTimes summed over its threads
    size_t privateBytes = 0;
    const char* privateSource = "";
    unsigned long handles = 0;
    const char* handleSource = "";
    int threads = 0;
};
Usage ReadUsage(HANDLE process, DWORD pid);

double Seconds();                             // a monotonic clock
double FileTimeSeconds(const FILETIME& time); // a span of CPU time, as the system's times give it

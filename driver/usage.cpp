#include "driver/usage.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <chrono>
#include <cstring>
#include <vector>

// The Windows SDK's winternl.h names neither of these; mingw-w64's does.
#ifndef NT_SUCCESS
#define NT_SUCCESS(status) (static_cast<NTSTATUS>(status) >= 0)
#endif

namespace {

constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);

} // namespace

double FileTimeSeconds(const FILETIME& time)
{
    constexpr double kTicksPerSecond = 1e7; // FILETIME counts 100 ns
    return static_cast<double>((ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime) / kTicksPerSecond;
}

long CountHandlesInSystemTable(DWORD pid)
{
    std::vector<BYTE> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt, buffer.resize(buffer.size() * 2)) {
        ULONG needed = 0;
        if (!NT_SUCCESS(NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                                 static_cast<ULONG>(buffer.size()), &needed))) {
            continue; // the table grew past the buffer
        }
        // The documented layout of this information class; process ids in it are 16 bits wide.
        struct Entry {
            USHORT processId;
            USHORT creatorBackTraceIndex;
            UCHAR objectType;
            UCHAR attributes;
            USHORT handle;
            PVOID object;
            ULONG grantedAccess;
        };
        ULONG count = 0;
        memcpy(&count, buffer.data(), sizeof(count));
        const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
        long handles = 0;
        for (ULONG i = 0; i < count; ++i) {
            handles += entries[i].processId == static_cast<USHORT>(pid);
        }
        return handles;
    }
    return -1;
}

Usage ReadUsage(HANDLE process, DWORD pid)
{
    Usage usage;
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        usage.cpuProcessTimes = FileTimeSeconds(kernel) + FileTimeSeconds(user);
    }

    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != pid) {
            continue;
        }
        ++usage.threads;
        if (HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID)) {
            if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
                usage.cpuThreadTimes += FileTimeSeconds(kernel) + FileTimeSeconds(user);
            }
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);

    // PagefileUsage is the same commit charge as PrivateUsage on Windows; Wine fills only the former (with the
    // process's anonymous resident memory).
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
        usage.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        usage.privateSource = memory.PrivateUsage ? "PrivateUsage" : "PagefileUsage";
    }

    DWORD handles = 0;
    if (GetProcessHandleCount(process, &handles) && handles > 0) {
        usage.handles = handles;
        usage.handleSource = "GetProcessHandleCount";
    } else if (const long counted = CountHandlesInSystemTable(pid); counted > 0) {
        usage.handles = static_cast<unsigned long>(counted);
        usage.handleSource = "system handle table";
    }
    return usage;
}

double Seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

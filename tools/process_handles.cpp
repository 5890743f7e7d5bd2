// Read by the end-to-end tests and the benchmarks, which watch the real
// program from outside.
#include "tools/process_handles.h"

#include <winternl.h>

#include <cstring>
#include <vector>

// The Windows SDK's winternl.h names neither of these; mingw-w64's does.
#ifndef NT_SUCCESS
#define NT_SUCCESS(status) (static_cast<NTSTATUS>(status) >= 0)
#endif
constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);

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

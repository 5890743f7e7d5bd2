#pragma once

#include <windows.h>

// Handles a process holds, counted in the system's handle table; -1 if the
// table cannot be read. Unlike GetProcessHandleCount, this also works under
// Wine, which reports no handle count for another process.
long CountHandlesInSystemTable(DWORD pid);

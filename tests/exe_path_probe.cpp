// Writes what GetExePath reports for this program, as UTF-16, to the file
// named on the command line.
#include "settings/settings.h"

#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        return 2;
    }
    const std::wstring path = GetExePath();
    HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 3;
    }
    DWORD written = 0;
    WriteFile(file, path.data(), static_cast<DWORD>(path.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return 0;
}

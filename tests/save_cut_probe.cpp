// Saves new settings but ends the process after the number of key writes given on its command line, as a crash or a
// kill in the middle of a save would. Every call that the settings code makes to the profile write function goes
// through the import pointer defined here.
#include "new_settings.h"
#include "settings/settings.h"

#include <windows.h>

#include <cwchar>

namespace {

int g_writesLeft = 0;
const auto g_realWrite = reinterpret_cast<decltype(&WritePrivateProfileStringW)>(
    reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "WritePrivateProfileStringW")));

BOOL WINAPI WriteThenEnd(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR file)
{
    if (key && g_writesLeft-- == 0) {
        ExitProcess(ERROR_CANCELLED);
    }
    return g_realWrite(section, key, value, file);
}

} // namespace

extern "C" {
decltype(&WritePrivateProfileStringW) __imp_WritePrivateProfileStringW = WriteThenEnd;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        return ERROR_BAD_ARGUMENTS;
    }
    g_writesLeft = _wtoi(argv[1]);
    SetNewSettings();
    SaveSettings();
    return 0;
}

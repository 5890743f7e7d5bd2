#include "settings/autostart.h"

#include "settings/settings.h"

#include <windows.h>

#include <string>

void SetAutostart(bool enable)
{
    // Opened, never created: without a Run key there is nothing to take part in.
    HKEY run = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_SET_VALUE,
                      &run) != ERROR_SUCCESS) {
        return;
    }
    if (enable) {
        // Quoted even without spaces, so the path is never split at logon.
        const std::wstring command = L"\"" + GetExePath() + L"\"";
        RegSetValueExW(run, L"Backdrift", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(run, L"Backdrift");
    }
    RegCloseKey(run);
}

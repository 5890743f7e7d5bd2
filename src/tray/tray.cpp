#include "tray/tray.h"

#include "app/app_state.h"
#include "res/resource.h"

#include <shlwapi.h>

std::wstring FormatTrayTip(const std::wstring& folder, size_t count)
{
    std::wstring tip = kAppName;
    if (folder.empty()) {
        return tip + L" - no folder set";
    }
    wchar_t countText[32];
    wsprintfW(countText, L" (%d)", static_cast<int>(count));
    return tip + L" - " + PathFindFileNameW(folder.c_str()) + countText;
}

void AddTrayIcon()
{
    NOTIFYICONDATAW& nid = g_app.nid;
    if (nid.hIcon) {
        DestroyIcon(nid.hIcon);
    }
    nid = {};
    nid.cbSize = sizeof(nid);
    nid.hWnd = g_app.hwnd;
    nid.uID = TRAY_ICON_ID;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = WM_TRAYICON;
    // Loaded at the current small-icon size, so a re-add after a display
    // scale change picks the frame that is sharp at the new scale.
    nid.hIcon =
        static_cast<HICON>(LoadImageW(g_app.hInstance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    if (!nid.hIcon) {
        nid.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    }
    lstrcpynW(nid.szTip, kAppName, ARRAYSIZE(nid.szTip));

    // The taskbar also announces itself again when the display scale changes
    // while our icon is still there; the add then fails and only a modify
    // brings the new icon across.
    if (!Shell_NotifyIconW(NIM_ADD, &nid)) {
        Shell_NotifyIconW(NIM_MODIFY, &nid);
    }
    UpdateTrayTip();
}

void UpdateTrayTip()
{
    NOTIFYICONDATAW& nid = g_app.nid;
    lstrcpynW(nid.szTip, FormatTrayTip(g_app.folder, g_app.images.size()).c_str(), ARRAYSIZE(nid.szTip));
    nid.uFlags = NIF_TIP;
    Shell_NotifyIconW(NIM_MODIFY, &nid);
}

void ShowBalloon(const wchar_t* message)
{
    NOTIFYICONDATAW& nid = g_app.nid;
    nid.uFlags = NIF_INFO;
    lstrcpynW(nid.szInfoTitle, kAppName, ARRAYSIZE(nid.szInfoTitle));
    lstrcpynW(nid.szInfo, message, ARRAYSIZE(nid.szInfo));
    nid.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
    Shell_NotifyIconW(NIM_MODIFY, &nid);
    nid.uFlags = NIF_TIP;
}

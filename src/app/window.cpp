#include "app/window.h"

#include "app/app_state.h"
#include "app/commands.h"
#include "hotkey/hotkey.h"
#include "settings/settings.h"
#include "tray/menu.h"
#include "tray/tray.h"
#include "wallpaper/rotation.h"

namespace {

void OnDestroy()
{
    Shell_NotifyIconW(NIM_DELETE, &g_app.nid);
    if (g_app.nid.hIcon) {
        DestroyIcon(g_app.nid.hIcon);
        g_app.nid.hIcon = nullptr;
    }
    if (g_app.hotkeyRegistered) {
        UnregisterHotKey(g_app.hwnd, HOTKEY_ID_SWAP);
        g_app.hotkeyRegistered = false;
    }
    PostQuitMessage(0);
}

void OnTrayIcon(LPARAM lParam)
{
    switch (LOWORD(lParam)) {
    case WM_LBUTTONUP:
        SwapWallpaper();
        break;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        ShowContextMenu();
        break;
    default:
        break;
    }
}

} // namespace

LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Explorer (re)started, or the display scale changed: the icon must be shown anew.
    if (g_app.taskbarCreatedMsg != 0 && message == g_app.taskbarCreatedMsg) {
        AddTrayIcon();
        return 0;
    }

    switch (message) {
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_QUERYENDSESSION:
        SaveSettings();
        return TRUE; // never hold up log-off or shutdown
    case WM_ENDSESSION:
        SaveSettings();
        return 0;
    case WM_COMMAND:
        HandleCommand(LOWORD(wParam));
        return 0;
    case WM_HOTKEY:
        if (wParam == HOTKEY_ID_SWAP) {
            SwapWallpaper();
        }
        return 0;
    case WM_TRAYICON:
        OnTrayIcon(lParam);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

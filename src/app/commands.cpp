#include "app/commands.h"

#include "app/app_state.h"
#include "hotkey/hotkey.h"
#include "hotkey/hotkey_dialog.h"
#include "res/resource.h"
#include "settings/autostart.h"
#include "settings/settings.h"
#include "tray/picker.h"
#include "version.h"
#include "wallpaper/apply.h"
#include "wallpaper/rotation.h"

namespace {

// A second picker or dialog over the one the user already has open would
// only confuse: bring the open one forward instead.
bool BringOpenDialogForward()
{
    const HWND popup = GetLastActivePopup(g_app.hwnd);
    if (!popup || popup == g_app.hwnd) {
        return false;
    }
    SetForegroundWindow(popup);
    return true;
}

void PickFolderAndSwap()
{
    std::wstring chosen;
    if (PickFolder(chosen)) {
        StartFolder(chosen);
    }
}

void OpenFolder()
{
    // "open" on a file would run it or open it in its program: a hand-edited
    // Folder must never start anything but a folder window.
    if (g_app.folder.empty() || !IsDirectory(g_app.folder)) {
        return;
    }
    ShellExecuteW(nullptr, L"open", g_app.folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void SetFit(FitMode fit)
{
    g_app.fit = fit;
    SaveSettings();
    // Show the current picture with the new fit at once.
    if (g_app.index >= 0 && static_cast<size_t>(g_app.index) < g_app.images.size()) {
        const std::wstring current = g_app.images[static_cast<size_t>(g_app.index)];
        ApplyWallpaper(current);
    }
}

void ToggleAutostart()
{
    g_app.autostart = !g_app.autostart;
    SetAutostart(g_app.autostart);
    SaveSettings();
}

void ShowAbout()
{
    const std::wstring text =
        BACKDRIFT_TITLE L"\n\nLeft-click the tray icon to swap wallpaper.\nRight-click for options.\n"
                        L"Hotkey: " +
        FormatHotkeyLabel() + L"\n\nVelmaro";
    MessageBoxW(g_app.hwnd, text.c_str(), L"About Backdrift", MB_OK | MB_ICONINFORMATION);
}

} // namespace

static_assert(IDM_FIT_FIT - IDM_FIT_FILL == Fit && IDM_FIT_STRETCH - IDM_FIT_FILL == Stretch &&
                  IDM_FIT_TILE - IDM_FIT_FILL == Tile && IDM_FIT_CENTER - IDM_FIT_FILL == Center,
              "each fit command lies as far from Fill's as its FitMode from Fill");

void HandleCommand(unsigned command)
{
    switch (command) {
    case IDM_PICK_FOLDER:
    case IDM_SET_HOTKEY:
    case IDM_ABOUT:
        if (BringOpenDialogForward()) {
            return;
        }
        break;
    default:
        break;
    }

    switch (command) {
    case IDM_SWAP_NOW:
        SwapWallpaper();
        break;
    case IDM_PICK_FOLDER:
        PickFolderAndSwap();
        break;
    case IDM_OPEN_FOLDER:
        OpenFolder();
        break;
    case IDM_MODE_SEQUENTIAL:
        SetRotationMode(Sequential);
        break;
    case IDM_MODE_RANDOM:
        SetRotationMode(Random);
        break;
    case IDM_FIT_FILL:
    case IDM_FIT_FIT:
    case IDM_FIT_STRETCH:
    case IDM_FIT_TILE:
    case IDM_FIT_CENTER:
        SetFit(static_cast<FitMode>(command - IDM_FIT_FILL));
        break;
    case IDM_AUTOSTART:
        ToggleAutostart();
        break;
    case IDM_SET_HOTKEY:
        DialogBoxParamW(g_app.hInstance, MAKEINTRESOURCEW(IDD_HOTKEY), g_app.hwnd, HotkeyDialogProc, 0);
        break;
    case IDM_ABOUT:
        ShowAbout();
        break;
    case IDM_QUIT:
        DestroyWindow(g_app.hwnd);
        break;
    default:
        break;
    }
}

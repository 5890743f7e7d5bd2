#include "tray/menu.h"

#include "app/app_state.h"
#include "hotkey/hotkey.h"
#include "res/resource.h"

std::wstring HotkeyMenuText()
{
    std::wstring text = L"Set hotkey\u2026  (" + FormatHotkeyLabel() + L")";
    const bool configured = g_app.hotkeyMod != 0 && g_app.hotkeyVk != 0;
    if (configured && !g_app.hotkeyRegistered) {
        text += L"  \u2014 unavailable";
    }
    return text;
}

// The radio marks span each group's first to last identifier, and the fit's
// item is found by its distance from Fill's.
static_assert(IDM_MODE_RANDOM == IDM_MODE_SEQUENTIAL + 1, "the modes' identifiers follow each other");
static_assert(IDM_FIT_FIT == IDM_FIT_FILL + Fit && IDM_FIT_STRETCH == IDM_FIT_FILL + Stretch &&
                  IDM_FIT_TILE == IDM_FIT_FILL + Tile && IDM_FIT_CENTER == IDM_FIT_FILL + Center,
              "the fits' identifiers follow FitMode's order");

HMENU BuildContextMenu()
{
    HMENU menu = CreatePopupMenu();
    HMENU modes = CreatePopupMenu();
    HMENU fits = CreatePopupMenu();

    AppendMenuW(menu, MF_STRING, IDM_SWAP_NOW, L"Swap now");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_PICK_FOLDER, L"Pick folder\u2026");
    AppendMenuW(menu, MF_STRING | (g_app.folder.empty() ? MF_GRAYED : 0), IDM_OPEN_FOLDER, L"Open current folder");

    AppendMenuW(modes, MF_STRING, IDM_MODE_SEQUENTIAL, L"Sequential");
    AppendMenuW(modes, MF_STRING, IDM_MODE_RANDOM, L"Random");
    CheckMenuRadioItem(modes, IDM_MODE_SEQUENTIAL, IDM_MODE_RANDOM,
                       g_app.mode == Random ? IDM_MODE_RANDOM : IDM_MODE_SEQUENTIAL, MF_BYCOMMAND);
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(modes), L"Mode");

    AppendMenuW(fits, MF_STRING, IDM_FIT_FILL, L"Fill");
    AppendMenuW(fits, MF_STRING, IDM_FIT_FIT, L"Fit");
    AppendMenuW(fits, MF_STRING, IDM_FIT_STRETCH, L"Stretch");
    AppendMenuW(fits, MF_STRING, IDM_FIT_TILE, L"Tile");
    AppendMenuW(fits, MF_STRING, IDM_FIT_CENTER, L"Center");
    CheckMenuRadioItem(fits, IDM_FIT_FILL, IDM_FIT_CENTER, IDM_FIT_FILL + g_app.fit, MF_BYCOMMAND);
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(fits), L"Fit");

    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | (g_app.autostart ? MF_CHECKED : 0), IDM_AUTOSTART, L"Start with Windows");
    AppendMenuW(menu, MF_STRING, IDM_SET_HOTKEY, HotkeyMenuText().c_str());
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUT, L"About");
    AppendMenuW(menu, MF_STRING, IDM_QUIT, L"Quit");
    return menu;
}

void ShowContextMenu()
{
    HMENU menu = BuildContextMenu();
    POINT at = {};
    GetCursorPos(&at);
    // The window must be in the foreground while the menu is tracked, or the
    // menu does not close when the user clicks elsewhere; the posted null
    // message makes a second right-click open it again at once.
    SetForegroundWindow(g_app.hwnd);
    TrackPopupMenu(menu, TPM_BOTTOMALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, g_app.hwnd, nullptr);
    PostMessageW(g_app.hwnd, WM_NULL, 0, 0);
    DestroyMenu(menu); // and the submenus attached to it
}

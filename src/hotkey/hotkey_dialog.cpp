#include "hotkey/hotkey_dialog.h"

#include "app/app_state.h"
#include "hotkey/hotkey.h"
#include "res/resource.h"
#include "settings/settings.h"

#include <commctrl.h>

namespace {

constexpr wchar_t kCaption[] = L"Set hotkey";

void Warn(HWND dialog, const wchar_t* text)
{
    MessageBoxW(dialog, text, kCaption, MB_OK | MB_ICONWARNING);
}

void OnInit(HWND dialog)
{
    const WORD value = MAKEWORD(g_app.hotkeyVk & 0xFF, ModifiersToHotkeyFlags(g_app.hotkeyMod));
    SendDlgItemMessageW(dialog, IDC_HOTKEY, HKM_SETHOTKEY, value, 0);
    // Opened from the tray, the dialog would otherwise come up behind the
    // window the user was working in.
    SetForegroundWindow(dialog);
    SetFocus(GetDlgItem(dialog, IDC_HOTKEY));
}

void OnOk(HWND dialog)
{
    const WORD value = LOWORD(SendDlgItemMessageW(dialog, IDC_HOTKEY, HKM_GETHOTKEY, 0, 0));
    const uint32_t key = LOBYTE(value);
    const uint32_t modifiers = HotkeyFlagsToModifiers(HIBYTE(value));
    if (key == 0) {
        Warn(dialog, L"No key pressed. Press a combination, or use None to disable.");
        return;
    }
    if (modifiers == 0) {
        Warn(dialog, L"Include at least one modifier (Ctrl, Alt or Shift).");
        return;
    }

    const uint32_t oldModifiers = g_app.hotkeyMod;
    const uint32_t oldKey = g_app.hotkeyVk;
    g_app.hotkeyMod = modifiers;
    g_app.hotkeyVk = key;
    if (RegisterSwapHotkey()) {
        SaveSettings();
        EndDialog(dialog, IDOK);
        return;
    }
    // Put the old combination back before the warning: while it is open,
    // a swap may save the settings, and the old hotkey should keep working.
    g_app.hotkeyMod = oldModifiers;
    g_app.hotkeyVk = oldKey;
    RegisterSwapHotkey();
    Warn(dialog, L"That combination is unavailable (in use by another app). Try another.");
}

void OnNone(HWND dialog)
{
    if (g_app.hotkeyRegistered) {
        UnregisterHotKey(g_app.hwnd, HOTKEY_ID_SWAP);
        g_app.hotkeyRegistered = false;
    }
    g_app.hotkeyMod = 0;
    g_app.hotkeyVk = 0;
    SaveSettings();
    EndDialog(dialog, IDC_HOTKEY_NONE);
}

} // namespace

BYTE ModifiersToHotkeyFlags(uint32_t modifiers)
{
    BYTE flags = 0;
    if (modifiers & MOD_CONTROL) {
        flags |= HOTKEYF_CONTROL;
    }
    if (modifiers & MOD_ALT) {
        flags |= HOTKEYF_ALT;
    }
    if (modifiers & MOD_SHIFT) {
        flags |= HOTKEYF_SHIFT;
    }
    return flags;
}

uint32_t HotkeyFlagsToModifiers(BYTE flags)
{
    uint32_t modifiers = 0;
    if (flags & HOTKEYF_CONTROL) {
        modifiers |= MOD_CONTROL;
    }
    if (flags & HOTKEYF_ALT) {
        modifiers |= MOD_ALT;
    }
    if (flags & HOTKEYF_SHIFT) {
        modifiers |= MOD_SHIFT;
    }
    return modifiers;
}

INT_PTR CALLBACK HotkeyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog);
        return FALSE; // the focus is set already
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_HOTKEY_NONE:
            OnNone(dialog);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

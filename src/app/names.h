#pragma once
// The names other programs know Backdrift by: its hidden window, its tray
// icon's message and id, and its settings file's section and keys. The
// program, the driver that tests and measures it, and the benchmarks' floor
// all take them from here.
#include <windows.h>

constexpr wchar_t kAppName[] = L"Backdrift";
constexpr wchar_t kWindowClass[] = L"BackdriftHiddenWnd";

// Callback message of the tray icon, posted by the shell to the hidden window.
constexpr UINT WM_TRAYICON = WM_APP + 1;
constexpr UINT TRAY_ICON_ID = 1;

// %APPDATA%\Backdrift\config.ini: one section, whose keys a save writes in this order.
constexpr wchar_t kSettingsSection[] = L"Backdrift";
namespace key {
constexpr wchar_t Folder[] = L"Folder";
constexpr wchar_t Mode[] = L"Mode";
constexpr wchar_t Index[] = L"Index";
constexpr wchar_t Fit[] = L"Fit";
constexpr wchar_t Autostart[] = L"Autostart";
constexpr wchar_t HotkeyMod[] = L"HotkeyMod";
constexpr wchar_t HotkeyVk[] = L"HotkeyVk";
} // namespace key
constexpr const wchar_t* kSettingsKeys[] = {key::Folder,    key::Mode,      key::Index,   key::Fit,
                                            key::Autostart, key::HotkeyMod, key::HotkeyVk};

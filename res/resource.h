#pragma once

#define IDI_APP 101

#define IDD_HOTKEY 200
#define IDC_HOTKEY 201
#define IDC_HOTKEY_NONE 202

// Commands of the tray menu, delivered to the hidden window as WM_COMMAND.
#define IDM_SWAP_NOW 40001
#define IDM_PICK_FOLDER 40002
#define IDM_OPEN_FOLDER 40003
#define IDM_MODE_SEQUENTIAL 40010
#define IDM_MODE_RANDOM 40011
#define IDM_FIT_FILL 40020
#define IDM_FIT_FIT 40021
#define IDM_FIT_STRETCH 40022
#define IDM_FIT_TILE 40023
#define IDM_FIT_CENTER 40024
#define IDM_AUTOSTART 40030
#define IDM_SET_HOTKEY 40035
#define IDM_ABOUT 40040
#define IDM_QUIT 40050

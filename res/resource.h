#pragma once

#define IDI_APP 101

#define IDD_HOTKEY 200
#define IDC_HOTKEY 201
#define IDC_HOTKEY_NONE 202

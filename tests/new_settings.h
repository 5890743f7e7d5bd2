#pragma once

#include "app/app_state.h"

// Every persistent value unlike its default and its value in the save tests' old file: what they and the probe save.
inline void SetNewSettings()
{
    g_app.folder = L"D:\\New";
    g_app.mode = Random;
    g_app.index = 5;
    g_app.fit = Center;
    g_app.autostart = true;
    g_app.hotkeyMod = MOD_CONTROL | MOD_SHIFT;
    g_app.hotkeyVk = 'B';
}

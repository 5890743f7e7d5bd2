#pragma once

#include "app/names.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

enum RotationMode : uint32_t {
    Sequential = 0,
    Random = 1,
};

enum FitMode : uint32_t {
    Fill = 0,
    Fit = 1,
    Stretch = 2,
    Tile = 3,
    Center = 4,
};

// The whole state of the running program: settings, the picture list, the
// shuffle cycle and the handles owned by the hidden window.
struct AppState {
    std::wstring folder;
    RotationMode mode = Sequential;
    int32_t index = -1;
    FitMode fit = Fill;
    bool autostart = false;
    uint32_t hotkeyMod = MOD_CONTROL | MOD_ALT;
    uint32_t hotkeyVk = 'W';
    bool hotkeyRegistered = false;

    std::vector<std::wstring> images;
    std::vector<uint32_t> shuffleOrder;
    size_t shufflePos = 0;
    std::mt19937 rng;

    HINSTANCE hInstance = nullptr;
    HWND hwnd = nullptr;
    HANDLE instanceMutex = nullptr;
    UINT taskbarCreatedMsg = 0;
    NOTIFYICONDATAW nid = {};

    AppState() = default;
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;
};

extern AppState g_app;

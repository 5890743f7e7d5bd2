#define _CRT_RAND_S

#include "app/app_state.h"
#include "app/window.h"
#include "hotkey/hotkey.h"
#include "res/resource.h"
#include "settings/autostart.h"
#include "settings/settings.h"
#include "tray/tray.h"
#include "wallpaper/scan.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdlib>

namespace {

constexpr wchar_t kMutexName[] = L"Local\\Backdrift_SingleInstance_2A7F";

uint32_t SystemRandomSeed()
{
    unsigned int seed = 0;
    if (rand_s(&seed) == 0) {
        return seed;
    }
    // The cryptographic source failed: the clock still makes each start's
    // shuffle differ from the last.
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    return static_cast<uint32_t>(counter.QuadPart ^ (counter.QuadPart >> 32)) ^ GetCurrentProcessId();
}

bool CreateHiddenWindow()
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = g_app.hInstance;
    windowClass.lpszClassName = kWindowClass;
    windowClass.hIcon =
        static_cast<HICON>(LoadImageW(g_app.hInstance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    RegisterClassExW(&windowClass);

    // A never-shown top-level window (not message-only), so that it receives
    // the taskbar's broadcasts; the tool-window style keeps it out of Alt+Tab.
    g_app.hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, kAppName, 0, 0, 0, 0, 0, nullptr, nullptr,
                                 g_app.hInstance, nullptr);
    return g_app.hwnd != nullptr;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Libraries loaded from here on (by COM, the shell, the file dialog) come
    // from the system folder only, never from the executable's folder or the
    // current directory, where a planted DLL could be waiting.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    g_app.hInstance = instance;

    g_app.instanceMutex = CreateMutexW(nullptr, TRUE, kMutexName);
    if (g_app.instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        return 0;
    }

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    g_app.rng.seed(SystemRandomSeed());

    LoadSettings();
    if (g_app.autostart) {
        SetAutostart(true); // the executable may have moved since the last start
    }
    ScanFolder();

    if (!CreateHiddenWindow()) {
        return 1;
    }
    g_app.taskbarCreatedMsg = RegisterWindowMessageW(L"TaskbarCreated");
    AddTrayIcon();
    RegisterSwapHotkey(); // a refusal shows in the menu, not here

    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    CoUninitialize();
    if (g_app.instanceMutex) {
        CloseHandle(g_app.instanceMutex);
    }
    return 0;
}

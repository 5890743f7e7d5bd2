// The smallest program of the same kind: a hidden window and a message loop,
// built with the same flags. Backdrift's size is reported against it.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"SizeBaseline";
    RegisterClassExW(&windowClass);
    if (!CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr, instance,
                         nullptr)) {
        return 1;
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}

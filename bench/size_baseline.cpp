// The smallest program of the same kind: a hidden window and a message loop,
// built with the same flags, that ends when its window is closed. Backdrift's
// size, start-up and resting figures are reported against it.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
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

#include "driver/input.h"

#include <vector>

bool Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    DWORD_PTR answer = 0;
    const bool delivered = SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, kWaitMs, &answer) != 0;
    if (result) {
        *result = static_cast<LRESULT>(answer);
    }
    return delivered;
}

HWND WaitForWindow(DWORD pid, const wchar_t* windowClass, const wchar_t* caption, HWND owner)
{
    HWND found = nullptr;
    WaitUntil([&] {
        for (found = FindWindowExW(nullptr, nullptr, windowClass, caption); found;
             found = FindWindowExW(nullptr, found, windowClass, caption)) {
            DWORD process = 0;
            GetWindowThreadProcessId(found, &process);
            if ((pid == 0 || process == pid) && IsWindowVisible(found) &&
                (!owner || GetWindow(found, GW_OWNER) == owner)) {
                return true;
            }
        }
        return false;
    });
    return found;
}

bool WaitUntilClosed(HWND window)
{
    return WaitUntil([&] { return !IsWindow(window); });
}

std::wstring MessageBoxText(HWND box)
{
    constexpr int kMessageBoxText = 0xFFFF; // the static beside the icon
    wchar_t text[512] = {};
    GetDlgItemTextW(box, kMessageBoxText, text, ARRAYSIZE(text));
    return text;
}

void PressKeys(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> inputs(keys.size() * 2);
    for (size_t i = 0; i < keys.size(); ++i) {
        INPUT& down = inputs[i];
        INPUT& up = inputs[inputs.size() - 1 - i];
        down.type = up.type = INPUT_KEYBOARD;
        down.ki.wVk = up.ki.wVk = keys.begin()[i];
        up.ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void MouseAt(POINT at, DWORD down, DWORD up)
{
    INPUT inputs[3] = {};
    const DWORD flags[] = {MOUSEEVENTF_MOVE, down, up};
    for (size_t i = 0; i < std::size(inputs); ++i) {
        inputs[i].type = INPUT_MOUSE;
        inputs[i].mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        inputs[i].mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        inputs[i].mi.dwFlags = flags[i] | MOUSEEVENTF_ABSOLUTE;
    }
    SendInput(down ? 3 : 1, inputs, sizeof(INPUT));
}

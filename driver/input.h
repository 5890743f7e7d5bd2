#pragma once
// Windows, messages and input, from another process, as the shell and a user would.
#include <windows.h>

#include <initializer_list>
#include <string>

constexpr DWORD kWaitMs = 15000; // the longest any step may take

// Asks `done` until it holds or kWaitMs have passed, never once more after it held: `done` may act (delete a file).
template <class Predicate> bool WaitUntil(Predicate done)
{
    for (DWORD waited = 0; !done(); waited += 50) {
        if (waited >= kWaitMs) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

// Sends a message and waits until it is handled; false if it is not in time.
bool Deliver(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0, LRESULT* result = nullptr);
// Waits for a visible top-level window of this class and caption (any, when null), of the process `pid` (any, when
// 0), owned by `owner` when given.
HWND WaitForWindow(DWORD pid, const wchar_t* windowClass, const wchar_t* caption, HWND owner = nullptr);
bool WaitUntilClosed(HWND window); // destroyed
std::wstring MessageBoxText(HWND box);
// Presses the keys in order and releases them in reverse, as a person would. Under Wine they never reach the X
// server, whose key state Wine takes for its own (releasing these) whenever the pointer enters one of its windows but
// the bare desktop, or one takes the focus: keep the pointer on the bare desktop (the taskbar appears where icons
// come) and press nothing while a window opens or closes.
void PressKeys(std::initializer_list<WORD> keys);
// Moves the mouse there and, when given, presses and releases a button (the MOUSEEVENTF_ flags of its down and up).
void MouseAt(POINT at, DWORD down = 0, DWORD up = 0);

#pragma once

#include <windows.h>

// Window procedure of the hidden window: every event of the running program arrives here.
LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

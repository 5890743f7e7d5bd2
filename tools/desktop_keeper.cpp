// Holds the test prefix's desktop open for the whole test run. Wine ends its desktop process shortly after the last
// program using it exits, and every test program would otherwise pay for starting a new one.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    GetDesktopWindow();
    Sleep(INFINITE);
    return 0;
}

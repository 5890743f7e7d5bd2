// Takes the README's screenshots: starts Backdrift.exe, shows a demo picture,
// then hovers its notification icon (tooltip), right-clicks it (menu), opens
// Set hotkey and About, and saves each view as a PNG. Driven like a user
// would: real mouse input on the taskbar, menu commands as WM_COMMAND.
//   screenshot_tour.exe <Backdrift.exe> <output folder>
// Exits 0 only when every picture was saved; the program is always closed.
#include "app/app_state.h"
#include "res/resource.h"

#include <commctrl.h>
#include <objbase.h>
#include <wincodec.h>

#include <cstdio>
#include <string>
#include <initializer_list>

namespace {

constexpr DWORD kWaitMs = 15000;
constexpr DWORD kSettleMs = 700; // lets the taskbar, menu or dialog finish painting
constexpr int kMargin = 16;      // desktop shown around a tray view

void Fail(const wchar_t* what)
{
    fwprintf(stderr, L"screenshot_tour: %ls\n", what);
}

template <class Predicate> bool WaitUntil(Predicate done)
{
    for (DWORD waited = 0; waited < kWaitMs && !done(); waited += 50) {
        Sleep(50);
    }
    return done();
}

DWORD ProcessOf(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// A visible top-level window of this class and caption (any, when null),
// of the process `pid` (any, when 0).
HWND FindVisible(const wchar_t* windowClass, const wchar_t* caption, DWORD pid)
{
    for (HWND found = FindWindowExW(nullptr, nullptr, windowClass, caption); found;
         found = FindWindowExW(nullptr, found, windowClass, caption)) {
        if (IsWindowVisible(found) && (pid == 0 || ProcessOf(found) == pid)) {
            return found;
        }
    }
    return nullptr;
}

HWND WaitForVisible(const wchar_t* windowClass, const wchar_t* caption, DWORD pid)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindVisible(windowClass, caption, pid)) != nullptr; });
    return found;
}

void PressKey(WORD key)
{
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = key;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

void MoveMouse(POINT at, DWORD buttons = 0)
{
    INPUT inputs[3] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    }
    UINT count = 1;
    if (buttons == MOUSEEVENTF_RIGHTDOWN) {
        inputs[1].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN | MOUSEEVENTF_ABSOLUTE;
        inputs[2].mi.dwFlags = MOUSEEVENTF_RIGHTUP | MOUSEEVENTF_ABSOLUTE;
        count = 3;
    }
    SendInput(count, inputs, sizeof(INPUT));
}

RECT Union(RECT a, RECT b)
{
    RECT both = {};
    UnionRect(&both, &a, &b);
    return both;
}

RECT Grown(RECT area, int by)
{
    InflateRect(&area, by, by);
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&area, &area, &screen);
    return area;
}

// Saves what the screen shows in `area` as a 24-bit PNG, with the mouse
// pointer drawn in when asked (a screen copy does not include it).
bool SavePng(IWICImagingFactory* wic, RECT area, bool withPointer, const std::wstring& path)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first, as WIC expects
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const UINT stride = ((static_cast<UINT>(width) * 3 + 3) / 4) * 4;

    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT) != FALSE;
        // The pointer over the taskbar is the arrow.
        const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
        POINT at = {};
        ICONINFO hotspot = {};
        if (copied && withPointer && arrow && GetCursorPos(&at) && GetIconInfo(arrow, &hotspot)) {
            DrawIconEx(memory, at.x - area.left - static_cast<int>(hotspot.xHotspot),
                       at.y - area.top - static_cast<int>(hotspot.yHotspot), arrow, 0, 0, 0, nullptr, DI_NORMAL);
            DeleteObject(hotspot.hbmMask);
            DeleteObject(hotspot.hbmColor);
        }
        GdiFlush();
        SelectObject(memory, old);
    }
    ReleaseDC(nullptr, screen);

    HRESULT hr = copied ? S_OK : E_FAIL;
    IWICBitmap* image = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr)) {
        hr = wic->CreateBitmapFromMemory(static_cast<UINT>(width), static_cast<UINT>(height),
                                         GUID_WICPixelFormat24bppBGR, stride, stride * static_cast<UINT>(height),
                                         static_cast<BYTE*>(bits), &image);
    }
    if (SUCCEEDED(hr)) {
        hr = wic->CreateStream(&stream);
    }
    if (SUCCEEDED(hr)) {
        hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    }
    if (SUCCEEDED(hr)) {
        hr = wic->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->CreateNewFrame(&frame, nullptr);
    }
    if (SUCCEEDED(hr)) {
        hr = frame->Initialize(nullptr);
    }
    if (SUCCEEDED(hr)) {
        hr = frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height));
    }
    if (SUCCEEDED(hr)) {
        hr = frame->SetPixelFormat(&format);
    }
    if (SUCCEEDED(hr)) {
        hr = IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) ? S_OK : WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    }
    if (SUCCEEDED(hr)) {
        hr = frame->WriteSource(image, nullptr);
    }
    if (SUCCEEDED(hr)) {
        hr = frame->Commit();
    }
    if (SUCCEEDED(hr)) {
        hr = encoder->Commit();
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{frame, encoder, stream, image}) {
        if (object) {
            object->Release();
        }
    }
    if (bitmap) {
        DeleteObject(bitmap);
    }
    if (memory) {
        DeleteDC(memory);
    }
    if (FAILED(hr)) {
        fwprintf(stderr, L"screenshot_tour: could not save %ls (0x%08lx)\n", path.c_str(),
                 static_cast<unsigned long>(hr));
        return false;
    }
    fwprintf(stdout, L"%ls %dx%d\n", path.c_str(), width, height);
    return true;
}

class Program {
public:
    explicit Program(const std::wstring& exe)
    {
        std::wstring command = L"\"" + exe + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process_) != FALSE;
    }
    // Quits through the menu command; a program that does not end is stopped.
    ~Program()
    {
        if (!started_) {
            return;
        }
        if (window_) {
            PostMessageW(window_, WM_COMMAND, IDM_QUIT, 0);
        }
        if (WaitForSingleObject(process_.hProcess, kWaitMs) != WAIT_OBJECT_0) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, kWaitMs);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return started_; }
    DWORD pid() const { return process_.dwProcessId; }

    HWND Window()
    {
        WaitForInputIdle(process_.hProcess, kWaitMs);
        WaitUntil([&] { return (window_ = FindWindowExW(nullptr, nullptr, kWindowClass, nullptr)) != nullptr; });
        if (window_ && ProcessOf(window_) != pid()) {
            window_ = nullptr; // another copy is running; ours has ended
        }
        return window_;
    }

private:
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
    HWND window_ = nullptr;
};

bool IsClosed(HWND window)
{
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

bool Tour(IWICImagingFactory* wic, const std::wstring& exe, const std::wstring& out)
{
    Program program(exe);
    if (!program.started()) {
        Fail(L"Backdrift.exe did not start");
        return false;
    }
    const HWND hwnd = program.Window();
    const HWND taskbar = WaitForVisible(L"Shell_TrayWnd", nullptr, 0);
    if (!hwnd || !taskbar) {
        Fail(hwnd ? L"no taskbar on this desktop" : L"no Backdrift window");
        return false;
    }

    // A demo picture on the desktop behind the views, as after a first click.
    // (The value is cleared first, so a picture left from an earlier run
    // cannot pass for one.)
    constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper");
    DWORD_PTR result = 0;
    wchar_t wallpaper[MAX_PATH] = {};
    DWORD size = sizeof(wallpaper);
    if (!SendMessageTimeoutW(hwnd, WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONUP, SMTO_NORMAL, kWaitMs, &result) ||
        RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper", RRF_RT_REG_SZ, nullptr, wallpaper, &size) !=
            ERROR_SUCCESS ||
        GetFileAttributesW(wallpaper) == INVALID_FILE_ATTRIBUTES) {
        Fail(L"the first click showed no picture: are the settings pointing at the demo folder?");
        return false;
    }

    // The only icon in this desktop's notification area sits at its right end.
    RECT bar = {};
    GetWindowRect(taskbar, &bar);
    const int barHeight = bar.bottom - bar.top;
    const POINT icon = {bar.right - barHeight / 2, bar.top + barHeight / 2};
    // Each tray view shows the end of the taskbar, whatever opens above it and
    // a little desktop around.
    const RECT trayEnd = {bar.right - 12 * barHeight, bar.top, bar.right, bar.bottom};

    // Tooltip: the pointer comes to rest on the icon.
    MoveMouse({icon.x - barHeight, icon.y});
    Sleep(kSettleMs);
    MoveMouse(icon);
    const HWND tip = WaitForVisible(TOOLTIPS_CLASSW, nullptr, 0);
    if (!tip) {
        Fail(L"no tooltip over the notification icon");
        return false;
    }
    Sleep(kSettleMs);
    RECT tipRect = {};
    GetWindowRect(tip, &tipRect);
    if (!SavePng(wic, Grown(Union(tipRect, trayEnd), kMargin), true, out + L"\\tray-tooltip.png")) {
        return false;
    }

    // Menu: a right-click on the icon.
    MoveMouse(icon, MOUSEEVENTF_RIGHTDOWN);
    const HWND menu = WaitForVisible(L"#32768", nullptr, program.pid());
    if (!menu) {
        Fail(L"the right-click opened no menu");
        return false;
    }
    Sleep(kSettleMs);
    RECT menuRect = {};
    GetWindowRect(menu, &menuRect);
    if (!SavePng(wic, Grown(Union(menuRect, trayEnd), kMargin), true, out + L"\\tray-menu.png")) {
        return false;
    }
    PressKey(VK_ESCAPE);
    if (!IsClosed(menu)) {
        Fail(L"the menu did not close");
        return false;
    }
    MoveMouse({bar.left + barHeight * 8, bar.top - barHeight * 8}); // off the dialogs to come

    // The two dialogs, each opened from its menu command and shown whole.
    const struct {
        UINT command;
        const wchar_t* caption;
        const wchar_t* file;
        WPARAM close; // leaves the settings as they were
    } dialogs[] = {
        {IDM_SET_HOTKEY, L"Set hotkey", L"\\hotkey-dialog.png", IDCANCEL},
        {IDM_ABOUT, L"About Backdrift", L"\\about.png", IDOK},
    };
    for (const auto& dialog : dialogs) {
        PostMessageW(hwnd, WM_COMMAND, dialog.command, 0);
        const HWND box = WaitForVisible(L"#32770", dialog.caption, program.pid());
        if (!box) {
            Fail((std::wstring(L"did not open: ") + dialog.caption).c_str());
            return false;
        }
        Sleep(kSettleMs);
        RECT boxRect = {};
        GetWindowRect(box, &boxRect);
        if (!SavePng(wic, boxRect, false, out + dialog.file)) {
            return false;
        }
        PostMessageW(box, WM_COMMAND, dialog.close, 0);
        if (!IsClosed(box)) {
            Fail(L"a dialog did not close");
            return false;
        }
    }
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        fwprintf(stderr, L"usage: screenshot_tour.exe <Backdrift.exe> <output folder>\n");
        return 2;
    }
    SetProcessDPIAware();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* wic = nullptr;
    bool done = false;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wic)))) {
        done = Tour(wic, argv[1], argv[2]);
        wic->Release();
    } else {
        Fail(L"no imaging component");
    }
    CoUninitialize();
    return done ? 0 : 1;
}

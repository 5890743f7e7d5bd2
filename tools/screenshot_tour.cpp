// Takes the README's screenshots: starts Backdrift.exe, shows a demo picture,
// then hovers its notification icon (tooltip), right-clicks it (menu), opens
// Set hotkey and About, and saves each view as a PNG. Driven like a user
// would: real mouse input on the taskbar, menu commands as WM_COMMAND.
//   screenshot_tour.exe <Backdrift.exe> <output folder>
// Exits 0 only when every picture was saved; the program is always closed.
#include "driver/driver.h"
#include "res/resource.h"

#include <commctrl.h>
#include <objbase.h>
#include <wincodec.h>

#include <cstdio>
#include <string>
#include <initializer_list>

namespace {

constexpr DWORD kSettleMs = 700; // lets the taskbar, menu or dialog finish painting
constexpr int kMargin = 16;      // desktop shown around a tray view

void Fail(const wchar_t* what)
{
    fwprintf(stderr, L"screenshot_tour: %ls\n", what);
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

bool Walk(IWICImagingFactory* wic, Program& program, const std::wstring& out)
{
    if (!program.started()) {
        Fail(L"Backdrift.exe did not start");
        return false;
    }
    const HWND hwnd = program.Window();
    const HWND taskbar = WaitForWindow(0, L"Shell_TrayWnd", nullptr);
    if (!hwnd || !taskbar) {
        Fail(hwnd ? L"no taskbar on this desktop" : L"no Backdrift window");
        return false;
    }

    // A demo picture on the desktop behind the views, as after a first click.
    // (The value is cleared first, so a picture left from an earlier run
    // cannot pass for one.)
    constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper");
    if (!Deliver(hwnd, WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONUP) ||
        GetFileAttributesW(ReadRegString(HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper").value_or(L"").c_str()) ==
            INVALID_FILE_ATTRIBUTES) {
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
    MouseAt({icon.x - barHeight, icon.y});
    Sleep(kSettleMs);
    MouseAt(icon);
    const HWND tip = WaitForWindow(0, TOOLTIPS_CLASSW, nullptr);
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
    MouseAt(icon, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    const HWND menu = WaitForWindow(program.pid(), L"#32768", nullptr);
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
    PressKeys({VK_ESCAPE});
    if (!WaitUntilClosed(menu)) {
        Fail(L"the menu did not close");
        return false;
    }
    MouseAt({bar.left + barHeight * 8, bar.top - barHeight * 8}); // off the dialogs to come

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
        const HWND box = WaitForWindow(program.pid(), L"#32770", dialog.caption);
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
        if (!WaitUntilClosed(box)) {
            Fail(L"a dialog did not close");
            return false;
        }
    }
    return true;
}

// Walks through the views, then quits the program through WM_CLOSE whatever
// happened, so that its icon leaves the notification area.
bool Tour(IWICImagingFactory* wic, const std::wstring& exe, const std::wstring& out)
{
    Program program(exe);
    const bool done = Walk(wic, program, out);
    if (program.started() && !program.Close()) {
        Fail(L"Backdrift did not end cleanly");
        return false;
    }
    return done;
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

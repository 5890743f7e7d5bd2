// Takes the README's screenshots: starts Backdrift.exe, shows a demo picture, then hovers its
// notification icon (tooltip), right-clicks it (menu), opens Set hotkey and About, and saves each
// view as a PNG. Driven as a user would: real mouse input on the taskbar, menu commands as WM_COMMAND.
//   screenshot_tour.exe <Backdrift.exe> <output folder>
// Exits 0 only when every picture was saved; the program is always closed.
#include "driver/driver.h"
#include "res/resource.h"

#include <commctrl.h>
#include <objbase.h>
#include <wincodec.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>

namespace {

constexpr DWORD kSettleMs = 700; // lets the taskbar, menu or dialog finish painting
constexpr int kMargin = 16;      // desktop shown around a tray view

bool Fail(const std::wstring& what)
{
    fwprintf(stderr, L"screenshot_tour: %ls\n", what.c_str());
    return false;
}

// Once the view's window is painted, saves what the screen shows of it as a 24-bit PNG: the window
// whole or, for a tray view, with the end of the taskbar, the pointer (which a screen copy leaves
// out) and a margin of desktop. Then, given `close`, closes the view with it and waits until it is
// gone. False when the window is missing (`missing` says so), not saved or not closed.
bool SaveView(IWICImagingFactory* wic, HWND window, const RECT* trayEnd, const std::wstring& path,
              const std::wstring& missing, const std::function<void(HWND)>& close = nullptr)
{
    if (!window) {
        return Fail(missing);
    }
    Sleep(kSettleMs);
    RECT area = {};
    GetWindowRect(window, &area);
    if (trayEnd) {
        const RECT display = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        UnionRect(&area, &area, trayEnd);
        InflateRect(&area, kMargin, kMargin);
        IntersectRect(&area, &area, &display);
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HRESULT hr = E_FAIL; // until the screen is copied
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        hr = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT) ? S_OK : E_FAIL;
        // The pointer over the taskbar is the arrow.
        const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
        POINT at = {};
        ICONINFO hotspot = {};
        if (SUCCEEDED(hr) && trayEnd && arrow && GetCursorPos(&at) && GetIconInfo(arrow, &hotspot)) {
            DrawIconEx(memory, at.x - area.left - static_cast<int>(hotspot.xHotspot),
                       at.y - area.top - static_cast<int>(hotspot.yHotspot), arrow, 0, 0, 0, nullptr, DI_NORMAL);
            DeleteObject(hotspot.hbmMask);
            DeleteObject(hotspot.hbmColor);
        }
        SelectObject(memory, old);
    }
    ReleaseDC(nullptr, screen);

    IWICBitmap* image = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    // Each step runs only when every one before it succeeded.
    const std::function<HRESULT()> steps[] = {
        [&] { return wic->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &image); },
        [&] { return wic->CreateStream(&stream); },
        [&] { return stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE); },
        [&] { return wic->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder); },
        [&] { return encoder->Initialize(stream, WICBitmapEncoderNoCache); },
        [&] { return encoder->CreateNewFrame(&frame, nullptr); },
        [&] { return frame->Initialize(nullptr); },
        [&] { return frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)); },
        [&] { return frame->SetPixelFormat(&format); },
        [&] { return IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) ? S_OK : WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT; },
        [&] { return frame->WriteSource(image, nullptr); },
        [&] { return frame->Commit(); },
        [&] { return encoder->Commit(); },
    };
    for (size_t i = 0; i < std::size(steps) && SUCCEEDED(hr); ++i) {
        hr = steps[i]();
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{frame, encoder, stream, image}) {
        if (object) {
            object->Release();
        }
    }
    DeleteObject(bitmap); // either may be null, which they take as nothing to free
    DeleteDC(memory);
    if (FAILED(hr)) {
        fwprintf(stderr, L"screenshot_tour: could not save %ls (0x%08lx)\n", path.c_str(),
                 static_cast<unsigned long>(hr));
        return false;
    }
    fwprintf(stdout, L"%ls %dx%d\n", path.c_str(), width, height);
    if (close) {
        close(window);
        if (!WaitUntilClosed(window)) {
            return Fail(L"it stayed open after it was saved: " + path);
        }
    }
    return true;
}

bool Walk(IWICImagingFactory* wic, Program& program, const std::wstring& out)
{
    if (!program.started()) {
        return Fail(L"Backdrift.exe did not start");
    }
    const HWND hwnd = program.Window();
    const HWND taskbar = WaitForWindow(0, L"Shell_TrayWnd", nullptr);
    if (!hwnd || !taskbar) {
        return Fail(hwnd ? L"no taskbar on this desktop" : L"no Backdrift window");
    }

    // A demo picture on the desktop behind the views, as after a first click
    // (cleared first, so that one left from an earlier run cannot pass for it).
    constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper");
    if (!Deliver(hwnd, WM_TRAYICON, TRAY_ICON_ID, WM_LBUTTONUP) ||
        GetFileAttributesW(ReadRegString(HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper").value_or(L"").c_str()) ==
            INVALID_FILE_ATTRIBUTES) {
        return Fail(L"the first click showed no picture: are the settings pointing at the demo folder?");
    }

    // The only icon in this desktop's notification area sits at its right end.
    RECT bar = {};
    GetWindowRect(taskbar, &bar);
    const int barHeight = bar.bottom - bar.top;
    const POINT icon = {bar.right - barHeight / 2, bar.top + barHeight / 2};
    // Each tray view shows the end of the taskbar and whatever opens above it.
    const RECT trayEnd = {bar.right - 12 * barHeight, bar.top, bar.right, bar.bottom};

    // Tooltip: the pointer comes to rest on the icon.
    MouseAt({icon.x - barHeight, icon.y});
    Sleep(kSettleMs);
    MouseAt(icon);
    if (!SaveView(wic, WaitForWindow(0, TOOLTIPS_CLASSW, nullptr), &trayEnd, out + L"\\tray-tooltip.png",
                  L"no tooltip over the notification icon")) {
        return false;
    }

    // Menu: a right-click on the icon.
    MouseAt(icon, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    if (!SaveView(wic, WaitForWindow(program.pid(), L"#32768", nullptr), &trayEnd, out + L"\\tray-menu.png",
                  L"the right-click opened no menu", [](HWND) { PressKeys({VK_ESCAPE}); })) {
        return false;
    }
    MouseAt({bar.left + barHeight * 8, bar.top - barHeight * 8}); // off the dialogs to come

    // A dialog, opened from its menu command, shown whole and closed with `close`, which leaves the
    // settings as they were.
    const auto dialog = [&](UINT command, const wchar_t* caption, const wchar_t* file, WPARAM close) {
        PostMessageW(hwnd, WM_COMMAND, command, 0);
        return SaveView(wic, WaitForWindow(program.pid(), L"#32770", caption), nullptr, out + file,
                        std::wstring(L"did not open: ") + caption,
                        [close](HWND box) { PostMessageW(box, WM_COMMAND, close, 0); });
    };
    return dialog(IDM_SET_HOTKEY, L"Set hotkey", L"\\hotkey-dialog.png", IDCANCEL) &&
           dialog(IDM_ABOUT, L"About Backdrift", L"\\about.png", IDOK);
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
        Program program(argv[1]);
        done = Walk(wic, program, argv[2]);
        // Quit through WM_CLOSE whatever happened, so that its icon leaves the notification area.
        if (program.started() && !program.Close()) {
            done = Fail(L"Backdrift did not end cleanly");
        }
        wic->Release();
    } else {
        Fail(L"no imaging component");
    }
    CoUninitialize();
    return done ? 0 : 1;
}

// The floor under Backdrift's figures: exactly the platform calls of its
// start-up and of a tray click's swap, in the same order, linked as Backdrift
// is, and none of its logic. What Backdrift measures beyond this program is
// what its own code adds. The pictures are 0.jpg, 1.jpg, ... in the settings'
// folder.
#define _CRT_RAND_S

#include "app/names.h"
#include "res/resource.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <cstdlib>
#include <string>

namespace {

constexpr wchar_t kClass[] = L"BackdriftFloor";
constexpr int kPictures = 5;

std::wstring g_file;   // the settings file
std::wstring g_folder; // the pictures' folder
int g_clicks = 0;

void Swap()
{
    const std::wstring picture = g_folder + L"\\" + std::to_wstring(g_clicks++ % kPictures) + L".jpg";
    PathFileExistsW(picture.c_str());

    // The shell's object where there is one (Windows), else the classic route (Wine).
    IDesktopWallpaper* desktop = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_DesktopWallpaper, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&desktop)))) {
        desktop->SetPosition(DWPOS_FILL);
        desktop->SetWallpaper(nullptr, picture.c_str());
        desktop->Release();
    } else {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegSetValueExW(key, L"WallpaperStyle", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"10"),
                           3 * sizeof(wchar_t));
            RegSetValueExW(key, L"TileWallpaper", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"0"), 2 * sizeof(wchar_t));
            RegCloseKey(key);
        }
        SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(picture.c_str()),
                              SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    }

    PWSTR roaming = nullptr;
    SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming);
    CoTaskMemFree(roaming);
    const std::wstring dir = g_file.substr(0, g_file.rfind(L'\\'));
    CreateDirectoryW(dir.c_str(), nullptr);
    GetFileAttributesW(dir.c_str()); // the folder already exists: is it one?
    const std::wstring draft = g_file + L".new";
    SetFileAttributesW(draft.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(draft.c_str());
    GetFileAttributesW(g_file.c_str());
    CopyFileW(g_file.c_str(), draft.c_str(), FALSE);
    const std::wstring index = std::to_wstring((g_clicks - 1) % kPictures);
    const wchar_t* values[] = {g_folder.c_str(), L"0", index.c_str(), L"0", L"0", L"3", L"87"};
    static_assert(std::size(values) == std::size(kSettingsKeys));
    for (size_t i = 0; i < std::size(values); ++i) {
        WritePrivateProfileStringW(kSettingsSection, kSettingsKeys[i], values[i], draft.c_str());
    }
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, draft.c_str());
    HANDLE handle = CreateFileW(draft.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        FlushFileBuffers(handle);
        CloseHandle(handle);
    }
    MoveFileExW(draft.c_str(), g_file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

NOTIFYICONDATAW g_icon = {};

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TRAYICON && LOWORD(lParam) == WM_LBUTTONUP) {
        Swap();
        return 0;
    }
    if (message == WM_DESTROY) {
        Shell_NotifyIconW(NIM_DELETE, &g_icon);
        DestroyIcon(g_icon.hIcon);
        UnregisterHotKey(hwnd, 1);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Local\\BackdriftFloor");
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    unsigned int seed = 0;
    rand_s(&seed);

    PWSTR roaming = nullptr;
    SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming);
    g_file = std::wstring(roaming ? roaming : L"") + L"\\" + kAppName;
    CoTaskMemFree(roaming);
    CreateDirectoryW(g_file.c_str(), nullptr);
    GetFileAttributesW(g_file.c_str());
    g_file += L"\\config.ini";
    wchar_t folder[520];
    GetPrivateProfileStringW(kSettingsSection, key::Folder, L"", folder, ARRAYSIZE(folder), g_file.c_str());
    g_folder = folder;
    for (const wchar_t* name : kSettingsKeys) {
        if (name != key::Folder) {
            GetPrivateProfileIntW(kSettingsSection, name, 0, g_file.c_str());
        }
    }

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClass;
    windowClass.hIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    RegisterClassExW(&windowClass);
    const HWND hwnd =
        CreateWindowExW(WS_EX_TOOLWINDOW, kClass, kAppName, 0, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    RegisterWindowMessageW(L"TaskbarCreated");

    g_icon.cbSize = sizeof(g_icon);
    g_icon.hWnd = hwnd;
    g_icon.uID = TRAY_ICON_ID;
    g_icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    g_icon.uCallbackMessage = WM_TRAYICON;
    g_icon.hIcon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    lstrcpynW(g_icon.szTip, kAppName, ARRAYSIZE(g_icon.szTip));
    Shell_NotifyIconW(NIM_ADD, &g_icon);
    g_icon.uFlags = NIF_TIP;
    Shell_NotifyIconW(NIM_MODIFY, &g_icon);
    RegisterHotKey(hwnd, 1, MOD_CONTROL | MOD_ALT | MOD_NOREPEAT, 'W');
    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CoUninitialize();
    CloseHandle(mutex);
    return 0;
}

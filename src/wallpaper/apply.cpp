#include "wallpaper/apply.h"

namespace {

void SetStyleValue(HKEY key, const wchar_t* name, const wchar_t* text)
{
    const DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
}

} // namespace

FitStyle FitToStyle(uint32_t fit)
{
    switch (fit) {
    case Fit:
        return {DWPOS_FIT, L"6", L"0"};
    case Stretch:
        return {DWPOS_STRETCH, L"2", L"0"};
    case Tile:
        return {DWPOS_TILE, L"0", L"1"};
    case Center:
        return {DWPOS_CENTER, L"0", L"0"};
    default:
        return {DWPOS_FILL, L"10", L"0"};
    }
}

bool ApplyWallpaper(const std::wstring& path)
{
    IDesktopWallpaper* wallpaper = nullptr;
    const HRESULT created = CoCreateInstance(CLSID_DesktopWallpaper, nullptr, CLSCTX_ALL, IID_IDesktopWallpaper,
                                             reinterpret_cast<void**>(&wallpaper));
    if (SUCCEEDED(created) && wallpaper) {
        // A refused position must not keep the picture from being set.
        wallpaper->SetPosition(FitToStyle(g_app.fit).position);
        const HRESULT set = wallpaper->SetWallpaper(nullptr, path.c_str());
        wallpaper->Release();
        if (SUCCEEDED(set)) {
            return true;
        }
    }
    return ApplyWallpaperLegacy(path);
}

bool ApplyWallpaperLegacy(const std::wstring& path)
{
    const FitStyle style = FitToStyle(g_app.fit);

    // The style must be in place before the change is broadcast, or the
    // desktop redraws the new picture with the old fit.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        SetStyleValue(key, L"WallpaperStyle", style.wallpaperStyle);
        SetStyleValue(key, L"TileWallpaper", style.tileWallpaper);
        RegCloseKey(key);
    }

    return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(path.c_str()),
                                 SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != FALSE;
}

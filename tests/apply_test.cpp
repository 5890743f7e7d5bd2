#include "app/app_state.h"
#include "test_support.h"
#include "wallpaper/apply.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <tuple>
#include <vector>

namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
constexpr const wchar_t* kValueNames[] = {L"Wallpaper", L"WallpaperStyle", L"TileWallpaper"};
using Values = std::vector<std::wstring>; // in kValueNames' order
const Values kUntouched = {L"untouched", L"untouched", L"untouched"};

std::wstring Desktop(const wchar_t* name)
{
    return ReadRegString(HKEY_CURRENT_USER, kDesktopKey, name).value_or(L"<absent>");
}
Values DesktopValues()
{
    return {Desktop(kValueNames[0]), Desktop(kValueNames[1]), Desktop(kValueNames[2])};
}

// What the fake desktop-wallpaper objects were asked to do.
struct FakeLog {
    HRESULT createResult = S_OK, setPositionResult = S_OK, setWallpaperResult = S_OK;
    bool createNull = false, overReleased = false;
    int created = 0, destroyed = 0;
    std::vector<DESKTOP_WALLPAPER_POSITION> positions;
    std::vector<std::pair<bool, std::wstring>> wallpapers; // monitor given?, path
};
FakeLog g_log;

class FakeDesktopWallpaper final : public IDesktopWallpaper {
public:
    FakeDesktopWallpaper() { ++g_log.created; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        const bool known = riid == IID_IUnknown || riid == IID_IDesktopWallpaper;
        *object = known ? static_cast<IDesktopWallpaper*>(this) : nullptr;
        refs_ += known ? 1 : 0;
        return known ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        g_log.overReleased |= refs_ == 0;
        if (refs_ == 0 || --refs_ > 0) {
            return refs_;
        }
        ++g_log.destroyed;
        delete this;
        return 0;
    }

    HRESULT STDMETHODCALLTYPE SetWallpaper(LPCWSTR monitor, LPCWSTR path) override
    {
        g_log.wallpapers.emplace_back(monitor != nullptr, path ? path : L"<null>");
        return g_log.setWallpaperResult;
    }
    HRESULT STDMETHODCALLTYPE SetPosition(DESKTOP_WALLPAPER_POSITION position) override
    {
        g_log.positions.push_back(position);
        return g_log.setPositionResult;
    }

    HRESULT STDMETHODCALLTYPE GetWallpaper(LPCWSTR, LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMonitorDevicePathAt(UINT, LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMonitorDevicePathCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMonitorRECT(LPCWSTR, RECT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBackgroundColor(COLORREF) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBackgroundColor(COLORREF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPosition(DESKTOP_WALLPAPER_POSITION*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSlideshow(IShellItemArray*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSlideshow(IShellItemArray**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSlideshowOptions(DESKTOP_SLIDESHOW_OPTIONS, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSlideshowOptions(DESKTOP_SLIDESHOW_OPTIONS*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AdvanceSlideshow(LPCWSTR, DESKTOP_SLIDESHOW_DIRECTION) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStatus(DESKTOP_SLIDESHOW_STATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Enable(BOOL) override { return E_NOTIMPL; }

private:
    ULONG refs_ = 0;
};

class FakeFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        const bool known = riid == IID_IUnknown || riid == IID_IClassFactory;
        *object = known ? static_cast<IClassFactory*>(this) : nullptr;
        return known ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        *object = nullptr;
        if (outer || FAILED(g_log.createResult) || g_log.createNull) {
            return outer ? CLASS_E_NOAGGREGATION : g_log.createResult;
        }
        return (new FakeDesktopWallpaper)->QueryInterface(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

class ApplyTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetAppState();
        g_log = FakeLog();
        Touch(picture_);
        for (const wchar_t* name : kValueNames) {
            WriteRegString(HKEY_CURRENT_USER, kDesktopKey, name, L"untouched");
        }
    }
    void TearDown() override { CoRevokeClassObject(cookie_); } // refused harmlessly when none was registered

    void RegisterFake()
    {
        ASSERT_EQ(CoRegisterClassObject(CLSID_DesktopWallpaper, &factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie_),
                  S_OK);
    }
    // Windows shows only pictures it can open; Wine records any path.
    std::wstring Picture(int n) const
    {
        const std::wstring path = pictures_ / (L"Sea" + std::to_wstring(n) + L".jpg");
        Touch(path);
        return path;
    }

    RegValueGuard wallpaper_{HKEY_CURRENT_USER, kDesktopKey, kValueNames[0]};
    RegValueGuard style_{HKEY_CURRENT_USER, kDesktopKey, kValueNames[1]};
    RegValueGuard tile_{HKEY_CURRENT_USER, kDesktopKey, kValueNames[2]};
    FakeFactory factory_;
    DWORD cookie_ = 0;
    TempDir pictures_;
    const std::wstring picture_ = pictures_ / L"Sea.jpg";
};

// Fit, then what each route is given for it: position; WallpaperStyle and TileWallpaper.
const std::tuple<uint32_t, DESKTOP_WALLPAPER_POSITION, const wchar_t*, const wchar_t*> kFitTable[] = {
    {Fill, DWPOS_FILL, L"10", L"0"},       {Fit, DWPOS_FIT, L"6", L"0"},       {Stretch, DWPOS_STRETCH, L"2", L"0"},
    {Tile, DWPOS_TILE, L"0", L"1"},        {Center, DWPOS_CENTER, L"0", L"0"}, {5, DWPOS_FILL, L"10", L"0"},
    {0xFFFFFFFF, DWPOS_FILL, L"10", L"0"},
};

TEST_F(ApplyTest, DesktopWallpaperObjectGetsThePositionForEachFit)
{
    RegisterFake();
    for (const auto& [fit, position, style, tile] : kFitTable) {
        g_log = FakeLog();
        g_app.fit = static_cast<FitMode>(fit);

        EXPECT_TRUE(ApplyWallpaper(picture_));

        EXPECT_EQ(g_log.positions, std::vector<DESKTOP_WALLPAPER_POSITION>{position}) << "fit " << fit;
        // Every monitor (none named), this picture.
        EXPECT_EQ(g_log.wallpapers, (std::vector<std::pair<bool, std::wstring>>{{false, picture_}}));
        EXPECT_EQ(std::tuple(g_log.destroyed, g_log.overReleased), std::tuple(g_log.created, false)) << "released once";
    }
    EXPECT_EQ(DesktopValues(), kUntouched);
}

TEST_F(ApplyTest, RefusedPositionDoesNotStopThePicture)
{
    RegisterFake();
    g_log.setPositionResult = E_INVALIDARG;

    EXPECT_TRUE(ApplyWallpaper(picture_));

    EXPECT_EQ(g_log.wallpapers.size(), 1u);
    EXPECT_EQ(std::tuple(g_log.destroyed, g_log.overReleased), std::tuple(g_log.created, false)) << "released once";
    EXPECT_EQ(DesktopValues(), kUntouched);
}

TEST_F(ApplyTest, RefusedPictureReleasesTheObjectThenFallsBack)
{
    RegisterFake();
    g_log.setWallpaperResult = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    g_app.fit = Tile;

    EXPECT_TRUE(ApplyWallpaper(picture_));

    EXPECT_EQ(g_log.created, 1);
    EXPECT_EQ(std::tuple(g_log.destroyed, g_log.overReleased), std::tuple(g_log.created, false)) << "released once";
    EXPECT_EQ(DesktopValues(), (Values{picture_, L"0", L"1"}));
}

TEST_F(ApplyTest, UnavailableObjectFallsBack)
{
    // Not registered (as under Wine; on Windows the factory says so), refused by its factory, or "created" empty.
    const HRESULT results[] = {REGDB_E_CLASSNOTREG, E_OUTOFMEMORY, S_OK};
    for (int variant = 0; variant < 3; ++variant) {
        if (!cookie_ && (variant > 0 || !RunningUnderWine())) {
            RegisterFake();
        }
        g_log.createResult = results[variant];
        g_log.createNull = variant == 2;
        const std::wstring path = Picture(variant);

        EXPECT_TRUE(ApplyWallpaper(path)) << "variant " << variant;

        EXPECT_EQ(DesktopValues(), (Values{path, L"10", L"0"})) << "variant " << variant;
    }
    EXPECT_EQ(std::tuple(g_log.created, g_log.wallpapers.size()), std::tuple(0, size_t{0})) << "objects, pictures";
}

TEST_F(ApplyTest, LegacyRouteWritesBothStyleValuesForEachFit)
{
    for (const auto& [fit, position, style, tile] : kFitTable) {
        g_app.fit = static_cast<FitMode>(fit);
        const std::wstring path = Picture(static_cast<int>(fit));

        EXPECT_TRUE(ApplyWallpaperLegacy(path));

        EXPECT_EQ(DesktopValues(), (Values{path, style, tile})) << "fit " << fit;
        DWORD bytes = 0;
        RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"WallpaperStyle", RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
        EXPECT_EQ(bytes, (wcslen(style) + 1) * sizeof(wchar_t)) << "terminator counted";
    }
}

// The desktop redraws when the change is broadcast; by then the style must be in place.
TEST_F(ApplyTest, StyleIsWrittenBeforeTheChangeIsBroadcast)
{
    static std::wstring styleAtBroadcast;
    const WNDPROC listen = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_SETTINGCHANGE && wParam == SPI_SETDESKWALLPAPER) {
            styleAtBroadcast = Desktop(L"WallpaperStyle");
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    };
    HWND listener = CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(listener, nullptr);
    SetWindowLongPtrW(listener, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(listen));
    styleAtBroadcast.clear();
    g_app.fit = Fit;

    EXPECT_TRUE(ApplyWallpaperLegacy(picture_));
    DestroyWindow(listener);

    EXPECT_EQ(styleAtBroadcast, L"6");
}

// Copies the whole Desktop key away and back, so that a test can delete it.
struct DesktopKeyBackup {
    static constexpr wchar_t kBackup[] = L"Software\\BackdriftTests\\DesktopBackup";
    static bool Copy(const wchar_t* from, const wchar_t* to)
    {
        HKEY target = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr);
        const bool copied = target && SHCopyKeyW(HKEY_CURRENT_USER, from, target, 0) == ERROR_SUCCESS;
        RegCloseKey(target);
        return copied;
    }
    DesktopKeyBackup()
    {
        SHDeleteKeyW(HKEY_CURRENT_USER, kBackup);
        saved = Copy(kDesktopKey, kBackup);
    }
    ~DesktopKeyBackup()
    {
        SHDeleteKeyW(HKEY_CURRENT_USER, kDesktopKey);
        Copy(kBackup, kDesktopKey);
        SHDeleteKeyW(HKEY_CURRENT_USER, kBackup);
    }
    bool saved = false;
};

TEST_F(ApplyTest, WallpaperCallDecidesAloneWhenTheDesktopKeyIsMissing)
{
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "deleting the Desktop key of a live Windows session (fonts, metrics, screen saver) is unsafe";
    }
    DesktopKeyBackup backup;
    ASSERT_TRUE(backup.saved);
    ASSERT_EQ(SHDeleteKeyW(HKEY_CURRENT_USER, kDesktopKey), ERROR_SUCCESS);
    HKEY probe = nullptr;
    ASSERT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &probe), ERROR_SUCCESS);

    const bool applied = ApplyWallpaper(picture_);

    EXPECT_EQ(std::tuple(Desktop(L"WallpaperStyle"), Desktop(L"TileWallpaper")), std::tuple(L"<absent>", L"<absent>"));
    // Whatever the system answers in this state is the answer.
    SHDeleteKeyW(HKEY_CURRENT_USER, kDesktopKey);
    EXPECT_EQ(applied, SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(picture_.c_str()),
                                             SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != FALSE);
}

} // namespace

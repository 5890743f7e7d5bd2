#include "app/app_state.h"
#include "test_support.h"
#include "wallpaper/apply.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr wchar_t kDesktopKey[] = L"Control Panel\\Desktop";

// What the fake desktop-wallpaper objects were asked to do.
struct FakeLog {
    HRESULT createResult = S_OK;
    bool createNull = false;
    HRESULT setPositionResult = S_OK;
    HRESULT setWallpaperResult = S_OK;
    int created = 0;
    int destroyed = 0;
    bool overReleased = false;
    std::vector<DESKTOP_WALLPAPER_POSITION> positions;
    std::vector<std::pair<bool, std::wstring>> wallpapers; // monitor given?, path
};
FakeLog g_log;

class FakeDesktopWallpaper final : public IDesktopWallpaper {
public:
    FakeDesktopWallpaper() { ++g_log.created; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (riid == IID_IUnknown || riid == IID_IDesktopWallpaper) {
            *object = static_cast<IDesktopWallpaper*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        if (refs_ == 0) {
            g_log.overReleased = true;
            return 0;
        }
        if (--refs_ == 0) {
            ++g_log.destroyed;
            delete this;
            return 0;
        }
        return refs_;
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
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        *object = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        if (FAILED(g_log.createResult) || g_log.createNull) {
            return g_log.createResult;
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
        WriteRegString(HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper", L"untouched");
        WriteRegString(HKEY_CURRENT_USER, kDesktopKey, L"WallpaperStyle", L"untouched");
        WriteRegString(HKEY_CURRENT_USER, kDesktopKey, L"TileWallpaper", L"untouched");
    }
    void TearDown() override
    {
        if (cookie_) {
            CoRevokeClassObject(cookie_);
        }
    }

    void RegisterFake()
    {
        ASSERT_EQ(CoRegisterClassObject(CLSID_DesktopWallpaper, &factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie_),
                  S_OK);
    }
    static std::wstring Desktop(const wchar_t* name)
    {
        return ReadRegString(HKEY_CURRENT_USER, kDesktopKey, name).value_or(L"<absent>");
    }
    void ExpectNoFallback()
    {
        EXPECT_EQ(Desktop(L"Wallpaper"), L"untouched");
        EXPECT_EQ(Desktop(L"WallpaperStyle"), L"untouched");
        EXPECT_EQ(Desktop(L"TileWallpaper"), L"untouched");
    }
    void ExpectEveryObjectReleasedOnce()
    {
        EXPECT_EQ(g_log.destroyed, g_log.created);
        EXPECT_FALSE(g_log.overReleased);
    }

    RegValueGuard wallpaper_{HKEY_CURRENT_USER, kDesktopKey, L"Wallpaper"};
    RegValueGuard style_{HKEY_CURRENT_USER, kDesktopKey, L"WallpaperStyle"};
    RegValueGuard tile_{HKEY_CURRENT_USER, kDesktopKey, L"TileWallpaper"};
    FakeFactory factory_;
    DWORD cookie_ = 0;
    // Windows shows only pictures it can open; Wine records any path.
    std::wstring Picture(int n) const
    {
        const std::wstring path = pictures_ / (L"Sea" + std::to_wstring(n) + L".jpg");
        Touch(path);
        return path;
    }
    TempDir pictures_;
    const std::wstring picture_ = pictures_ / L"Sea.jpg";
};

struct FitRow {
    uint32_t fit;
    DESKTOP_WALLPAPER_POSITION position;
    const wchar_t* style;
    const wchar_t* tile;
};
const FitRow kFitTable[] = {
    {Fill, DWPOS_FILL, L"10", L"0"},       {Fit, DWPOS_FIT, L"6", L"0"},       {Stretch, DWPOS_STRETCH, L"2", L"0"},
    {Tile, DWPOS_TILE, L"0", L"1"},        {Center, DWPOS_CENTER, L"0", L"0"}, {5, DWPOS_FILL, L"10", L"0"},
    {0xFFFFFFFF, DWPOS_FILL, L"10", L"0"},
};

TEST_F(ApplyTest, DesktopWallpaperObjectGetsThePositionForEachFit)
{
    RegisterFake();
    for (const FitRow& row : kFitTable) {
        g_log.positions.clear();
        g_log.wallpapers.clear();
        g_app.fit = static_cast<FitMode>(row.fit);

        EXPECT_TRUE(ApplyWallpaper(picture_));

        EXPECT_EQ(g_log.positions, std::vector<DESKTOP_WALLPAPER_POSITION>{row.position}) << "fit " << row.fit;
        ASSERT_EQ(g_log.wallpapers.size(), 1u);
        EXPECT_FALSE(g_log.wallpapers[0].first) << "every monitor, not one";
        EXPECT_EQ(g_log.wallpapers[0].second, picture_);
    }
    ExpectEveryObjectReleasedOnce();
    ExpectNoFallback();
}

TEST_F(ApplyTest, RefusedPositionDoesNotStopThePicture)
{
    RegisterFake();
    g_log.setPositionResult = E_INVALIDARG;

    EXPECT_TRUE(ApplyWallpaper(picture_));

    EXPECT_EQ(g_log.wallpapers.size(), 1u);
    ExpectEveryObjectReleasedOnce();
    ExpectNoFallback();
}

TEST_F(ApplyTest, RefusedPictureReleasesTheObjectThenFallsBack)
{
    RegisterFake();
    g_log.setWallpaperResult = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    g_app.fit = Tile;

    EXPECT_TRUE(ApplyWallpaper(picture_));

    EXPECT_EQ(g_log.created, 1);
    ExpectEveryObjectReleasedOnce();
    EXPECT_EQ(Desktop(L"Wallpaper"), picture_);
    EXPECT_EQ(Desktop(L"WallpaperStyle"), L"0");
    EXPECT_EQ(Desktop(L"TileWallpaper"), L"1");
}

TEST_F(ApplyTest, UnavailableObjectFallsBack)
{
    // Not registered at all (as under Wine; on Windows the factory says so),
    // refused by its factory, or "created" without an object.
    for (int variant = 0; variant < 3; ++variant) {
        if (variant == 0 && !RunningUnderWine()) {
            RegisterFake();
            g_log.createResult = REGDB_E_CLASSNOTREG;
        }
        if (variant == 1 && !cookie_) {
            RegisterFake();
        }
        if (variant == 1) {
            g_log.createResult = E_OUTOFMEMORY;
        }
        if (variant == 2) {
            g_log.createResult = S_OK;
            g_log.createNull = true;
        }
        const std::wstring path = Picture(variant);

        EXPECT_TRUE(ApplyWallpaper(path)) << "variant " << variant;

        EXPECT_EQ(Desktop(L"Wallpaper"), path) << "variant " << variant;
        EXPECT_EQ(Desktop(L"WallpaperStyle"), L"10");
        EXPECT_TRUE(g_log.wallpapers.empty());
    }
    EXPECT_EQ(g_log.created, 0);
}

TEST_F(ApplyTest, LegacyRouteWritesBothStyleValuesForEachFit)
{
    for (const FitRow& row : kFitTable) {
        g_app.fit = static_cast<FitMode>(row.fit);
        const std::wstring path = Picture(static_cast<int>(row.fit));

        EXPECT_TRUE(ApplyWallpaperLegacy(path));

        EXPECT_EQ(Desktop(L"WallpaperStyle"), row.style) << "fit " << row.fit;
        EXPECT_EQ(Desktop(L"TileWallpaper"), row.tile) << "fit " << row.fit;
        EXPECT_EQ(Desktop(L"Wallpaper"), path);
        DWORD bytes = 0;
        RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"WallpaperStyle", RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
        EXPECT_EQ(bytes, (wcslen(row.style) + 1) * sizeof(wchar_t)) << "terminator counted";
    }
}

// The desktop redraws when the change is broadcast; by then the style must be in place.
std::wstring g_styleAtBroadcast;
LRESULT CALLBACK ListenerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SETTINGCHANGE && wParam == SPI_SETDESKWALLPAPER) {
        g_styleAtBroadcast = ReadRegString(HKEY_CURRENT_USER, kDesktopKey, L"WallpaperStyle").value_or(L"<absent>");
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(ApplyTest, StyleIsWrittenBeforeTheChangeIsBroadcast)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ListenerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BackdriftApplyTestListener";
    RegisterClassW(&windowClass);
    HWND listener = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
    ASSERT_NE(listener, nullptr);
    g_styleAtBroadcast.clear();
    g_app.fit = Fit;

    EXPECT_TRUE(ApplyWallpaperLegacy(picture_));
    DestroyWindow(listener);

    EXPECT_EQ(g_styleAtBroadcast, L"6");
}

// Copies a whole key away and back, so that a test can delete it.
class KeyBackup {
public:
    explicit KeyBackup(const wchar_t* key) : key_(key)
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, backup_.c_str());
        HKEY source = nullptr;
        HKEY target = nullptr;
        RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &source);
        RegCreateKeyExW(HKEY_CURRENT_USER, backup_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr);
        saved_ = source && target && RegCopyTreeW(source, nullptr, target) == ERROR_SUCCESS;
        RegCloseKey(source);
        RegCloseKey(target);
    }
    ~KeyBackup()
    {
        HKEY source = nullptr;
        HKEY target = nullptr;
        RegDeleteTreeW(HKEY_CURRENT_USER, key_);
        RegOpenKeyExW(HKEY_CURRENT_USER, backup_.c_str(), 0, KEY_READ, &source);
        RegCreateKeyExW(HKEY_CURRENT_USER, key_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr);
        if (source && target) {
            RegCopyTreeW(source, nullptr, target);
        }
        RegCloseKey(source);
        RegCloseKey(target);
        RegDeleteTreeW(HKEY_CURRENT_USER, backup_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, backup_.c_str());
    }
    bool saved() const { return saved_; }

private:
    const wchar_t* key_;
    const std::wstring backup_ = L"Software\\BackdriftTests\\DesktopBackup";
    bool saved_ = false;
};

TEST_F(ApplyTest, WallpaperCallDecidesAloneWhenTheDesktopKeyIsMissing)
{
    if (!RunningUnderWine()) {
        GTEST_SKIP() << "deleting the Desktop key of a live Windows session (fonts, metrics, screen saver) is unsafe";
    }
    KeyBackup backup(kDesktopKey);
    ASSERT_TRUE(backup.saved());
    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, kDesktopKey), ERROR_SUCCESS);
    RegDeleteKeyW(HKEY_CURRENT_USER, kDesktopKey);
    HKEY probe = nullptr;
    ASSERT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &probe), ERROR_SUCCESS);

    const bool applied = ApplyWallpaper(picture_);

    EXPECT_EQ(Desktop(L"WallpaperStyle"), L"<absent>");
    EXPECT_EQ(Desktop(L"TileWallpaper"), L"<absent>");
    // Whatever the system answers in this state is the answer.
    RegDeleteTreeW(HKEY_CURRENT_USER, kDesktopKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kDesktopKey);
    const bool system = SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(picture_.c_str()),
                                              SPIF_UPDATEINIFILE | SPIF_SENDCHANGE) != FALSE;
    EXPECT_EQ(applied, system);
}

} // namespace

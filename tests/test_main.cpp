#include "test_support.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shobjidl.h>

namespace {

// On a Windows machine the tests work on the user's own settings folder and
// desktop: the folder is put aside and the wallpaper noted before, and both
// are back afterwards. (Under Wine the prefix is the tests' own.) A folder
// put aside by a run that was killed is kept, not overwritten.
class UsersOwnSettings : public testing::Environment {
public:
    void SetUp() override
    {
        if (RunningUnderWine()) {
            return;
        }
        if (!Exists(aside_)) {
            MoveFileExW(SettingsDir().c_str(), aside_.c_str(), 0);
        }
        WithDesktopWallpaper([&](IDesktopWallpaper* desktop) {
            LPWSTR path = nullptr;
            if (SUCCEEDED(desktop->GetWallpaper(nullptr, &path)) && path) {
                wallpaper_ = path;
            }
            CoTaskMemFree(path);
            desktop->GetPosition(&position_);
        });
    }
    void TearDown() override
    {
        if (RunningUnderWine()) {
            return;
        }
        if (Exists(aside_)) {
            RemoveTree(SettingsDir());
            MoveFileExW(aside_.c_str(), SettingsDir().c_str(), 0);
        }
        if (!wallpaper_.empty()) {
            WithDesktopWallpaper([&](IDesktopWallpaper* desktop) {
                desktop->SetPosition(position_);
                desktop->SetWallpaper(nullptr, wallpaper_.c_str());
            });
        }
    }

private:
    const std::wstring aside_ = SettingsDir() + L".before-tests";
    std::wstring wallpaper_;
    DESKTOP_WALLPAPER_POSITION position_ = DWPOS_FILL;
};

} // namespace

// The program's thread is a single-threaded COM apartment; so is every test's.
int main(int argc, char** argv)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new UsersOwnSettings); // owned by GoogleTest
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}

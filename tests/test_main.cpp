#include "test_support.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <vector>

namespace {

// On Windows the tests work on the user's own settings folder and desktop: the folder is put aside for the run
// and each monitor's wallpaper set again after it. The only folder ever deleted is the one the tests made.
class UsersOwnSettings {
public:
    // False, with the reason printed, when the user's folder cannot be put aside: no test may run then.
    bool PutAside()
    {
        // A killed run left the user's folder aside: it goes back first, what took its place is kept beside it.
        std::wstring kept = dir_ + L".after-a-killed-test-run";
        for (int n = 2; Exists(kept); ++n) {
            kept = dir_ + L".after-a-killed-test-run (" + std::to_wstring(n) + L")";
        }
        bool arranged = !Exists(aside_) || ((!Exists(dir_) || Move(dir_, kept)) && Move(aside_, dir_));
        if (arranged && Exists(kept)) {
            std::fwprintf(stderr, L"A killed test run had left %ls aside; it is back, what took its place is %ls.\n",
                          dir_.c_str(), kept.c_str());
        }
        hadFolder_ = arranged && Exists(dir_);
        arranged = arranged && (!hadFolder_ || Move(dir_, aside_));
        if (!arranged) {
            std::fwprintf(stderr, L"The tests do not run, so that nothing of %ls is touched.\n", dir_.c_str());
            return false;
        }
        // Each monitor's own picture, if any: asked for all at once, the shell answers an empty path when they differ.
        WithDesktopWallpaper([&](IDesktopWallpaper* desktop) {
            desktop->GetPosition(&position_);
            UINT count = 0;
            desktop->GetMonitorDevicePathCount(&count);
            for (UINT i = 0; i < count; ++i) {
                LPWSTR monitor = nullptr, picture = nullptr;
                if (SUCCEEDED(desktop->GetMonitorDevicePathAt(i, &monitor)) &&
                    SUCCEEDED(desktop->GetWallpaper(monitor, &picture)) && picture && *picture) {
                    wallpapers_.emplace_back(monitor, picture);
                }
                CoTaskMemFree(picture);
                CoTaskMemFree(monitor);
            }
        });
        return true;
    }

    void PutBack()
    {
        RemoveTree(dir_); // the tests' own: the user's is aside
        if (hadFolder_ && !Move(aside_, dir_)) {
            std::fwprintf(stderr, L"The settings folder of before the tests is kept as %ls.\n", aside_.c_str());
        }
        WithDesktopWallpaper([&](IDesktopWallpaper* desktop) {
            desktop->SetPosition(position_);
            for (const auto& [monitor, picture] : wallpapers_) {
                desktop->SetWallpaper(monitor.c_str(), picture.c_str());
            }
        });
    }

private:
    static bool Move(const std::wstring& from, const std::wstring& to)
    {
        const bool moved = MoveFileExW(from.c_str(), to.c_str(), 0) != FALSE;
        if (!moved) {
            std::fwprintf(stderr, L"Cannot move %ls to %ls (error %lu).\n", from.c_str(), to.c_str(), GetLastError());
        }
        return moved;
    }

    const std::wstring dir_ = SettingsDir();
    const std::wstring aside_ = SettingsDir() + L".before-tests";
    bool hadFolder_ = false;
    std::vector<std::pair<std::wstring, std::wstring>> wallpapers_;
    DESKTOP_WALLPAPER_POSITION position_ = DWPOS_FILL;
};

} // namespace

// The program's thread is a single-threaded COM apartment; so is every test's.
int main(int argc, char** argv)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    testing::InitGoogleTest(&argc, argv);
    UsersOwnSettings users;
    const bool usersOwn = !RunningUnderWine(); // Wine's prefix is the tests' own
    const bool ready = !usersOwn || users.PutAside();
    const int result = ready ? RUN_ALL_TESTS() : 1;
    if (usersOwn && ready) {
        users.PutBack();
    }
    CoUninitialize();
    return result;
}

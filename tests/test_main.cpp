#include "test_support.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shobjidl.h>

#include <cstdio>
#include <utility>
#include <vector>

namespace {

// On a Windows machine the tests work on the user's own settings folder and
// desktop, so the folder is put aside before the first test and back after
// the last, and each monitor's wallpaper is noted and set again. (Under Wine
// the prefix is the tests' own.) Nothing here ever deletes a folder that may
// hold the user's settings: only the one the tests themselves made.
class UsersOwnSettings {
public:
    // False, with the reason printed, when the user's folder cannot be put
    // aside; the tests must then not run at all.
    bool PutAside()
    {
        if (RunningUnderWine()) {
            return true;
        }
        if (!Arrange()) {
            std::fwprintf(stderr, L"The tests do not run, so that nothing of %ls is touched.\n", dir_.c_str());
            return false;
        }
        NoteWallpapers();
        return true;
    }

    void PutBack()
    {
        if (RunningUnderWine()) {
            return;
        }
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
    bool Arrange()
    {
        // A run that was killed left the user's folder aside: it goes back
        // first, and whatever took its place meanwhile is kept beside it.
        if (Exists(aside_)) {
            if (Exists(dir_)) {
                const std::wstring kept = FreeName(dir_ + L".after-a-killed-test-run");
                if (!Move(dir_, kept)) {
                    return false;
                }
                std::fwprintf(stderr,
                              L"A killed test run had put %ls aside; it is back, and the folder found in its "
                              L"place is kept as %ls.\n",
                              dir_.c_str(), kept.c_str());
            }
            if (!Move(aside_, dir_)) {
                return false;
            }
        }
        hadFolder_ = Exists(dir_);
        return !hadFolder_ || Move(dir_, aside_);
    }

    static bool Move(const std::wstring& from, const std::wstring& to)
    {
        if (MoveFileExW(from.c_str(), to.c_str(), 0)) {
            return true;
        }
        std::fwprintf(stderr, L"Cannot move %ls to %ls (error %lu).\n", from.c_str(), to.c_str(), GetLastError());
        return false;
    }

    static std::wstring FreeName(const std::wstring& base)
    {
        std::wstring name = base;
        for (int n = 2; Exists(name); ++n) {
            name = base + L" (" + std::to_wstring(n) + L")";
        }
        return name;
    }

    // Each monitor's own picture: asked for all monitors at once, the shell
    // answers an empty path when they differ. A slideshow or a solid colour
    // has no picture path and is not noted.
    void NoteWallpapers()
    {
        WithDesktopWallpaper([&](IDesktopWallpaper* desktop) {
            desktop->GetPosition(&position_);
            UINT count = 0;
            desktop->GetMonitorDevicePathCount(&count);
            for (UINT i = 0; i < count; ++i) {
                LPWSTR monitor = nullptr;
                LPWSTR picture = nullptr;
                if (SUCCEEDED(desktop->GetMonitorDevicePathAt(i, &monitor)) &&
                    SUCCEEDED(desktop->GetWallpaper(monitor, &picture)) && picture && *picture) {
                    wallpapers_.emplace_back(monitor, picture);
                }
                CoTaskMemFree(picture);
                CoTaskMemFree(monitor);
            }
        });
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
    int result = 1;
    if (users.PutAside()) {
        result = RUN_ALL_TESTS();
        users.PutBack();
    }
    CoUninitialize();
    return result;
}

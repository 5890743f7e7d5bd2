#include "app/app_state.h"
#include "test_support.h"
#include "wallpaper/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

namespace {

using Names = std::vector<std::wstring>;

class ScanTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetAppState();
        g_app.folder = dir.path();
    }

    void TouchAll(std::initializer_list<const wchar_t*> names) const
    {
        std::ranges::for_each(names, [this](const wchar_t* name) { Touch(dir / name); });
    }
    // Names of the scanned entries, after checking that each is the folder plus one backslash.
    Names ScannedNames() const
    {
        ScanFolder();
        Names names;
        for (const std::wstring& path : g_app.images) {
            EXPECT_EQ(path.rfind(dir.path() + L"\\", 0), 0u) << Narrow(path);
            names.push_back(path.substr(dir.path().size() + 1));
        }
        return names;
    }

    TempDir dir;
};

TEST_F(ScanTest, TakesOnlyTopLevelPicturesSortedCaseInsensitively)
{
    TouchAll({L"b.JPG", L"A.png", L".gif", L"c.txt", L"noext", L"photo.jpg.bak"});
    CreateDirectoryW((dir / L"sub.jpg").c_str(), nullptr);
    Touch(dir / L"sub.jpg\\inner.jpg");

    EXPECT_EQ(ScannedNames(), (Names{L".gif", L"A.png", L"b.JPG"}));
}

TEST_F(ScanTest, OrdersByUpperCasedCodeUnitsWithoutNumericRuns)
{
    TouchAll({L"2.jpg", L"a_b.jpg", L"10.jpg", L"aB.jpg", L"Z.png", L"\u00e9t\u00e9.png"});

    EXPECT_EQ(ScannedNames(), (Names{L"10.jpg", L"2.jpg", L"aB.jpg", L"a_b.jpg", L"Z.png", L"\u00e9t\u00e9.png"}));
}

TEST_F(ScanTest, ExtensionTestIgnoresAsciiCaseOnly)
{
    for (const wchar_t* name : {L"a.jpg", L"a.JPEG", L"a.Png", L"a.bmp", L"a.gif", L"x.Jfif", L"a.tif", L"x.TIFF",
                                L"a.webp", L"a.WebP", L"dots.in.name.jpg"}) {
        EXPECT_TRUE(IsImageFileName(name)) << Narrow(name);
    }
    for (const wchar_t* name :
         {L"name.", L"x.jpe", L"x.heic", L"jpg", L"x.jpg ", L"x.j\u0130f", L"x.jpgx", L"photo.jpg.bak", L""}) {
        EXPECT_FALSE(IsImageFileName(name)) << Narrow(name);
    }
}

TEST_F(ScanTest, HiddenAndSystemPicturesAreTaken)
{
    TouchAll({L"hidden.jpg", L"system.png"});
    SetFileAttributesW((dir / L"hidden.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((dir / L"system.png").c_str(), FILE_ATTRIBUTE_SYSTEM);

    EXPECT_EQ(ScannedNames(), (Names{L"hidden.jpg", L"system.png"}));
}

TEST_F(ScanTest, TrailingBackslashGivesTheSamePaths)
{
    Touch(dir / L"one.jpg");
    EXPECT_EQ(ScannedNames(), Names{L"one.jpg"});

    g_app.folder = dir.path() + L"\\";
    EXPECT_EQ(ScannedNames(), Names{L"one.jpg"});
}

TEST_F(ScanTest, IndexIsBroughtIntoRange)
{
    TouchAll({L"1.jpg", L"2.jpg", L"3.jpg", L"4.jpg", L"5.jpg"});
    const std::pair<int32_t, int32_t> cases[] = {{7, 0}, {5, 0}, {-3, -1}, {3, 3}, {4, 4}, {0, 0}, {-1, -1}};
    for (const auto& [stored, expected] : cases) {
        g_app.index = stored;
        ScanFolder();
        EXPECT_EQ(g_app.index, expected) << "stored " << stored;
    }
}

TEST_F(ScanTest, FolderWithoutPicturesClearsIndex)
{
    Touch(dir / L"readme.txt");
    g_app.index = 3;

    EXPECT_EQ(ScannedNames(), Names{});
    EXPECT_EQ(g_app.index, -1);
}

TEST_F(ScanTest, UnreadableOrUnsetFolderKeepsIndexAndEndsTheCycle)
{
    for (const std::wstring& folder : {dir / L"missing", dir / L"file.jpg", std::wstring()}) {
        Touch(dir / L"file.jpg");
        g_app.folder = folder;
        g_app.images = {L"stale.jpg"};
        g_app.shuffleOrder = {0};
        g_app.shufflePos = 1;
        g_app.index = 6;

        ScanFolder();

        EXPECT_EQ(std::tuple(g_app.images.size(), g_app.shuffleOrder.size(), g_app.shufflePos, g_app.index),
                  std::tuple(0u, 0u, 0u, 6))
            << Narrow(folder);
    }
}

TEST_F(ScanTest, EveryScanEndsTheShuffleCycle)
{
    TouchAll({L"a.jpg", L"b.jpg"});
    g_app.shuffleOrder = {1, 0};
    g_app.shufflePos = 1;

    EXPECT_EQ(ScannedNames().size(), 2u);
    EXPECT_EQ(std::tuple(g_app.shuffleOrder.size(), g_app.shufflePos), std::tuple(0u, 0u));
}

// Names of ASCII and other letters in both cases sort as the system's case-insensitive ordinal comparison does.
TEST_F(ScanTest, OrderIsTheSystemsCaseInsensitiveOrdinalOrder)
{
    const std::wstring letters = L"aAbBzZ_-~ 09.\u00e9\u00c9\u00df\u0141\u0142\u03a3\u03c3\u03c2\uff21\uff41\u4e00";
    std::mt19937 rng(7);
    for (int file = 0; file < 300; ++file) {
        std::wstring name;
        for (size_t length = 1 + rng() % 6; length > 0; --length) {
            name += letters[rng() % letters.size()];
        }
        Touch(dir / (name + L".jpg"));
    }

    ScanFolder();

    ASSERT_GT(g_app.images.size(), 200u);
    const auto wrong = std::ranges::adjacent_find(g_app.images, [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(b.c_str(), -1, a.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    EXPECT_TRUE(wrong == g_app.images.end()) << Narrow(*wrong) << " before " << Narrow(wrong[1]);
}

// The pictures that the run command shows on a first run.
TEST(DemoPicturesTest, AreAllFoundAndLoad)
{
    ResetAppState();
    g_app.folder = ModuleDir() + L"\\demo";
    ScanFolder();

    EXPECT_EQ(g_app.images.size(), 4u);
    for (const std::wstring& path : g_app.images) {
        HBITMAP picture = static_cast<HBITMAP>(LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
        BITMAP size = {};
        EXPECT_TRUE(picture && GetObjectW(picture, sizeof(size), &size)) << Narrow(path);
        EXPECT_GE(size.bmWidth, 1024) << Narrow(path);
        DeleteObject(picture);
    }
}

} // namespace

#include "app/app_state.h"
#include "settings/settings.h"
#include "test_support.h"
#include "tray/tray.h"
#include "wallpaper/apply.h"
#include "wallpaper/rotation.h"
#include "wallpaper/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <ranges>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Paths = std::vector<std::wstring>;
using Indexes = std::vector<int32_t>;

constexpr wchar_t kNoImages[] = L"No images found in the selected folder.";
constexpr wchar_t kNoneSet[] = L"Could not set any wallpaper from this folder.";

// What the swap asked of the wallpaper, the settings file and the tray, through the doubles at the end of this file.
struct SwapRecorder {
    std::set<std::wstring> refused; // paths that ApplyWallpaper fails for
    Paths applied;
    Indexes savedIndexes; // g_app.index at each SaveSettings
    Paths balloons;
    int tipUpdates = 0;
    std::function<void()> duringApply; // runs inside the next ApplyWallpaper, once
} g_swap;

class SwapTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetAppState();
        g_swap = SwapRecorder();
        g_app.folder = dir.path();
    }

    // A folder of `count` pictures named 0.jpg, 1.jpg, ..., scanned; the next swap starts after `index`.
    void MakePictures(int count, int32_t index = -1, RotationMode mode = Sequential)
    {
        for (int i = 0; i < count; ++i) {
            Touch(Picture(i));
        }
        ScanFolder();
        ASSERT_EQ(g_app.images.size(), static_cast<size_t>(count));
        g_app.index = index;
        g_app.mode = mode;
    }
    std::wstring Picture(int i) const { return dir / (std::to_wstring(i) + L".jpg"); }
    void DeletePictures(int count) const
    {
        for (int i = 0; i < count; ++i) {
            DeleteFileW(Picture(i).c_str());
        }
    }

    // The picture position each of `swaps` swaps saved, from a fresh record: one save a swap.
    static Indexes Swaps(int swaps)
    {
        for (int i = 0; i < swaps; ++i) {
            SwapWallpaper();
        }
        EXPECT_EQ(g_swap.savedIndexes.size(), static_cast<size_t>(swaps));
        return g_swap.savedIndexes;
    }

    // One more swap; then all that the swaps applied, saved and reported since the start, and the position held.
    static void SwapAndExpect(const Paths& applied, const Indexes& saved, const Paths& balloons, int32_t index)
    {
        SwapWallpaper();
        EXPECT_EQ(std::tuple(g_swap.applied, g_swap.savedIndexes, g_swap.balloons, g_app.index),
                  std::tuple(applied, saved, balloons, index));
    }

    TempDir dir;
};

TEST_F(SwapTest, SequentialStepsAndWraps)
{
    MakePictures(5);
    for (const auto& [from, to] : {std::pair{-1, 0}, std::pair{2, 3}, std::pair{4, 0}}) {
        SCOPED_TRACE("from " + std::to_string(from));
        g_swap = SwapRecorder();
        g_app.index = from;

        SwapAndExpect({Picture(to)}, {to}, {}, to);
    }
}

TEST_F(SwapTest, DeletedNextPictureIsSkippedWithoutApplying)
{
    MakePictures(5, 2);
    DeleteFileW(Picture(3).c_str());

    SwapAndExpect({Picture(4)}, {4}, {}, 4);
}

TEST_F(SwapTest, RefusedPictureIsSkipped)
{
    MakePictures(3, 0);
    g_swap.refused = {Picture(1)};

    SwapAndExpect({Picture(1), Picture(2)}, {2}, {}, 2);
}

TEST_F(SwapTest, OnlyPictureThatCannotBeSetIsTriedTwiceThenReported)
{
    MakePictures(1);
    g_swap.refused = {Picture(0)};

    SwapAndExpect({Picture(0), Picture(0)}, {}, {kNoneSet}, 0);
}

TEST_F(SwapTest, RecoveryRescansAndSetsTheFirstPicture)
{
    MakePictures(3, 0);
    // Every listed picture has gone, but a new one has arrived since the last scan.
    DeletePictures(3);
    Touch(dir / L"new.png");

    SwapAndExpect({dir / L"new.png"}, {0}, {}, 0);
}

TEST_F(SwapTest, AllRefusedKeepsTheLastCandidateUnsaved)
{
    MakePictures(3, 0);
    g_swap.refused = {Picture(0), Picture(1), Picture(2)};

    SwapAndExpect({Picture(1), Picture(2), Picture(0), Picture(0)}, {}, {kNoneSet}, 0);

    // The next swap starts after the failed candidate held in memory.
    g_swap.refused.clear();
    SwapAndExpect({Picture(1), Picture(2), Picture(0), Picture(0), Picture(1)}, {1}, {kNoneSet}, 1);
}

TEST_F(SwapTest, SwapNestedInsideApplyingDoesNotPullTheListAway)
{
    // A second click dispatched while a picture is applied: that swap finds every picture gone and rescans to nothing.
    MakePictures(3, 0);
    g_swap.refused = {Picture(1)};
    g_swap.duringApply = [this] {
        DeletePictures(3);
        SwapWallpaper();
    };

    SwapAndExpect({Picture(1)}, {}, {kNoneSet}, 1);
    EXPECT_TRUE(g_app.images.empty());
}

TEST_F(SwapTest, AllPicturesDeletedThenNoImages)
{
    MakePictures(3, 1);
    DeletePictures(3);

    SwapAndExpect({}, {}, {kNoneSet}, -1);

    SwapAndExpect({}, {}, {kNoneSet, kNoImages}, -1);
}

TEST_F(SwapTest, RemovedFolderKeepsTheLastFailedCandidate)
{
    MakePictures(4, 0);
    RemoveTree(dir.path());

    SwapAndExpect({}, {}, {kNoneSet}, 0); // tries went 1, 2, 3, 0
    EXPECT_TRUE(g_app.images.empty());
}

TEST_F(SwapTest, NoFolderOnlyShowsABalloon)
{
    g_app.folder.clear();
    g_app.images = {L"C:\\kept.jpg"};
    g_app.index = 0;

    SwapAndExpect({}, {}, {L"Pick a wallpaper folder first (right-click the icon)."}, 0);
    EXPECT_EQ(g_app.images, Paths{L"C:\\kept.jpg"});
}

TEST_F(SwapTest, EmptyListIsRescannedFirst)
{
    Touch(Picture(0));
    Touch(Picture(1));
    ASSERT_TRUE(g_app.images.empty());

    SwapAndExpect({Picture(0)}, {0}, {}, 0);

    DeletePictures(2);
    g_app.images.clear();
    SwapAndExpect({Picture(0)}, {0}, {kNoImages}, -1);
}

TEST_F(SwapTest, RandomShowsEveryPictureOncePerCycleAndNeverRepeatsAcrossCycles)
{
    // What a shuffle guarantees holds whatever the seed: a new one each run.
    const uint32_t seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    g_app.rng.seed(seed);
    for (const int count : {3, 4, 7}) { // each folder the last one and a few more pictures
        g_swap = SwapRecorder();
        MakePictures(count, -1, Random);

        const Indexes shown = Swaps(count * 200);

        for (auto start = shown.begin(); shown.end() - start >= count; start += count) {
            ASSERT_TRUE(std::ranges::is_permutation(std::views::counted(start, count), std::views::iota(0, count)))
                << "count " << count << ", cycle at " << start - shown.begin();
            ASSERT_TRUE(start == shown.begin() || *start != start[-1])
                << "repeat across the boundary at " << start - shown.begin();
        }
    }
    // With no picture to avoid, every order is reached and none is favoured, as one drawn from a wrong range would be:
    // 10,000 draws of each order expected, within six standard deviations (about one false alarm in ten million runs).
    g_app.index = -1;
    for (const auto& [count, orders] : {std::pair{3, 6}, std::pair{4, 24}}) {
        g_app.images.assign(static_cast<size_t>(count), L"x");
        std::map<std::vector<uint32_t>, int> seen;
        for (int draw = 0; draw < orders * 10000; ++draw) {
            BuildShuffleOrder();
            ++seen[g_app.shuffleOrder];
        }
        EXPECT_EQ(seen.size(), static_cast<size_t>(orders)) << "count " << count;
        const double spread = 6 * std::sqrt(10000 * (1 - 1.0 / orders));
        for (const auto& [order, times] : seen) {
            EXPECT_LE(std::abs(times - 10000), spread) << "count " << count << ", first " << order[0];
        }
    }
}

TEST_F(SwapTest, RandomWithTwoPicturesAlternates)
{
    MakePictures(2, 1, Random);

    Indexes alternating;
    for (int i = 0; i < 100; ++i) {
        alternating.push_back(i % 2);
    }

    EXPECT_EQ(Swaps(100), alternating);
}

TEST_F(SwapTest, RandomWithOnePictureDrawsNothing)
{
    MakePictures(1, -1, Random);
    g_app.shuffleOrder = {0};
    g_app.shufflePos = 1;
    const std::mt19937 before = g_app.rng;

    EXPECT_EQ(Swaps(3), (Indexes{0, 0, 0}));
    EXPECT_TRUE(g_app.rng == before);
    EXPECT_EQ(std::tuple(g_app.shuffleOrder, g_app.shufflePos), std::tuple(std::vector<uint32_t>{0}, 1u));
}

TEST_F(SwapTest, RandomAfterPickStartsAFreshCycle)
{
    MakePictures(5, -1, Random);

    SwapWallpaper();

    ASSERT_EQ(g_app.shuffleOrder.size(), 5u);
    EXPECT_EQ(g_app.shufflePos, 1u);
    EXPECT_EQ(g_swap.savedIndexes, Indexes{static_cast<int32_t>(g_app.shuffleOrder[0])});
}

TEST_F(SwapTest, ModeChangeIsSavedAndStartsAFreshCycle)
{
    MakePictures(3, 2, Random);
    g_app.shuffleOrder = {1, 2, 0}; // a cycle left half done, whose next picture is the one on show
    g_app.shufflePos = 1;

    SetRotationMode(Sequential);
    EXPECT_EQ(g_app.mode, Sequential);
    SetRotationMode(Random);
    SwapWallpaper();

    EXPECT_EQ(g_app.mode, Random);
    ASSERT_EQ(g_swap.savedIndexes.size(), 3u) << "each change saved, then the swap";
    EXPECT_NE(g_swap.savedIndexes[2], 2) << "the picture on show, again";
}

TEST_F(SwapTest, AStartedFolderShowsItsFirstPictureOrSaysItHasNone)
{
    MakePictures(4, 2); // chosen again while at its third picture
    TempDir empty;

    StartFolder(dir.path());
    StartFolder(empty.path());

    EXPECT_EQ(std::tuple(g_app.folder, g_swap.tipUpdates, g_swap.applied, g_swap.savedIndexes, g_swap.balloons),
              std::tuple(empty.path(), 2, Paths{Picture(0)}, Indexes{-1, 0, -1}, Paths{L"That folder has no images."}));
}

TEST_F(SwapTest, NewCycleNeverStartsWithTheCurrentPicture)
{
    g_app.images.assign(6, L"x");
    std::map<uint32_t, int> firsts;
    for (int round = 0; round < 600; ++round) {
        g_app.index = round % 6;
        g_app.shufflePos = 3;
        BuildShuffleOrder();

        ASSERT_TRUE(std::ranges::is_permutation(g_app.shuffleOrder, std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
        ASSERT_NE(g_app.shuffleOrder[0], static_cast<uint32_t>(g_app.index));
        ASSERT_EQ(g_app.shufflePos, 0u);
        ++firsts[g_app.shuffleOrder[0]];
    }
    EXPECT_EQ(firsts.size(), 6u);
}

TEST(DrawUpToTest, StaysInRangeAndIsEven)
{
    std::mt19937 rng(12345);
    for (const uint32_t upper : {0u, 1u, 2u, 6u, 0x80000000u}) {
        for (int i = 0; i < 1000; ++i) {
            ASSERT_LE(DrawUpTo(rng, upper), upper);
        }
    }
    // 0..2 over 2^32 outputs is where a plain modulo would favour 0.
    int counts[3] = {};
    for (int i = 0; i < 30000; ++i) {
        ++counts[DrawUpTo(rng, 2)];
    }
    for (const int count : counts) {
        EXPECT_NEAR(count, 10000, 500);
    }
    std::mt19937 a(7), b(7);
    EXPECT_EQ(DrawUpTo(a, 0xFFFFFFFFu), b());
}

// Gives the outputs it is told to: the few at the top of 2^32 that a plain modulo would fold low must be drawn again.
struct ScriptedEngine {
    using result_type = uint32_t;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return 0xFFFFFFFFu; }
    result_type operator()() { return outputs.at(next++); }
    std::vector<uint32_t> outputs;
    size_t next = 0;
};

TEST(DrawUpToTest, DrawsAgainInsteadOfFoldingTheTopOutputs)
{
    // Upper bound, the engine's outputs (all of them to be drawn), the value drawn.
    const std::tuple<uint32_t, std::vector<uint32_t>, uint32_t> cases[] = {
        {2, {0xFFFFFFFFu, 5}, 2},                        // 2^32 leaves 1 over 3: the last output is drawn again
        {2, {0xFFFFFFFEu}, 2},                           // the one below it is kept
        {0x80000000u, {0x80000001u, 0xFFFFFFFFu, 7}, 7}, // half the range and one more: the top half again
        {0x80000000u, {0x80000000u}, 0x80000000u},
        {5, {0xFFFFFFFCu, 0xFFFFFFFBu}, 0xFFFFFFFBu % 6}, // 2^32 leaves 4 over 6
    };
    for (const auto& [upper, outputs, expected] : cases) {
        ScriptedEngine engine{outputs};
        EXPECT_EQ(DrawUpTo(engine, upper), expected) << "upper " << upper;
        EXPECT_EQ(engine.next, outputs.size()) << "upper " << upper;
    }
}

} // namespace

// Link-time doubles of the units a swap calls besides the scan.
bool ApplyWallpaper(const std::wstring& path)
{
    g_swap.applied.push_back(path);
    if (auto during = std::exchange(g_swap.duringApply, nullptr)) {
        during();
    }
    return g_swap.refused.count(path) == 0;
}

void SaveSettings()
{
    g_swap.savedIndexes.push_back(g_app.index);
}

void ShowBalloon(const wchar_t* message)
{
    g_swap.balloons.emplace_back(message);
}

void UpdateTrayTip()
{
    ++g_swap.tipUpdates;
}

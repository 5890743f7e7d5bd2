#include "app/app_state.h"
#include "doubles/swap_doubles.h"
#include "test_support.h"
#include "wallpaper/rotation.h"
#include "wallpaper/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

namespace {

using Paths = std::vector<std::wstring>;
using Indexes = std::vector<int32_t>;

constexpr wchar_t kNoImages[] = L"No images found in the selected folder.";
constexpr wchar_t kNoneSet[] = L"Could not set any wallpaper from this folder.";

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

    // Each successful swap's picture position, for `swaps` swaps.
    Indexes Swaps(int swaps)
    {
        Indexes shown;
        for (int i = 0; i < swaps; ++i) {
            SwapWallpaper();
            EXPECT_FALSE(g_swap.savedIndexes.empty());
            shown.push_back(g_swap.savedIndexes.back());
        }
        return shown;
    }

    // One more swap; then all that the swaps applied, saved and reported since the start.
    static void SwapAndExpect(const Paths& applied, const Indexes& saved, const Paths& balloons)
    {
        SwapWallpaper();
        EXPECT_EQ(g_swap.applied, applied);
        EXPECT_EQ(g_swap.savedIndexes, saved);
        EXPECT_EQ(g_swap.balloons, balloons);
    }

    TempDir dir;
};

TEST_F(SwapTest, SequentialStepsAndWraps)
{
    MakePictures(5);
    const std::pair<int32_t, int32_t> cases[] = {{-1, 0}, {2, 3}, {4, 0}};
    for (const auto& [from, to] : cases) {
        SCOPED_TRACE("from " + std::to_string(from));
        g_swap = SwapRecorder();
        g_app.index = from;

        SwapAndExpect({Picture(to)}, {to}, {});
    }
}

TEST_F(SwapTest, DeletedNextPictureIsSkippedWithoutApplying)
{
    MakePictures(5, 2);
    DeleteFileW(Picture(3).c_str());

    SwapAndExpect({Picture(4)}, {4}, {});
    EXPECT_EQ(g_app.index, 4);
}

TEST_F(SwapTest, RefusedPictureIsSkipped)
{
    MakePictures(3, 0);
    g_swap.refused = {Picture(1)};

    SwapAndExpect({Picture(1), Picture(2)}, {2}, {});
}

TEST_F(SwapTest, OnlyPictureThatCannotBeSetIsTriedTwiceThenReported)
{
    MakePictures(1);
    g_swap.refused = {Picture(0)};

    SwapAndExpect({Picture(0), Picture(0)}, {}, {kNoneSet});
}

TEST_F(SwapTest, RecoveryRescansAndSetsTheFirstPicture)
{
    MakePictures(3, 0);
    // Every listed picture has gone, but a new one has arrived since the last scan.
    DeletePictures(3);
    Touch(dir / L"new.png");

    SwapAndExpect({dir / L"new.png"}, {0}, {});
}

TEST_F(SwapTest, AllRefusedKeepsTheLastCandidateUnsaved)
{
    MakePictures(3, 0);
    g_swap.refused = {Picture(0), Picture(1), Picture(2)};

    SwapAndExpect({Picture(1), Picture(2), Picture(0), Picture(0)}, {}, {kNoneSet});
    EXPECT_EQ(g_app.index, 0);

    // The next swap starts after the failed candidate held in memory.
    g_swap.refused.clear();
    SwapAndExpect({Picture(1), Picture(2), Picture(0), Picture(0), Picture(1)}, {1}, {kNoneSet});
}

TEST_F(SwapTest, SwapNestedInsideApplyingDoesNotPullTheListAway)
{
    // While a picture is being applied the thread can dispatch a second
    // click; that swap finds every picture gone and rescans to nothing.
    MakePictures(3, 0);
    g_swap.refused = {Picture(1)};
    g_swap.duringApply = [this] {
        DeletePictures(3);
        SwapWallpaper();
    };

    SwapAndExpect({Picture(1)}, {}, {kNoneSet});
    EXPECT_TRUE(g_app.images.empty());
}

TEST_F(SwapTest, AllPicturesDeletedThenNoImages)
{
    MakePictures(3, 1);
    DeletePictures(3);

    SwapAndExpect({}, {}, {kNoneSet});
    EXPECT_EQ(g_app.index, -1);

    SwapAndExpect({}, {}, {kNoneSet, kNoImages});
}

TEST_F(SwapTest, RemovedFolderKeepsTheLastFailedCandidate)
{
    MakePictures(4, 0);
    RemoveTree(dir.path());

    SwapAndExpect({}, {}, {kNoneSet});
    EXPECT_TRUE(g_app.images.empty());
    EXPECT_EQ(g_app.index, 0); // tries went 1, 2, 3, 0
}

TEST_F(SwapTest, NoFolderOnlyShowsABalloon)
{
    g_app.folder.clear();
    g_app.images = {L"C:\\kept.jpg"};
    g_app.index = 0;

    SwapAndExpect({}, {}, {L"Pick a wallpaper folder first (right-click the icon)."});
    EXPECT_EQ(g_app.images, Paths{L"C:\\kept.jpg"});
    EXPECT_EQ(g_app.index, 0);
}

TEST_F(SwapTest, EmptyListIsRescannedFirst)
{
    Touch(Picture(0));
    Touch(Picture(1));
    ASSERT_TRUE(g_app.images.empty());

    SwapAndExpect({Picture(0)}, {0}, {});

    DeletePictures(2);
    g_app.images.clear();
    SwapAndExpect({Picture(0)}, {0}, {kNoImages});
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

        Indexes every(static_cast<size_t>(count));
        std::iota(every.begin(), every.end(), 0);
        for (auto start = shown.begin(); start != shown.end(); start += count) {
            Indexes cycle(start, start + count);
            std::sort(cycle.begin(), cycle.end());
            ASSERT_EQ(cycle, every) << "count " << count << ", cycle at " << start - shown.begin();
            if (start != shown.begin()) {
                ASSERT_NE(*start, start[-1]) << "repeat across the boundary at " << start - shown.begin();
            }
        }
    }
    // With no picture to avoid, every order is reached and none is favoured,
    // as one drawn from a wrong range would be: 10,000 draws of each order
    // expected, within six standard deviations (a false alarm about once in
    // ten million runs).
    g_app.index = -1;
    for (const int count : {3, 4}) {
        g_app.images.assign(static_cast<size_t>(count), L"x");
        const int orders = count == 3 ? 6 : 24;
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

    const Indexes shown = Swaps(100);

    for (size_t i = 0; i < shown.size(); ++i) {
        ASSERT_EQ(shown[i], static_cast<int32_t>(i % 2)) << "swap " << i;
    }
}

TEST_F(SwapTest, RandomWithOnePictureDrawsNothing)
{
    MakePictures(1, -1, Random);
    g_app.shuffleOrder = {0};
    g_app.shufflePos = 1;
    const std::mt19937 before = g_app.rng;

    EXPECT_EQ(Swaps(3), (Indexes{0, 0, 0}));
    EXPECT_TRUE(g_app.rng == before);
    EXPECT_EQ(g_app.shuffleOrder, std::vector<uint32_t>{0});
    EXPECT_EQ(g_app.shufflePos, 1u);
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

    EXPECT_EQ(g_app.folder, empty.path());
    EXPECT_EQ(g_swap.tipUpdates, 2);
    EXPECT_EQ(g_swap.applied, Paths{Picture(0)});
    EXPECT_EQ(g_swap.savedIndexes, (Indexes{-1, 0, -1}));
    EXPECT_EQ(g_swap.balloons, Paths{L"That folder has no images."});
}

TEST_F(SwapTest, NewCycleNeverStartsWithTheCurrentPicture)
{
    g_app.images.assign(6, L"x");
    std::map<uint32_t, int> firsts;
    for (int round = 0; round < 600; ++round) {
        g_app.index = round % 6;
        g_app.shufflePos = 3;
        BuildShuffleOrder();

        std::vector<uint32_t> sorted = g_app.shuffleOrder;
        std::sort(sorted.begin(), sorted.end());
        ASSERT_EQ(sorted, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
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

// An engine that gives the outputs it is told to: the few at the top of the
// 2^32 range that a plain modulo would fold onto the low values must be drawn again.
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

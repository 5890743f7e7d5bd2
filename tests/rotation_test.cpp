#include "app/app_state.h"
#include "doubles/swap_doubles.h"
#include "test_support.h"
#include "wallpaper/rotation.h"
#include "wallpaper/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

using Paths = std::vector<std::wstring>;
using Indexes = std::vector<int32_t>;

constexpr wchar_t kNoFolder[] = L"Pick a wallpaper folder first (right-click the icon).";
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

    // A folder of `count` pictures named 0.jpg, 1.jpg, ..., scanned.
    void MakePictures(int count)
    {
        for (int i = 0; i < count; ++i) {
            Touch(Picture(i));
        }
        ScanFolder();
        ASSERT_EQ(g_app.images.size(), static_cast<size_t>(count));
    }
    std::wstring Picture(int i) const { return dir / (std::to_wstring(i) + L".jpg"); }

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

    TempDir dir;
};

TEST_F(SwapTest, SequentialStepsAndWraps)
{
    MakePictures(5);
    const std::pair<int32_t, int32_t> cases[] = {{-1, 0}, {2, 3}, {4, 0}};
    for (const auto& [from, to] : cases) {
        g_swap = SwapRecorder();
        g_app.index = from;

        SwapWallpaper();

        EXPECT_EQ(g_swap.applied, Paths{Picture(to)}) << "from " << from;
        EXPECT_EQ(g_swap.savedIndexes, Indexes{to});
        EXPECT_TRUE(g_swap.balloons.empty());
    }
}

TEST_F(SwapTest, DeletedNextPictureIsSkippedWithoutApplying)
{
    MakePictures(5);
    g_app.index = 2;
    DeleteFileW(Picture(3).c_str());

    SwapWallpaper();

    EXPECT_EQ(g_swap.applied, Paths{Picture(4)});
    EXPECT_EQ(g_swap.savedIndexes, Indexes{4});
    EXPECT_EQ(g_app.index, 4);
    EXPECT_TRUE(g_swap.balloons.empty());
}

TEST_F(SwapTest, RefusedPictureIsSkipped)
{
    MakePictures(3);
    g_app.index = 0;
    g_swap.refused = {Picture(1)};

    SwapWallpaper();

    EXPECT_EQ(g_swap.applied, (Paths{Picture(1), Picture(2)}));
    EXPECT_EQ(g_swap.savedIndexes, Indexes{2});
}

TEST_F(SwapTest, OnlyPictureThatCannotBeSetIsTriedTwiceThenReported)
{
    MakePictures(1);
    g_swap.refused = {Picture(0)};

    SwapWallpaper();

    EXPECT_EQ(g_swap.applied, (Paths{Picture(0), Picture(0)}));
    EXPECT_TRUE(g_swap.savedIndexes.empty());
    EXPECT_EQ(g_swap.balloons, Paths{kNoneSet});
}

TEST_F(SwapTest, RecoveryRescansAndSetsTheFirstPicture)
{
    MakePictures(3);
    g_app.index = 0;
    // Every listed picture has gone, but a new one has arrived since the last scan.
    for (int i = 0; i < 3; ++i) {
        DeleteFileW(Picture(i).c_str());
    }
    Touch(dir / L"new.png");

    SwapWallpaper();

    EXPECT_EQ(g_swap.applied, Paths{dir / L"new.png"});
    EXPECT_EQ(g_swap.savedIndexes, Indexes{0});
    EXPECT_TRUE(g_swap.balloons.empty());
}

TEST_F(SwapTest, AllRefusedKeepsTheLastCandidateUnsaved)
{
    MakePictures(3);
    g_app.index = 0;
    g_swap.refused = {Picture(0), Picture(1), Picture(2)};

    SwapWallpaper();

    EXPECT_EQ(g_swap.applied, (Paths{Picture(1), Picture(2), Picture(0), Picture(0)}));
    EXPECT_TRUE(g_swap.savedIndexes.empty());
    EXPECT_EQ(g_swap.balloons, Paths{kNoneSet});
    EXPECT_EQ(g_app.index, 0);

    // The next swap starts after the failed candidate held in memory.
    g_swap.refused.clear();
    SwapWallpaper();
    EXPECT_EQ(g_swap.savedIndexes, Indexes{1});
}

TEST_F(SwapTest, SwapNestedInsideApplyingDoesNotPullTheListAway)
{
    // While a picture is being applied the thread can dispatch a second
    // click; that swap finds every picture gone and rescans to nothing.
    MakePictures(3);
    g_app.index = 0;
    g_swap.refused = {Picture(1)};
    g_swap.duringApply = [this] {
        for (int i = 0; i < 3; ++i) {
            DeleteFileW(Picture(i).c_str());
        }
        SwapWallpaper();
    };

    SwapWallpaper();

    EXPECT_TRUE(g_app.images.empty());
    EXPECT_EQ(g_swap.applied, Paths{Picture(1)});
    EXPECT_EQ(g_swap.balloons, Paths{kNoneSet});
    EXPECT_TRUE(g_swap.savedIndexes.empty());
}

TEST_F(SwapTest, AllPicturesDeletedThenNoImages)
{
    MakePictures(3);
    g_app.index = 1;
    for (int i = 0; i < 3; ++i) {
        DeleteFileW(Picture(i).c_str());
    }

    SwapWallpaper();

    EXPECT_TRUE(g_swap.applied.empty());
    EXPECT_EQ(g_swap.balloons, Paths{kNoneSet});
    EXPECT_EQ(g_app.index, -1);
    EXPECT_TRUE(g_swap.savedIndexes.empty());

    SwapWallpaper();
    EXPECT_EQ(g_swap.balloons, (Paths{kNoneSet, kNoImages}));
    EXPECT_TRUE(g_swap.savedIndexes.empty());
}

TEST_F(SwapTest, RemovedFolderKeepsTheLastFailedCandidate)
{
    MakePictures(4);
    g_app.index = 0;
    g_app.folder = dir / L"gone";
    for (std::wstring& path : g_app.images) {
        path = dir / L"gone\\" + path.substr(path.rfind(L'\\') + 1);
    }

    SwapWallpaper();

    EXPECT_TRUE(g_swap.applied.empty());
    EXPECT_EQ(g_swap.balloons, Paths{kNoneSet});
    EXPECT_TRUE(g_app.images.empty());
    EXPECT_EQ(g_app.index, 0); // tries went 1, 2, 3, 0
    EXPECT_TRUE(g_swap.savedIndexes.empty());
}

TEST_F(SwapTest, NoFolderOnlyShowsABalloon)
{
    g_app.folder.clear();
    g_app.images = {L"C:\\kept.jpg"};
    g_app.index = 0;

    SwapWallpaper();

    EXPECT_EQ(g_swap.balloons, Paths{kNoFolder});
    EXPECT_EQ(g_app.images, Paths{L"C:\\kept.jpg"});
    EXPECT_EQ(g_app.index, 0);
    EXPECT_TRUE(g_swap.applied.empty());
    EXPECT_TRUE(g_swap.savedIndexes.empty());
}

TEST_F(SwapTest, EmptyListIsRescannedFirst)
{
    Touch(Picture(0));
    Touch(Picture(1));
    ASSERT_TRUE(g_app.images.empty());

    SwapWallpaper();
    EXPECT_EQ(g_swap.savedIndexes, Indexes{0});

    g_app.folder = dir / L"empty";
    CreateDirectoryW(g_app.folder.c_str(), nullptr);
    g_app.images.clear();
    SwapWallpaper();
    EXPECT_EQ(g_swap.balloons, Paths{kNoImages});
}

// ---- Random order ---------------------------------------------------------

TEST_F(SwapTest, RandomShowsEveryPictureOncePerCycleAndNeverRepeatsAcrossCycles)
{
    for (const int count : {3, 4, 7}) {
        g_swap = SwapRecorder();
        RemoveTree(dir.path());
        CreateDirectoryW(dir.path().c_str(), nullptr);
        MakePictures(count);
        g_app.mode = Random;
        g_app.index = -1;
        g_app.rng.seed(static_cast<uint32_t>(count) * 7919u);

        const Indexes shown = Swaps(count * 200);

        for (size_t start = 0; start < shown.size(); start += static_cast<size_t>(count)) {
            Indexes cycle(shown.begin() + static_cast<long>(start), shown.begin() + static_cast<long>(start) + count);
            std::sort(cycle.begin(), cycle.end());
            for (int i = 0; i < count; ++i) {
                ASSERT_EQ(cycle[static_cast<size_t>(i)], i) << "count " << count << ", cycle at " << start;
            }
            if (start > 0) {
                ASSERT_NE(shown[start], shown[start - 1]) << "repeat across the boundary at " << start;
            }
        }
        // Shuffled, not a fixed order: the first cycles are not all the same.
        EXPECT_NE(Indexes(shown.begin(), shown.begin() + count),
                  Indexes(shown.begin() + count, shown.begin() + 2 * count));
    }
}

TEST_F(SwapTest, RandomWithTwoPicturesAlternates)
{
    MakePictures(2);
    g_app.mode = Random;
    g_app.index = 1;

    const Indexes shown = Swaps(100);

    for (size_t i = 0; i < shown.size(); ++i) {
        ASSERT_EQ(shown[i], static_cast<int32_t>(i % 2)) << "swap " << i;
    }
}

TEST_F(SwapTest, RandomWithOnePictureDrawsNothing)
{
    MakePictures(1);
    g_app.mode = Random;
    g_app.shuffleOrder = {0};
    g_app.shufflePos = 1;
    const std::mt19937 before = g_app.rng;

    const Indexes shown = Swaps(3);

    EXPECT_EQ(shown, (Indexes{0, 0, 0}));
    EXPECT_TRUE(g_app.rng == before);
    EXPECT_EQ(g_app.shuffleOrder, std::vector<uint32_t>{0});
    EXPECT_EQ(g_app.shufflePos, 1u);
}

TEST_F(SwapTest, RandomAfterPickStartsAFreshCycle)
{
    MakePictures(5);
    g_app.mode = Random;

    SwapWallpaper();

    ASSERT_EQ(g_app.shuffleOrder.size(), 5u);
    EXPECT_EQ(g_app.shufflePos, 1u);
    EXPECT_EQ(g_swap.savedIndexes, Indexes{static_cast<int32_t>(g_app.shuffleOrder[0])});
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
    std::mt19937 a(7);
    std::mt19937 b(7);
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
    struct Case {
        uint32_t upper;
        std::vector<uint32_t> outputs;
        uint32_t expected;
    };
    const Case cases[] = {
        {2, {0xFFFFFFFFu, 5}, 2},                        // 2^32 leaves 1 over 3: the last output is drawn again
        {2, {0xFFFFFFFEu}, 2},                           // the one below it is kept
        {0x80000000u, {0x80000001u, 0xFFFFFFFFu, 7}, 7}, // half the range and one more: the top half again
        {0x80000000u, {0x80000000u}, 0x80000000u},
        {5, {0xFFFFFFFCu, 0xFFFFFFFBu}, 0xFFFFFFFBu % 6}, // 2^32 leaves 4 over 6
    };
    for (const Case& c : cases) {
        ScriptedEngine engine;
        engine.outputs = c.outputs;
        EXPECT_EQ(DrawUpTo(engine, c.upper), c.expected) << "upper " << c.upper;
        EXPECT_EQ(engine.next, c.outputs.size()) << "upper " << c.upper;
    }
}

} // namespace

#include "output/rules/CaptureTrigger.h"
#include "sampling/RunControl.h"
#include "sampling/StatRec.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

using flowloom::output::CaptureTrigger;
namespace fs = std::filesystem;

namespace {

struct TempDir
{
    fs::path path = fs::temp_directory_path() /
                    ("flowloom-trigger-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
};

// The window's tick as far as page capture goes: counters raised, two warm-up
// ticks that skip the rest, then the page limit and the capture trigger.
struct TickRun
{
    int points;
    int pages;
    bool stopAfterPages;
    flowloom::sampling::RunCounters counters;
    bool running = true;
    std::vector<int> captures;
    int tickNumber = 0;

    TickRun(int pointsPerPage, int pageLimit, bool stop)
        : points(pointsPerPage), pages(pageLimit), stopAfterPages(stop)
    {}

    void tick()
    {
        ++tickNumber;
        counters.raiseAll();
        if (counters.WarmUpCount <= 2)
            return;
        if (flowloom::sampling::pageLimitReached(pages, points, counters.StopCount)) {
            counters.StopCount = 0;
            running = !stopAfterPages; // a restart leaves CaptureCount alone
        }
        if (CaptureTrigger::due(counters.CaptureCount, points, true, true)) {
            captures.push_back(tickNumber);
            counters.CaptureCount = 0;
        }
    }
};

} // namespace

TEST(CaptureTrigger, APageThatHasPassedAnExistingFolderAndTheBoxChecked)
{
    EXPECT_FALSE(CaptureTrigger::due(9, 10, true, true));
    EXPECT_TRUE(CaptureTrigger::due(10, 10, true, true));
    EXPECT_TRUE(CaptureTrigger::due(25, 10, true, true)); // overdue: at once
    EXPECT_FALSE(CaptureTrigger::due(10, 10, false, true));
    EXPECT_FALSE(CaptureTrigger::due(10, 10, true, false));
}

TEST(CaptureTrigger, FolderExistsWithOrWithoutTrailingSeparator)
{
    TempDir dir;
    EXPECT_TRUE(CaptureTrigger::folderExists(dir.path.string()));
    EXPECT_TRUE(CaptureTrigger::folderExists(dir.path.string() + "/"));
    EXPECT_FALSE(CaptureTrigger::folderExists((dir.path / "missing").string()));
    std::ofstream(dir.path / "file.txt") << "x";
    EXPECT_FALSE(CaptureTrigger::folderExists((dir.path / "file.txt").string()));
    EXPECT_FALSE(CaptureTrigger::folderExists(""));
}

TEST(CaptureTrigger, RhythmOfOnePerPageThroughStopAndRestart)
{
    // Stop after 3 pages of 10: captures on ticks 10, 20, 30; the clock stops
    // on tick 31, when StopCount first exceeds 30.
    TickRun stop{10, 3, true};
    while (stop.running)
        stop.tick();
    EXPECT_EQ(stop.captures, (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(stop.tickNumber, 31);

    // Restart clears the graph on ticks 31 and 62 but not the capture count,
    // which goes on from the last capture.
    TickRun restart{10, 3, false};
    for (int i = 0; i < 70; ++i)
        restart.tick();
    EXPECT_EQ(restart.captures, (std::vector<int>{10, 20, 30, 40, 50, 60, 70}));
}

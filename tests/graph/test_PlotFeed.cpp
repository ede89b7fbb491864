#include "chart/AxisError.h"
#include "graph/PlotFeed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

using namespace flowloom;
using graph::PlotFeed;
using graph::PlotFeedSettings;

namespace {

// The graph driven as the statistics engine drives it: every tick raises the
// counters; the first two after a start are warm-up ticks that feed nothing.
struct FeedRun
{
    chart::Chart chart;
    PlotFeed feed{chart};
    PlotFeedSettings settings;
    sampling::RunCounters counters;
    sampling::TStatRec rec;
    int seconds = 10 * 3600;
    int captures = 0;
    bool captureOn = false;

    explicit FeedRun(int points = 400)
    {
        settings.pointsPerPage = points;
        feed.startUp(settings);
    }

    sampling::DateTime now() const
    {
        return {2024, 3, 1, seconds / 3600 % 24, seconds / 60 % 60, seconds % 60};
    }

    // Returns whether the tick was shown (passed the warm-up).
    bool tick(std::uint32_t in = 2048, std::uint32_t out = 512)
    {
        ++seconds;
        counters.raiseAll();
        if (counters.WarmUpCount < 3)
            return false;
        rec.CurIn = in;
        rec.CurOut = out;
        rec.PeakIn = std::max<std::uint64_t>(rec.PeakIn, in);
        rec.PeakOut = std::max<std::uint64_t>(rec.PeakOut, out);
        feed.addShownTick(rec, settings, "0", "0", now());
        feed.tickTail(counters, settings, [this] {
            if (captureOn)
                ++captures;
            return captureOn;
        });
        return true;
    }

    double bottomMin() const { return chart.bottomAxis().minimum(); }
    double bottomMax() const { return chart.bottomAxis().maximum(); }
    double leftMax() const { return chart.leftAxis().maximum(); }
};

} // namespace

TEST(PlotFeed, StartUpTakesItsRangesFromTheLayoutAndTheSettings)
{
    FeedRun run(400);
    EXPECT_EQ(run.bottomMin(), -10.0); // kept from the window layout
    EXPECT_EQ(run.bottomMax(), 400.0);
    EXPECT_EQ(run.leftMax(), 800.0);
    EXPECT_EQ(run.chart.leftAxis().minimum(), -4.0);
    ASSERT_EQ(run.chart.seriesCount(), 4u);
    EXPECT_EQ(run.chart.series(0).name(), "Series1");
    EXPECT_EQ(run.chart.series(3).name(), "Series4");
    EXPECT_EQ(run.chart.series(0).kind(), chart::SeriesKind::Area);
    EXPECT_EQ(run.chart.series(2).kind(), chart::SeriesKind::Line);
}

TEST(PlotFeed, KiloBytesDivideBy1024AndBytesDoNot)
{
    FeedRun run;
    run.tick();
    run.tick();
    run.tick(2048, 512);
    EXPECT_EQ(run.feed.unitDivisor(), 1024.0);
    EXPECT_EQ(run.feed.series1().y(0), 2.0);
    EXPECT_EQ(run.feed.series3().y(0), 2.0);
    EXPECT_EQ(run.feed.series2().y(0), 0.5);
    EXPECT_EQ(run.feed.series4().y(0), 0.5);

    run.settings.kiloBytes = false;
    run.tick(2048, 0);
    EXPECT_EQ(run.feed.unitDivisor(), 1.0);
    EXPECT_EQ(run.feed.series1().y(1), 2048.0);
    EXPECT_EQ(run.feed.series2().y(1), 0.0);
    // Points already on the graph are not converted.
    EXPECT_EQ(run.feed.series1().y(0), 2.0);
}

TEST(PlotFeed, PeakRaisesTheMaximumOnePercentAboveItAndNeverLowersIt)
{
    FeedRun run;
    run.tick();
    run.tick();
    run.tick(1'000'000, 0);
    // 1,000,000 / 1024 = 976.5625, plus 1 % (9.765625).
    EXPECT_DOUBLE_EQ(run.leftMax(), 986.328125);
    run.rec.PeakIn = 0;
    run.tick(500'000, 0);
    EXPECT_DOUBLE_EQ(run.leftMax(), 986.328125);
    // The tick tail keeps the zero line just inside the plot.
    EXPECT_DOUBLE_EQ(run.chart.leftAxis().minimum(), -0.002 * 986.328125);

    // Upload is compared with the maximum that download may just have raised.
    run.rec.PeakIn = 0;
    run.tick(2'048'000, 2'000'000);
    EXPECT_DOUBLE_EQ(run.leftMax(), 2000.0 * 1.01);
    run.tick(0, 2'100'000);
    EXPECT_DOUBLE_EQ(run.leftMax(), 2'100'000.0 / 1024.0 * 1.01);

    // Without "Automatic" nothing moves the maximum.
    run.settings.automatic = false;
    run.tick(100'000'000, 0);
    EXPECT_DOUBLE_EQ(run.leftMax(), 2'100'000.0 / 1024.0 * 1.01);
}

TEST(PlotFeed, AverageRaisesTheMaximumHalfAboveTheDisplayedFigure)
{
    FeedRun run;
    run.settings.kiloBytes = false;
    run.settings.peak = false;
    run.settings.average = true;
    run.feed.spMaxChange(PlotFeedSettings{.maxValue = 1000.0});
    const sampling::DateTime now{2024, 3, 1, 12, 0, 0};
    run.feed.addShownTick(run.rec, run.settings, "1,234", "10", now);
    EXPECT_EQ(run.leftMax(), 1851.0);
    run.feed.addShownTick(run.rec, run.settings, " 1,300 ", "1,900", now);
    EXPECT_EQ(run.leftMax(), 2850.0); // 1,300 stays below 1,851; 1,900 does not

    // A displayed text that is no number ends the tick after the points were added.
    const std::size_t before = run.feed.series1().size();
    EXPECT_THROW(run.feed.addShownTick(run.rec, run.settings, "12a", "0", now),
                 std::invalid_argument);
    EXPECT_EQ(run.feed.series1().size(), before + 1);
    EXPECT_EQ(run.feed.series4().size(), before + 1);
    for (const char* bad : {"", "  ", "inf", "nan", "1e999", "1.2.3", "--4"})
        EXPECT_THROW(PlotFeed::displayedNumber(bad), std::invalid_argument) << bad;
    EXPECT_EQ(PlotFeed::displayedNumber("1,234,567"), 1234567.0);
    EXPECT_EQ(PlotFeed::displayedNumber("+12"), 12.0);
    EXPECT_EQ(run.leftMax(), 2850.0);
}

TEST(PlotFeed, UploadOffStillAddsUploadPointsButNeverRaisesTheMaximum)
{
    FeedRun run;
    run.settings.plotUpload = false;
    run.tick();
    run.tick();
    run.tick(1024, 10'240'000);
    EXPECT_EQ(run.leftMax(), 800.0);
    EXPECT_EQ(run.feed.series2().size(), 1u);
    EXPECT_EQ(run.feed.series4().y(0), 10'000.0);

    // With upload on and download off, the upload peak of 10,000 KB counts and
    // the larger download peak does not.
    run.settings.plotDownload = false;
    run.settings.plotUpload = true;
    run.tick(20'480'000, 0);
    EXPECT_DOUBLE_EQ(run.leftMax(), 10'000.0 * 1.01);
}

TEST(PlotFeed, AfterAClearTheWindowHoldsUntilThe98thPointThenFollowsTheNewest)
{
    FeedRun run(100);
    for (int i = 0; i < 30; ++i)
        run.tick();
    run.feed.btnClearClick(run.counters, run.settings);
    EXPECT_EQ(run.feed.series1().size(), 0u);
    EXPECT_EQ(run.bottomMin(), 0.0);
    EXPECT_EQ(run.bottomMax(), 100.0);

    for (int points = 1; points <= 97; ++points) {
        ASSERT_TRUE(run.tick());
        ASSERT_EQ(run.bottomMin(), 0.0) << points;
        ASSERT_EQ(run.bottomMax(), 100.0) << points;
    }
    for (int points = 98; points <= 300; ++points) {
        ASSERT_TRUE(run.tick());
        // The newest point, x = points - 1, stands at the right edge; the width stays 100.
        ASSERT_EQ(run.bottomMax(), points - 1.0) << points;
        ASSERT_EQ(run.bottomMin(), points - 101.0) << points;
    }
}

TEST(PlotFeed, AFreshStartFirstMovesAfterPointsPerPagePlusSix)
{
    for (int p : {100, 400}) {
        FeedRun run(p);
        EXPECT_FALSE(run.tick()); // two warm-up ticks, counted but not fed
        EXPECT_FALSE(run.tick());
        int points = 0;
        while (run.bottomMax() == p && points < p + 50) {
            ASSERT_TRUE(run.tick());
            ++points;
        }
        EXPECT_EQ(points, p + 6);
        EXPECT_EQ(run.bottomMax(), points - 1.0);
        EXPECT_EQ(run.bottomMax() - run.bottomMin(), p + 10.0);
        run.tick();
        EXPECT_EQ(run.bottomMax(), points + 0.0);
    }
}

TEST(PlotFeed, AWindowDraggedBackCatchesUpWithTheNewestPoint)
{
    FeedRun run(100);
    for (int i = 0; i < 250; ++i)
        run.tick();
    run.chart.bottomAxis().setRange(20.0, 120.0); // looking at older points
    run.tick();
    const double newest = static_cast<double>(run.feed.series1().size() - 1);
    EXPECT_EQ(run.bottomMax(), newest);
    EXPECT_EQ(run.bottomMin(), newest - 100.0);
}

TEST(PlotFeed, EveryLabelIsItsTimeOfAddition)
{
    FeedRun run;
    run.seconds = 9 * 3600 + 5 * 60 + 5; // the warm-up ticks pass 09:05:06 and 09:05:07
    run.tick();
    run.tick();
    run.tick();
    run.tick();
    EXPECT_EQ(run.feed.series1().label(0).text(), "  09:05:08  ");
    EXPECT_EQ(run.feed.series4().label(1).text(), "  09:05:09  ");
    const sampling::DateTime midnight{2024, 3, 2, 0, 0, 0};
    run.feed.addShownTick(run.rec, run.settings, "0", "0", midnight);
    EXPECT_EQ(run.feed.series2().label(2).text(), "  00:00:00  ");
}

TEST(PlotFeed, CapturesEveryPageAndAClearRestartsTheCount)
{
    FeedRun run(100);
    run.captureOn = true;
    for (int i = 0; i < 2 + 250; ++i)
        run.tick();
    // Counted from the first (warm-up) tick: full pages at ticks 100 and 200.
    EXPECT_EQ(run.captures, 2);
    EXPECT_EQ(run.counters.CaptureCount, 52);
    run.feed.btnClearClick(run.counters, run.settings);
    for (int i = 0; i < 99; ++i)
        run.tick();
    EXPECT_EQ(run.captures, 2);
    run.tick();
    EXPECT_EQ(run.captures, 3);

    // With capture off the count keeps growing and the next tick with capture on captures.
    run.captureOn = false;
    for (int i = 0; i < 150; ++i)
        run.tick();
    EXPECT_EQ(run.counters.CaptureCount, 150);
    run.captureOn = true;
    run.tick();
    EXPECT_EQ(run.captures, 4);
    EXPECT_EQ(run.counters.CaptureCount, 0);
}

TEST(PlotFeed, RestartStartsAnEmptyFirstPageAndKeepsTheRest)
{
    FeedRun run(100);
    for (int i = 0; i < 180; ++i)
        run.tick(1'000'000, 0);
    const double maximum = run.leftMax();
    const int captureCount = run.counters.CaptureCount;
    run.feed.restart(run.counters, run.settings);
    EXPECT_EQ(run.counters.ScrollCount, 0);
    EXPECT_EQ(run.counters.CaptureCount, captureCount);
    for (int s = 0; s < 4; ++s)
        EXPECT_TRUE(run.chart.series(static_cast<std::size_t>(s)).empty());
    EXPECT_EQ(run.bottomMin(), 0.0);
    EXPECT_EQ(run.bottomMax(), 100.0);
    EXPECT_EQ(run.leftMax(), maximum);
    run.tick();
    EXPECT_EQ(run.feed.series1().size(), 1u);
}

TEST(PlotFeed, TheAxisRefusesACrossingLimitAndTheHandlersDiscardIt)
{
    FeedRun run(100);
    EXPECT_THROW(run.chart.leftAxis().setMaximum(-50.0), chart::AxisError);
    EXPECT_THROW(run.chart.bottomAxis().setMinimum(1000.0), chart::AxisError);

    // A negative maximum: refused, the vertical axis stays as it was.
    PlotFeedSettings negative = run.settings;
    negative.maxValue = -50.0;
    EXPECT_NO_THROW(run.feed.spMaxChange(negative));
    EXPECT_EQ(run.leftMax(), 800.0);
    EXPECT_EQ(run.chart.leftAxis().minimum(), -4.0);
    // Between the minimum and zero the maximum is taken but -0.005 x it is
    // above it; the axis is put back as it was, not left half changed.
    negative.maxValue = -2.0;
    EXPECT_NO_THROW(run.feed.spMaxChange(negative));
    EXPECT_EQ(run.leftMax(), 800.0);
    EXPECT_EQ(run.chart.leftAxis().minimum(), -4.0);
    // Clear refuses it too: with a negative maximum no later tick could set
    // the floor of -0.002 x maximum, and every tick would fail.
    EXPECT_NO_THROW(run.feed.btnClearClick(run.counters, negative));
    EXPECT_EQ(run.leftMax(), 800.0);
    negative.automatic = false;
    run.feed.cbAutoClick(negative);
    EXPECT_EQ(run.leftMax(), 800.0);

    PlotFeedSettings valid = run.settings;
    valid.maxValue = 1000.0;
    run.feed.spMaxChange(valid);
    EXPECT_EQ(run.leftMax(), 1000.0);
    EXPECT_EQ(run.chart.leftAxis().minimum(), -5.0);

    // Points per page below a window that has moved on: refused and discarded.
    run.chart.bottomAxis().setRange(500.0, 600.0);
    PlotFeedSettings narrow = run.settings;
    narrow.pointsPerPage = 50;
    EXPECT_NO_THROW(run.feed.spPointsChange(narrow));
    EXPECT_EQ(run.bottomMax(), 600.0);
    narrow.pointsPerPage = 700;
    run.feed.spPointsChange(narrow);
    EXPECT_EQ(run.bottomMin(), 500.0); // the window widens at the right
    EXPECT_EQ(run.bottomMax(), 700.0);
}

TEST(PlotFeed, AutomaticOffAndClearBringTheMaximumBackToTheSetValue)
{
    FeedRun run;
    run.tick();
    run.tick();
    run.tick(10'240'000, 0);
    EXPECT_GT(run.leftMax(), 800.0);
    run.settings.automatic = false;
    run.feed.cbAutoClick(run.settings);
    EXPECT_EQ(run.leftMax(), 800.0);
    run.settings.automatic = true;
    run.tick(20'480'000, 0);
    run.feed.cbAutoClick(run.settings); // switching it on lowers nothing
    EXPECT_GT(run.leftMax(), 800.0);
    run.feed.btnClearClick(run.counters, run.settings);
    EXPECT_EQ(run.leftMax(), 800.0);
    EXPECT_EQ(run.counters.ScrollCount, 0);
    EXPECT_EQ(run.counters.CaptureCount, 0);
    EXPECT_EQ(run.counters.WarmUpCount, 4); // not touched
}

TEST(PlotFeed, SeriesActivationByStartByTheBoxesAndAtStartUp)
{
    FeedRun run;
    auto shown = [&] {
        std::string s;
        for (std::size_t i = 0; i < 4; ++i)
            s += run.chart.series(i).visible() ? '1' : '0';
        return s;
    };
    PlotFeedSettings s = run.settings;
    s.plotUpload = false;
    run.feed.activateSeriesAtStartUp(s); // both of the kind, whatever the boxes say
    EXPECT_EQ(shown(), "1100");
    run.feed.activateSeriesForStart(s);
    EXPECT_EQ(shown(), "1000");

    s.filled = false;
    run.feed.cbDoPlotClick(s); // only the selected kind's pair
    EXPECT_EQ(shown(), "1010");
    run.feed.activateSeriesForStart(s);
    EXPECT_EQ(shown(), "0010");
    s.plotUpload = true;
    run.feed.cbDoPlotClick(s);
    EXPECT_EQ(shown(), "0011");
    run.feed.activateSeriesAtStartUp(s);
    EXPECT_EQ(shown(), "0011");
}

TEST(PlotFeed, StepsApplyToAllFourAndTheUnitsRenameTheAxisLabel)
{
    FeedRun run;
    run.settings.steps = true;
    run.feed.rbStepsClick(run.settings);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_TRUE(run.chart.series(i).stepped());
    run.settings.steps = false;
    run.feed.rbRampClick(run.settings);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_FALSE(run.chart.series(i).stepped());

    EXPECT_EQ(PlotFeed::rbBytesClick(PlotFeedSettings{.kiloBytes = false}), "Bytes / sec");
    EXPECT_EQ(PlotFeed::rbBytesClick(PlotFeedSettings{.kiloBytes = true}), "KBytes / sec");
}

namespace {
enum class Follows { Peak, Average, Fit };

struct BurstResult
{
    double afterBurst = 0;
    double afterScrollingPast = 0;
};

// 2 KB/s for 20 ticks, one tick of 3 GB/s, then 2 KB/s until the burst has
// scrolled a whole page out of sight. The average mode is given the burst
// itself as its displayed average, so that it too has something to follow.
BurstResult runBurst(Follows follows)
{
    FeedRun run(100);
    run.settings.peak = follows == Follows::Peak;
    run.settings.average = follows == Follows::Average;
    run.settings.fit = follows == Follows::Fit;
    constexpr std::uint32_t kBurst = 3u * 1024 * 1024 * 1024; // 3 GB/s
    const std::string average = follows == Follows::Average ? "3,221,225,472" : "0";
    auto tick = [&](std::uint32_t in) {
        ++run.seconds;
        run.counters.raiseAll();
        if (run.counters.WarmUpCount < 3)
            return;
        run.rec.CurIn = in;
        run.rec.CurOut = 0;
        run.rec.PeakIn = std::max<std::uint64_t>(run.rec.PeakIn, in);
        run.feed.addShownTick(run.rec, run.settings, average, "0", run.now());
        run.feed.tickTail(run.counters, run.settings, [] { return false; });
    };
    for (int i = 0; i < 22; ++i)
        tick(2048);
    tick(kBurst);
    BurstResult result;
    result.afterBurst = run.leftMax();
    for (int i = 0; i < 250; ++i)
        tick(2048);
    result.afterScrollingPast = run.leftMax();
    return result;
}
} // namespace

TEST(PlotFeed, PeakAndAverageKeepABurstForTheSessionAndVisiblePageLetsItGo)
{
    // 3 GB/s in KB/s is 3,145,728.
    struct Case
    {
        Follows follows;
        double afterBurst;
        double afterScrollingPast;
    };
    const Case cases[] = {
        // Peak: 1 % above the peak, never lowered.
        {Follows::Peak, 3'145'728.0 * 1.01, 3'145'728.0 * 1.01},
        // Average: half above the displayed average, never lowered.
        {Follows::Average, 3'145'728.0 * 1.5, 3'145'728.0 * 1.5},
        // Visible page: 3,145,728 x 1.1 tidied to 4,000,000 while the burst
        // shows; then 2 KB/s x 1.1 = 2.2, tidied to 2.5.
        {Follows::Fit, 4'000'000.0, 2.5},
    };
    for (const Case& c : cases) {
        const BurstResult result = runBurst(c.follows);
        EXPECT_DOUBLE_EQ(result.afterBurst, c.afterBurst) << static_cast<int>(c.follows);
        EXPECT_DOUBLE_EQ(result.afterScrollingPast, c.afterScrollingPast)
            << static_cast<int>(c.follows);
    }
}

TEST(PlotFeed, VisiblePageFollowsThePageTickByTickUpAndDown)
{
    FeedRun run(50);
    run.settings.fit = true;
    run.tick();
    run.tick();
    // Only the first shown point: 10 KB/s -> 11 -> 12.
    run.tick(10 * 1024, 0);
    EXPECT_DOUBLE_EQ(run.leftMax(), 12.0);
    EXPECT_DOUBLE_EQ(run.chart.leftAxis().minimum(), -0.002 * 12.0);
    // A larger value raises it at once: 100 KB/s -> 110 -> 120.
    run.tick(100 * 1024, 0);
    EXPECT_DOUBLE_EQ(run.leftMax(), 120.0);
    const std::size_t burstX = run.feed.series1().size() - 1;
    // While the burst is on the page the maximum holds; the tick its point
    // leaves the page, the maximum comes down to the 10 KB/s left.
    bool cameDown = false;
    for (int i = 0; i < 120 && !cameDown; ++i) {
        run.tick(10 * 1024, 0);
        const bool burstShown = static_cast<double>(burstX) >= std::floor(run.bottomMin());
        EXPECT_DOUBLE_EQ(run.leftMax(), burstShown ? 120.0 : 12.0) << "tick " << i;
        cameDown = !burstShown;
    }
    EXPECT_TRUE(cameDown) << "the burst never left a 50-point page";

    // Upload counts as well, and only while "Plot upload" is checked.
    run.tick(0, 400 * 1024); // 440 -> 500
    EXPECT_DOUBLE_EQ(run.leftMax(), 500.0);
    run.settings.plotUpload = false;
    run.tick(0, 0);
    EXPECT_DOUBLE_EQ(run.leftMax(), 12.0);
    // With neither direction plotted the axis stays where it is.
    run.settings.plotDownload = false;
    run.tick(1024 * 1024, 1024 * 1024);
    EXPECT_DOUBLE_EQ(run.leftMax(), 12.0);
    // Without "Automatic" the fit does nothing either.
    run.settings.plotDownload = true;
    run.settings.automatic = false;
    run.tick(1024 * 1024, 0);
    EXPECT_DOUBLE_EQ(run.leftMax(), 12.0);
}

TEST(PlotFeed, VisiblePageAfterAClearOrOnAQuietPage)
{
    FeedRun run(100);
    run.settings.fit = true;
    run.tick();
    run.tick();
    run.tick(0, 0);
    // No traffic on the page: a range of 1 keeps the zero line visible.
    EXPECT_EQ(run.leftMax(), 1.0);
    run.tick(5 * 1024 * 1024, 0); // 5120 KB/s -> 5632 -> 6000
    EXPECT_EQ(run.leftMax(), 6000.0);
    // Clear sets "Maximum value" as before; the next tick fits the empty page's first point.
    run.feed.btnClearClick(run.counters, run.settings);
    EXPECT_EQ(run.leftMax(), 800.0);
    run.tick(3 * 1024, 0); // 3 -> 3.3 -> 4
    EXPECT_DOUBLE_EQ(run.leftMax(), 4.0);
}

TEST(PlotFeed, BitUnitsPlotDecimalBitsAndNameTheAxis)
{
    FeedRun run;
    run.settings.kbits = true;
    run.tick();
    run.tick();
    run.tick(125'000, 250); // 1,000 kbit/s and 2 kbit/s
    EXPECT_EQ(run.feed.unitDivisor(), 125.0);
    EXPECT_EQ(run.feed.series1().y(0), 1000.0);
    EXPECT_EQ(run.feed.series2().y(0), 2.0);
    run.settings.kbits = false;
    run.settings.mbits = true;
    run.tick(1'250'000, 0); // 10 Mbit/s
    EXPECT_EQ(run.feed.unitDivisor(), 125'000.0);
    EXPECT_EQ(run.feed.series1().y(1), 10.0);
    EXPECT_EQ(run.feed.series1().y(0), 1000.0) << "points already drawn keep their values";
    // Peak mode compares in the plotted unit: the first peak, 1,000 kbit/s,
    // raised 800 to 1,010; the new peak, 1,250,000 bytes, is 10 Mbit/s and
    // stays below it.
    EXPECT_EQ(run.leftMax(), 1000.0 * 1.01);

    EXPECT_EQ(PlotFeed::rbBytesClick(PlotFeedSettings{.kbits = true}), "kbit / sec");
    EXPECT_EQ(PlotFeed::rbBytesClick(PlotFeedSettings{.mbits = true}), "Mbit / sec");
    EXPECT_EQ(PlotFeed::rbBytesClick(PlotFeedSettings{.kiloBytes = false}), "Bytes / sec");
}

TEST(PlotFeed, ATickAcrossASleepIsAGapThatLeavesTheAxisAlone)
{
    FeedRun run(10);
    run.settings.automatic = true;
    run.settings.peak = true;
    while (!run.tick(2048, 512)) {
    }
    run.tick(4096, 1024);
    const double maximum = run.leftMax();
    const std::size_t before = run.feed.series1().size();

    // The sleep tick: a gap in every series, then the clock's tail as usual.
    ++run.seconds;
    run.counters.raiseAll();
    run.feed.addGapTick(run.settings, run.now());
    run.feed.tickTail(run.counters, run.settings, [] { return false; });
    for (const chart::Series* s :
         {&run.feed.series1(), &run.feed.series2(), &run.feed.series3(), &run.feed.series4()}) {
        ASSERT_EQ(s->size(), before + 1) << s->name();
        EXPECT_TRUE(s->isGap(before)) << s->name();
        EXPECT_EQ(s->y(before), 0.0) << s->name();
        EXPECT_EQ(s->label(before).secondsOfDay(), static_cast<std::uint32_t>(run.seconds % 86400))
            << s->name();
    }
    EXPECT_EQ(run.leftMax(), maximum) << "a sleep raises no axis";

    run.tick(2048, 512);
    EXPECT_FALSE(run.feed.series1().isGap(before + 1));
    EXPECT_EQ(run.feed.series1().y(before + 1), 2.0) << "2048 bytes/s in KB/s";
}

#include "sampling/NumberFormat.h"
#include "sampling/ScriptedSource.h"
#include "sampling/Statistics.h"

#include <gtest/gtest.h>

using namespace flowloom::sampling;
using S = ScriptedSource;

namespace {
// Feeds one interface's received counter through the engine, shown from the start.
struct OneInterface
{
    StatisticsEngine engine;
    RunCounters counters;
    explicit OneInterface(std::uint32_t startIn)
    {
        engine.InitGrid({S::row(1, "eth0", startIn, 0)});
        counters.WarmUpCount = 2; // past the warm-up
    }
    TickOutcome tick(std::uint32_t in, bool restarted = false)
    {
        TMIBIfRow row = S::row(1, "eth0", in, 0);
        row.inCounterReset = restarted;
        return engine.Data2Grid({&row}, 0, counters);
    }
    const TStatRec& rec() const { return engine.record(0); }
};
} // namespace

TEST(Statistics, RatesCountsSumsPeaksAndAverage)
{
    OneInterface eth(1000);
    std::vector<std::uint32_t> cur;
    for (std::uint32_t reading : {5000u, 5000u, 12000u}) {
        eth.tick(reading);
        cur.push_back(eth.rec().CurIn);
    }
    EXPECT_EQ(cur, (std::vector<std::uint32_t>{4000, 0, 7000}));
    EXPECT_EQ(eth.rec().InCount, 2u);
    EXPECT_EQ(eth.rec().SumIn, 11000u);
    EXPECT_EQ(eth.rec().PeakIn, 7000u);
    EXPECT_EQ(eth.rec().averageIn(), 5500u);
    EXPECT_EQ(eth.rec().averageOut(), 0u) << "no upload traffic yet";
}

TEST(Statistics, CounterWrapIsExactAndARestartAddsNoPhantomTraffic)
{
    OneInterface wrap(4294967296u - 296u);
    wrap.tick(200);
    EXPECT_EQ(wrap.rec().CurIn, 496u);

    OneInterface restart(3'000'000'000u);
    restart.tick(3'000'001'000u);
    restart.tick(700, /*restarted=*/true); // driver reload: the counter starts again
    EXPECT_EQ(restart.rec().CurIn, 700u);
    EXPECT_EQ(restart.rec().SumIn, 1700u);
    EXPECT_EQ(restart.rec().PeakIn, 1000u);
}

TEST(Statistics, SessionSumPassesFourGibibytes)
{
    OneInterface eth(0);
    std::uint32_t reading = 0;
    for (int i = 0; i < 5; ++i) {
        reading += 1'000'000'000u; // wraps past 2^32 along the way
        eth.tick(reading);
    }
    EXPECT_EQ(eth.rec().SumIn, 5'000'000'000ull);
}

TEST(Statistics, WarmUpEndsTheWholeTick)
{
    StatisticsEngine engine;
    engine.InitGrid({S::row(1, "lo", 0, 0), S::row(2, "eth0", 0, 0), S::row(3, "wlan0", 0, 0)});
    RunCounters counters;
    TMIBIfArray tick{S::row(1, "lo", 10, 0), S::row(2, "eth0", 20, 0), S::row(3, "wlan0", 30, 0)};
    auto rows = std::vector<const TMIBIfRow*>{&tick[0], &tick[1], &tick[2]};

    EXPECT_EQ(engine.Data2Grid(rows, 1, counters), TickOutcome::WarmUp);
    EXPECT_EQ(engine.record(1).SumIn, 20u) << "the selected row is updated before the warm-up";
    EXPECT_EQ(engine.record(2).SumIn, 0u) << "rows after the selected one wait a tick";
    EXPECT_EQ(engine.Data2Grid(rows, 1, counters), TickOutcome::WarmUp);
    EXPECT_EQ(engine.Data2Grid(rows, 1, counters), TickOutcome::Shown);
    EXPECT_EQ(engine.record(2).SumIn, 30u);
    EXPECT_EQ(counters.StopCount, 3);
    EXPECT_EQ(counters.ScrollCount, 3);
    EXPECT_EQ(counters.CaptureCount, 3);

    EXPECT_EQ(engine.Data2Grid(rows, -1, counters), TickOutcome::NoSelection);
    EXPECT_EQ(counters.StopCount, 3);
    // A tick table with more rows than records: the extras are ignored.
    TMIBIfRow extra = S::row(9, "new0", 1, 1);
    rows.push_back(&extra);
    EXPECT_EQ(engine.Data2Grid(rows, 1, counters), TickOutcome::Shown);
}

TEST(NumberFormat, ThousandsDecimalsAndRounding)
{
    EXPECT_EQ(fmt(1536, 0), "1,536");
    EXPECT_EQ(fmt(1536.0L / 1024, 1), "1.5");
    EXPECT_EQ(fmt(0, 0), "0");
    EXPECT_EQ(fmt(0, 3), "0.000");
    EXPECT_EQ(fmt(999, 0), "999");
    EXPECT_EQ(fmt(1000, 0), "1,000");
    EXPECT_EQ(fmt(2147483647, 0), "2,147,483,647");
    EXPECT_EQ(fmt(256.0L / 1024, 1), "0.3"); // half away from zero
    EXPECT_EQ(fmt(123456789.0L / 1048576, 3), "117.738");
    EXPECT_EQ(fmt(-1536, 0), "-1,536");
    // Byte totals past 12 digits stay exact; only decimals give way.
    EXPECT_EQ(fmt(12345678901234LL, 0), "12,345,678,901,234");
    EXPECT_EQ(fmt(1234567890.123456L, 3), "1,234,567,890.120");
    EXPECT_EQ(withoutThousands("1,234,567"), "1234567");
}

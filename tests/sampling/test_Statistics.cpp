#include "sampling/NumberFormat.h"
#include "sampling/ScriptedSource.h"
#include "sampling/Statistics.h"
#include "sampling/TotalsModel.h"

#include <gtest/gtest.h>

using namespace flowloom::sampling;
using S = ScriptedSource;

namespace {
// Feeds one interface's received counter through the engine, one tick a
// second, shown from the start.
struct OneInterface
{
    StatisticsEngine engine;
    RunCounters counters;
    std::int64_t nowMs = 0;
    explicit OneInterface(TMIBIfRow startup)
    {
        engine.InitGrid({startup}, nowMs, 0);
        counters.WarmUpCount = 2; // past the warm-up
    }
    explicit OneInterface(std::uint32_t startIn) : OneInterface(S::row(1, "eth0", startIn, 0)) {}
    TickResult tick(std::uint32_t in, bool restarted = false)
    {
        TMIBIfRow row = S::row(1, "eth0", in, 0);
        row.inCounterReset = restarted;
        return tick(row);
    }
    TickResult tick(const TMIBIfRow& row, std::int64_t afterMs = kTickIntervalMs)
    {
        return engine.Data2Grid({&row}, 0, counters, nowMs += afterMs);
    }
    const TStatRec& rec() const { return engine.record(0); }
};
} // namespace

TEST(Statistics, RatesCountsSumsPeaksAndAverage)
{
    OneInterface eth(1000);
    std::vector<std::uint64_t> cur;
    for (std::uint32_t reading : {5000u, 5000u, 12000u}) {
        eth.tick(reading);
        cur.push_back(eth.rec().CurIn);
    }
    EXPECT_EQ(cur, (std::vector<std::uint64_t>{4000, 0, 7000}));
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
    std::int64_t nowMs = 0;
    auto outcome = [&](int selected) {
        return engine.Data2Grid(rows, selected, counters, nowMs += kTickIntervalMs).outcome;
    };

    EXPECT_EQ(outcome(1), TickOutcome::WarmUp);
    EXPECT_EQ(engine.record(1).SumIn, 20u) << "the selected row is updated before the warm-up";
    EXPECT_EQ(engine.record(2).SumIn, 0u) << "rows after the selected one wait a tick";
    EXPECT_EQ(outcome(1), TickOutcome::WarmUp);
    EXPECT_EQ(outcome(1), TickOutcome::Shown);
    EXPECT_EQ(engine.record(2).SumIn, 30u);
    EXPECT_EQ(counters.StopCount, 3);
    EXPECT_EQ(counters.ScrollCount, 3);
    EXPECT_EQ(counters.CaptureCount, 3);

    EXPECT_EQ(outcome(-1), TickOutcome::NoSelection);
    EXPECT_EQ(counters.StopCount, 3);
    // A tick table with more rows than records: the extras are ignored.
    TMIBIfRow extra = S::row(9, "new0", 1, 1);
    rows.push_back(&extra);
    EXPECT_EQ(outcome(1), TickOutcome::Shown);
}

TEST(Statistics, ADifferenceOverAPauseCountsInFullButPeaksOnlyAtItsAverageRate)
{
    constexpr std::uint64_t kRate = 100 * 1024; // 100 KB/s throughout
    // Warm-up tick 61 s after the start-up snapshot: the program was open a
    // minute before Start.
    StatisticsEngine engine;
    engine.InitGrid({S::row(1, "eth0", 0, 0)}, 0, 0);
    RunCounters counters;
    std::uint32_t in = 0;
    std::int64_t nowMs = 0;
    auto tickAfter = [&](int seconds) {
        in += static_cast<std::uint32_t>(kRate * seconds);
        const TMIBIfRow row = S::row(1, "eth0", in, 0);
        return engine.Data2Grid({&row}, 0, counters, nowMs += seconds * kTickIntervalMs);
    };
    TickResult first = tickAfter(61);
    EXPECT_EQ(first.outcome, TickOutcome::WarmUp);
    EXPECT_EQ(first.totalIn, 61 * kRate) << "the interface was selected since start-up";
    EXPECT_EQ(tickAfter(1).outcome, TickOutcome::WarmUp);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(tickAfter(1).outcome, TickOutcome::Shown);
    const TStatRec& rec = engine.record(0);
    EXPECT_EQ(rec.SumIn, 67 * kRate);
    EXPECT_EQ(rec.InCount, 67u) << "the pause counts its real seconds";
    EXPECT_EQ(rec.PeakIn, kRate);
    EXPECT_EQ(rec.averageIn(), kRate);

    // A tick 10 s late (the machine stalled) is shown, at its average rate.
    const TickResult late = tickAfter(10);
    EXPECT_EQ(late.outcome, TickOutcome::Shown);
    EXPECT_EQ(late.totalIn, 10 * kRate);
    EXPECT_EQ(rec.CurIn, kRate);
    EXPECT_EQ(rec.PeakIn, kRate);
    EXPECT_EQ(rec.InCount, 77u);
    // Two intervals late is still an ordinary tick.
    tickAfter(2);
    EXPECT_EQ(rec.CurIn, 2 * kRate);
    EXPECT_EQ(rec.InCount, 78u);
}

TEST(Statistics, ADifferenceAcrossASleepCountsInFullAndMakesNoPeak)
{
    constexpr std::uint64_t kRate = 10 * 1024; // 10 KB/s while awake
    OneInterface one(0);
    std::uint32_t in = 0;
    for (int i = 0; i < 3; ++i)
        one.tick(in += kRate);
    EXPECT_EQ(one.rec().PeakIn, kRate);

    // A sleep: the monotonic clock stood still, so the tick came a second
    // after the one before, with 5 MB that flowed just before and after it.
    constexpr std::uint64_t kAround = 5 * 1024 * 1024;
    in += kAround;
    const TMIBIfRow woke = S::row(1, "eth0", in, 0);
    const TickResult result =
        one.engine.Data2Grid({&woke}, 0, one.counters, one.nowMs += kTickIntervalMs, true);
    EXPECT_EQ(result.outcome, TickOutcome::Shown);
    EXPECT_EQ(result.totalIn, kAround) << "every byte counts in the totals";
    EXPECT_EQ(one.rec().SumIn, 3 * kRate + kAround);
    EXPECT_EQ(one.rec().CurIn, 0u) << "no rate across a sleep";
    EXPECT_EQ(one.rec().PeakIn, kRate) << "no peak across a sleep";
    EXPECT_EQ(one.rec().InCount, 4u);

    // A stopped process looks the same to the monotonic clock as a pause
    // (30 s): announced as a sleep, it makes no peak either.
    in += 3 * kAround;
    const TMIBIfRow later = S::row(1, "eth0", in, 0);
    one.engine.Data2Grid({&later}, 0, one.counters, one.nowMs += 30 * kTickIntervalMs, true);
    EXPECT_EQ(one.rec().PeakIn, kRate);
    EXPECT_EQ(one.rec().SumIn, 3 * kRate + 4 * kAround);
    EXPECT_EQ(one.rec().InCount, 34u) << "the pause counts its seconds as any pause";

    // The next tick is an ordinary one again.
    one.tick(in += 2 * kRate);
    EXPECT_EQ(one.rec().CurIn, 2 * kRate);
    EXPECT_EQ(one.rec().PeakIn, 2 * kRate);
}

TEST(Statistics, APauseOnAnotherInterfaceStaysOutOfTheNewOnesTotals)
{
    StatisticsEngine engine;
    engine.InitGrid({S::row(1, "lo", 0, 0), S::row(2, "eth0", 0, 0)}, 0, 0);
    RunCounters counters;
    std::int64_t nowMs = 0;
    TMIBIfArray table{S::row(1, "lo", 0, 0), S::row(2, "eth0", 0, 0)};
    auto tick = [&](int selected, std::uint32_t add, int seconds = 1) {
        table[0].inOctets += add;
        table[1].inOctets += add;
        return engine.Data2Grid({&table[0], &table[1]}, selected, counters,
                                nowMs += seconds * kTickIntervalMs);
    };
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(tick(0, 100).totalIn, 100u);
    // Stopped for 30 s, then eth0 chosen and Start: its first difference spans
    // a time it was not selected.
    counters.WarmUpCount = 0;
    EXPECT_EQ(tick(1, 3000, 30).totalIn, 0u);
    EXPECT_EQ(engine.record(1).SumIn, 3300u) << "but it is in the session sum";
    EXPECT_EQ(tick(1, 100).totalIn, 100u);
    EXPECT_EQ(tick(1, 100).outcome, TickOutcome::Shown);
    // Switching while running counts the next plain tick for the new one.
    EXPECT_EQ(tick(0, 100).totalIn, 100u);
}

TEST(Statistics, SixtyFourBitCountersAndRestartsOnRowsTheWarmUpSkipped)
{
    // 5 GiB between two ticks of a 64-bit source count 5 GiB.
    constexpr std::uint64_t kFiveGiB = 5ull << 30;
    OneInterface wide(S::row64(1, "eth0", 1ull << 40, 0));
    wide.tick(S::row64(1, "eth0", (1ull << 40) + kFiveGiB, 0));
    EXPECT_EQ(wide.rec().CurIn, kFiveGiB);
    EXPECT_EQ(wide.rec().SumIn, kFiveGiB);
    // A 64-bit counter that goes down restarted: its reading is the traffic since.
    wide.tick(S::row64(1, "eth0", 700, 0));
    EXPECT_EQ(wide.rec().CurIn, 700u);

    // wlan0 sits after the selected lo; its restart shows on a warm-up tick
    // that does not process it, and must not return as a 2^32 difference.
    StatisticsEngine engine;
    engine.InitGrid({S::row(1, "lo", 0, 0), S::row(2, "wlan0", 3'000'000'000u, 0)}, 0, 0);
    RunCounters counters;
    TMIBIfRow lo = S::row(1, "lo", 10, 0);
    TMIBIfRow wlan = S::row(2, "wlan0", 500, 0);
    wlan.inCounterReset = true;
    engine.Data2Grid({&lo, &wlan}, 0, counters, 1000);
    wlan = S::row(2, "wlan0", 900, 0); // still rising since the restart
    engine.Data2Grid({&lo, &wlan}, 0, counters, 2000);
    wlan = S::row(2, "wlan0", 1200, 0);
    EXPECT_EQ(engine.Data2Grid({&lo, &wlan}, 0, counters, 3000).outcome, TickOutcome::Shown);
    EXPECT_EQ(engine.record(1).SumIn, 1200u) << "the bytes since the restart";
    EXPECT_EQ(engine.record(1).CurIn, 400u) << "over the three seconds since its last sample";
}

TEST(Statistics, CumulativeTotalsSaturate)
{
    TotalsModel totals;
    totals.load({InterfaceTotals{UINT64_MAX - 10, {}, 0, {}}});
    EXPECT_FALSE(totals.add(0, 0, 0)) << "nothing changed";
    EXPECT_FALSE(totals.add(1, 5, 5)) << "no such position";
    EXPECT_FALSE(totals.add(-1, 5, 5)) << "no interface selected";
    EXPECT_EQ(totals.changes(), 0u);
    EXPECT_TRUE(totals.add(0, 100, 7));
    EXPECT_EQ(totals.at(0).totalIn, UINT64_MAX);
    EXPECT_EQ(totals.at(0).totalOut, 7u);
    EXPECT_EQ(totals.changes(), 1u);
}

TEST(Statistics, AMonthlyResetComesOncePerMoment)
{
    const DateTime before{2026, 11, 30, 23, 0, 0};
    const DateTime moment{2026, 12, 1, 0, 0, 0};
    TotalsModel totals;
    totals.load({InterfaceTotals{500, before, 700, moment}});
    const TotalsModel::Due due = totals.dueAt(0, moment, moment);
    EXPECT_TRUE(due.in);
    EXPECT_FALSE(due.out) << "already reset at that moment";
    EXPECT_TRUE(totals.resetIn(0, moment));
    EXPECT_EQ(totals.at(0), (InterfaceTotals{0, moment, 700, moment}));
    EXPECT_FALSE(totals.dueAt(0, moment, moment).in) << "a clock stepped back and forward again";
    EXPECT_FALSE(totals.resetOut(3, moment));
    EXPECT_EQ(totals.changes(), 1u);

    // Stamped after the clock (a reset under a clock that ran ahead): the
    // moment has come, the reset has not, so the moment resets.
    const DateTime ahead{2031, 6, 15, 8, 0, 0};
    totals.load({InterfaceTotals{500, ahead, 700, ahead}});
    const TotalsModel::Due afterAhead = totals.dueAt(0, moment, DateTime{2026, 12, 1, 0, 0, 1});
    EXPECT_TRUE(afterAhead.in);
    EXPECT_TRUE(afterAhead.out);
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
    EXPECT_EQ(fmt(18446744073709551615.0L, 0), "18,446,744,073,709,551,615"); // the largest total
    EXPECT_EQ(fmt(18446744073709551616.0L, 0), "18,446,744,073,709,551,616");
    EXPECT_EQ(fmt(1234567890.123456L, 3), "1,234,567,890.120");
    EXPECT_EQ(withoutThousands("1,234,567"), "1234567");
}

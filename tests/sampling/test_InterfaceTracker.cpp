#include "sampling/InterfaceTracker.h"
#include "sampling/RunControl.h"
#include "sampling/ScriptedSource.h"
#include "sampling/Statistics.h"

#include <gtest/gtest.h>

using namespace flowloom::sampling;
using S = ScriptedSource;

TEST(InterfaceTracker, RowsKeepTheirStartUpPositionWhenTheTableChanges)
{
    InterfaceTracker tracker;
    tracker.reset({S::row(1, "lo", 0, 0), S::row(2, "eth0", 0, 0), S::row(7, "tun0", 0, 0)});

    // tun0 vanishes, a new interface appears, eth0 and lo change order.
    TMIBIfArray tick{S::row(2, "eth0", 5, 5), S::row(9, "usb0", 1, 1), S::row(1, "lo", 3, 3)};
    auto rows = tracker.match(tick);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], &tick[2]);
    EXPECT_EQ(rows[1], &tick[0]);
    EXPECT_EQ(rows[2], nullptr);

    // An index reused under another name is another interface.
    TMIBIfArray renamed{S::row(1, "lo", 3, 3), S::row(2, "wlan0", 5, 5)};
    rows = tracker.match(renamed);
    EXPECT_EQ(rows[0], &renamed[0]);
    EXPECT_EQ(rows[1], nullptr);
}

TEST(InterfaceTracker, VanishingInterfaceCausesNoSpikeInItsNeighbour)
{
    const TMIBIfArray startup{S::row(1, "lo", 1000, 1000), S::row(5, "tun0", 900000000, 0),
                              S::row(6, "eth0", 2000, 2000)};
    InterfaceTracker tracker;
    tracker.reset(startup);
    StatisticsEngine engine;
    engine.InitGrid(startup);
    RunCounters counters;

    // tun0 disappears from the middle; eth0 moves up one place in the table.
    const TMIBIfArray tick{S::row(1, "lo", 1100, 1000), S::row(6, "eth0", 2500, 2300)};
    std::int64_t nowMs = 0;
    for (int i = 0; i < 3; ++i)
        engine.Data2Grid(tracker.match(tick), 2, counters, nowMs += kTickIntervalMs);
    const TMIBIfArray next{S::row(1, "lo", 1100, 1000), S::row(6, "eth0", 2600, 2300)};
    EXPECT_EQ(engine.Data2Grid(tracker.match(next), 2, counters, nowMs += kTickIntervalMs).outcome,
              TickOutcome::Shown);

    EXPECT_EQ(engine.record(2).CurIn, 100u);
    EXPECT_EQ(engine.record(2).PeakIn, 500u);
    EXPECT_EQ(engine.record(2).SumIn, 600u);
    EXPECT_EQ(engine.record(1).SumIn, 0u) << "the vanished interface is not updated";
    // Selecting the vanished interface shows nothing but keeps the tick going.
    EXPECT_EQ(engine.Data2Grid(tracker.match(next), 1, counters, nowMs += kTickIntervalMs).outcome,
              TickOutcome::SelectedMissing);
}

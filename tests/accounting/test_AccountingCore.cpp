#include "accounting/AccountingCore.h"

#include "sampling/ScriptedSource.h"

#include <gtest/gtest.h>

namespace flowloom::accounting {
namespace {

using sampling::DateTime;
using sampling::ScriptedSource;
using sampling::TMIBIfArray;
using sampling::TMIBIfRow;

TMIBIfRow wide(std::uint32_t index, const char* name, std::uint64_t in, std::uint64_t out)
{
    return ScriptedSource::row64(index, name, in, out);
}

// A tunnel has no hardware address: its identity is its name.
TMIBIfRow tun(std::uint32_t index, std::uint64_t in, std::uint64_t out)
{
    TMIBIfRow row = ScriptedSource::row64(index, "tun0", in, out);
    row.physAddrLen = 0;
    row.physAddr = {};
    return row;
}

TMIBIfRow loopback(std::uint64_t in)
{
    TMIBIfRow row = ScriptedSource::row64(1, "lo", in, in);
    row.physAddrLen = 0;
    row.physAddr = {};
    return row;
}

struct Expected
{
    std::size_t position;
    std::uint64_t in;
    std::uint64_t out;
};

// Each step is one tick's table and the differences it must yield; positions
// not named must yield none.
TEST(InterfaceBook, DifferencesFollowEachInterfaceThroughChangesOfTheTable)
{
    struct Step
    {
        const char* what;
        TMIBIfArray table;
        std::vector<Expected> deltas;
        std::size_t size;
    };
    TMIBIfRow restarted = wide(2, "eth0", 40, 4);
    restarted.inCounterReset = restarted.outCounterReset = true;
    TMIBIfRow narrow = ScriptedSource::row(3, "wlan0", 10, 10);
    TMIBIfRow narrowWrapped = ScriptedSource::row(3, "wlan0", 5, 20); // in wrapped at 2^32
    const std::vector<Step> steps = {
        {"plain differences", {wide(2, "eth0", 1100, 520), narrow}, {{0, 100, 20}}, 2},
        {"a 32-bit counter wraps",
         {wide(2, "eth0", 1100, 520), narrowWrapped},
         {{1, (1ull << 32) - 10 + 5, 10}},
         2},
        {"a 64-bit counter restarts", {restarted, narrowWrapped}, {{0, 40, 4}}, 2},
        {"an empty table (a failed snapshot) counts nothing", {}, {}, 2},
        {"back with the same index: the bytes between count",
         {wide(2, "eth0", 90, 14), narrowWrapped},
         {{0, 50, 10}},
         2},
        {"a new interface counts its first reading: it was made during the run",
         {wide(2, "eth0", 90, 14), narrowWrapped, tun(7, 5000, 5000)},
         {{2, 5000, 5000}},
         3},
        {"and counts on",
         {wide(2, "eth0", 90, 14), narrowWrapped, tun(7, 5100, 5010)},
         {{2, 100, 10}},
         3},
        {"renamed, same index: counters go on",
         {wide(2, "lan0", 95, 15), narrowWrapped, tun(7, 5100, 5010)},
         {{0, 5, 1}},
         3},
        {"tun0 gone", {wide(2, "lan0", 95, 15), narrowWrapped}, {}, 3},
        {"tun0 back with a new index: its fresh counters, no phantom from the old ones",
         {wide(2, "lan0", 95, 15), narrowWrapped, tun(9, 3, 3)},
         {{2, 3, 3}},
         3},
        {"and counts again",
         {wide(2, "lan0", 95, 15), narrowWrapped, tun(9, 13, 23)},
         {{2, 10, 20}},
         3},
        {"a 64-bit counter wraps from the top of its range",
         {wide(2, "lan0", ~std::uint64_t{0} - 4, 15), narrowWrapped, tun(9, 13, 23)},
         {{0, ~std::uint64_t{0} - 4 - 95, 0}},
         3},
        {"", {wide(2, "lan0", 5, 15), narrowWrapped, tun(9, 13, 23)}, {{0, 10, 0}}, 3},
        {"a failed snapshot", {}, {}, 3},
        {"after it a new interface is only a base: it may have been there all along",
         {wide(2, "lan0", 5, 15), narrowWrapped, tun(9, 13, 23), wide(11, "br0", 7, 7)},
         {},
         4},
    };
    InterfaceBook book;
    book.start({wide(2, "eth0", 1000, 500), narrow});
    // The running sums since the start: the steps' differences added up.
    std::vector<CounterDelta> sums(2);
    for (const Step& step : steps) {
        book.tick(step.table);
        ASSERT_EQ(book.size(), step.size) << step.what;
        sums.resize(step.size);
        for (std::size_t p = 0; p < book.size(); ++p) {
            std::uint64_t in = 0, out = 0;
            for (const Expected& e : step.deltas) {
                if (e.position == p) {
                    in = e.in;
                    out = e.out;
                }
            }
            EXPECT_EQ(book.deltas()[p].in, in) << step.what << ", position " << p;
            EXPECT_EQ(book.deltas()[p].out, out) << step.what << ", position " << p;
            // A counter never falls: past the top of its range it stays there.
            sums[p].in = in > ~std::uint64_t{0} - sums[p].in ? ~std::uint64_t{0} : sums[p].in + in;
            sums[p].out += out;
            ASSERT_EQ(book.sinceStart().size(), book.size()) << step.what;
            EXPECT_EQ(book.sinceStart()[p].in, sums[p].in) << step.what << ", position " << p;
            EXPECT_EQ(book.sinceStart()[p].out, sums[p].out) << step.what << ", position " << p;
        }
    }
    EXPECT_EQ(book.at(0).identity.name, "lan0");
    EXPECT_EQ(book.at(2).row.index, 9u) << "tun0 took its old position";
    book.start({wide(2, "eth0", 0, 0)});
    ASSERT_EQ(book.sinceStart().size(), 1u);
    EXPECT_EQ(book.sinceStart()[0].in, 0u) << "a new start counts from zero";
}

TEST(InterfaceBook, ChangesNameWhatCameAndWent)
{
    InterfaceBook book;
    book.start({wide(2, "eth0", 0, 0)});
    BookChanges c = book.tick({wide(2, "eth0", 0, 0), wide(5, "usb0", 0, 0)});
    EXPECT_EQ(c.appeared, std::vector<std::size_t>{1});
    c = book.tick({wide(5, "usb0", 0, 0)});
    EXPECT_EQ(c.vanished, std::vector<std::size_t>{0});
    EXPECT_FALSE(book.at(0).present);
    EXPECT_EQ(book.rowsByPosition()[0], nullptr);
    c = book.tick({wide(2, "eth1", 0, 0), wide(5, "usb0", 0, 0)});
    EXPECT_TRUE(c.returned.empty() && c.vanished.empty());
    EXPECT_EQ(c.appeared, std::vector<std::size_t>{2})
        << "a gone interface's index under another name is a new interface";
    c = book.tick({wide(2, "eth1", 0, 0), wide(5, "wwan0", 0, 0)});
    EXPECT_EQ(c.renamed, std::vector<std::size_t>{1});
    EXPECT_FALSE(book.tick({wide(2, "eth1", 0, 0), wide(5, "wwan0", 0, 0)}).any());
}

struct Recorded
{
    usage::UtcZone zone;
    usage::UsageHistory history{zone};
    std::uint64_t day(const usage::InterfaceIdentity& identity, const DateTime& at, bool in = true)
    {
        const std::string key = usage::dayKey(at);
        for (const usage::DayUsage& d : history.days(identity, key, key))
            return in ? d.in : d.out;
        return 0;
    }
};

TEST(AccountingCore, CountsEveryInterfaceIntoHistoryAndOnlyTheSelectedIntoTheTotals)
{
    Recorded r;
    const DateTime t0{2026, 12, 8, 10, 0, 0};
    AccountingCore core(t0);
    core.start({loopback(0), wide(2, "eth0", 0, 0), wide(3, "wlan0", 0, 0)}, {{7, t0, 8, t0}}, t0);
    core.attachHistory(&r.history);
    core.setSelected(0);
    ASSERT_EQ(core.totals().size(), 3u) << "missing stored positions start from zero";
    EXPECT_EQ(core.totals().at(0).totalIn, 7u);

    core.tick({loopback(100), wide(2, "eth0", 1000, 10), wide(3, "wlan0", 50, 5)}, t0);
    core.setSelected(2);
    const TickReport report = core.tick(
        {loopback(100), wide(2, "eth0", 1000, 10), wide(3, "wlan0", 70, 9), wide(8, "usb0", 9, 9)},
        t0);
    EXPECT_EQ(report.changes.appeared, std::vector<std::size_t>{3});
    EXPECT_EQ(core.totals().at(0).totalIn, 107u);
    EXPECT_EQ(core.totals().at(1).totalIn, 0u) << "not selected: no cumulative total";
    EXPECT_EQ(core.totals().at(2).totalIn, 20u) << "only the tick while selected";
    ASSERT_EQ(core.totals().size(), 4u);

    EXPECT_EQ(r.day(core.interfaces().at(0).identity, t0), 100u);
    EXPECT_EQ(r.day(core.interfaces().at(1).identity, t0), 1000u);
    EXPECT_EQ(r.day(core.interfaces().at(2).identity, t0), 70u);
    EXPECT_EQ(r.day(core.interfaces().at(3).identity, t0), 9u) << "usb0 was made during the run";
    EXPECT_EQ(r.day(physicalSumIdentity(), t0), 1000u + 70 + 9) << "loopback is not physical";
    EXPECT_EQ(r.day(physicalSumIdentity(), t0, false), 10u + 9 + 9);
}

TEST(AccountingCore, TheTickHookGetsThePhysicalAndLoopbackSumsAfterTheRecord)
{
    Recorded r;
    const DateTime t0{2026, 12, 8, 10, 0, 0};
    const DateTime t1{2026, 12, 8, 10, 0, 1};
    AccountingCore core(t0);
    core.start({loopback(0), wide(2, "eth0", 0, 0), tun(4, 0, 0), wide(3, "wlan0", 0, 0)}, {}, t0);
    core.attachHistory(&r.history);
    std::vector<TickTraffic> seen;
    core.setTickHook([&](const TickTraffic& traffic, const DateTime& now) {
        EXPECT_EQ(now, t1);
        // The interfaces' bytes are in the history before the hook runs.
        EXPECT_EQ(r.day(physicalSumIdentity(), now), 1000u + 30);
        seen.push_back(traffic);
    });
    const TickReport report = core.tick(
        {loopback(500), wide(2, "eth0", 1000, 100), tun(4, 77, 77), wide(3, "wlan0", 30, 3)}, t1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].physical.in, 1000u + 30) << "the tunnel is neither physical nor loopback";
    EXPECT_EQ(seen[0].physical.out, 100u + 3);
    EXPECT_EQ(seen[0].loopback.in, 500u);
    EXPECT_EQ(seen[0].loopback.out, 500u);
    EXPECT_EQ(report.traffic.physical.in, seen[0].physical.in);
}

TEST(AccountingCore, TheMonthlyResetComesOnTimeAndTheCapFollowsItsScope)
{
    Recorded r;
    const DateTime t0{2026, 12, 31, 23, 59, 58};
    AccountingCore core(t0);
    core.start({wide(2, "eth0", 0, 0), wide(3, "wlan0", 0, 0)}, {{500, t0, 600, t0}}, t0);
    core.attachHistory(&r.history);
    core.setSelected(0);
    core.setResetRule({true, 0, 0, 0, 0}); // the 1st at midnight
    usage::CapRule cap;
    cap.on = true;
    cap.amount = 1;
    cap.unitItem = 0; // 1 MB
    core.setCapRule(cap, CapScope::Physical);

    TickReport report = core.tick({wide(2, "eth0", 10, 0), wide(3, "wlan0", 0, 0)}, t0);
    EXPECT_FALSE(report.monthlyReset.in);
    EXPECT_EQ(core.totals().at(0).totalIn, 510u);
    report = core.tick({wide(2, "eth0", 30, 0), wide(3, "wlan0", 1 << 20, 0)},
                       DateTime{2027, 1, 1, 0, 0, 1});
    EXPECT_TRUE(report.monthlyReset.in && report.monthlyReset.out);
    EXPECT_EQ(core.totals().at(0).totalIn, 20u) << "the tick's bytes belong to the new period";
    EXPECT_EQ(core.totals().at(0).inReset, (DateTime{2027, 1, 1, 0, 0, 1}));
    EXPECT_EQ(report.cap, usage::CapLevel::Full)
        << "the sum of the physical interfaces reached 1 MB";
    EXPECT_EQ(report.capInterface, "the physical interfaces");
    EXPECT_EQ(core.tick({wide(2, "eth0", 40, 0), wide(3, "wlan0", 2 << 20, 0)},
                        DateTime{2027, 1, 1, 0, 0, 2})
                  .cap,
              usage::CapLevel::None)
        << "once per period";
}

// The UTC zone, counting its conversions to instants (each costs a look at
// the system's time-zone file in the real zone).
struct CountingZone final : usage::LocalZone
{
    usage::UtcZone utc;
    mutable int toInstantCalls = 0;
    std::int64_t toInstant(const DateTime& local) const override
    {
        ++toInstantCalls;
        return utc.toInstant(local);
    }
    DateTime toLocal(std::int64_t instant) const override { return utc.toLocal(instant); }
};

TEST(AccountingCore, TheBillingPeriodIsTheLatestTicksAndWorkedOutOnlyWhenAskedFor)
{
    CountingZone zone;
    usage::UsageHistory history{zone};
    const DateTime t0{2026, 12, 8, 10, 0, 0};
    AccountingCore core(t0);
    core.start({wide(2, "eth0", 0, 0)}, {}, t0);
    core.attachHistory(&history);
    core.setSelected(0);
    core.setResetRule({true, 0, 0, 0, 0}); // the 1st at midnight
    core.setCapRule(usage::CapRule{}, CapScope::Physical);
    for (int s = 1; s <= 3; ++s)
        core.tick({wide(2, "eth0", 100u * static_cast<std::uint32_t>(s), 0)},
                  DateTime{2026, 12, 8, 10, 0, s});
    const int afterTicks = zone.toInstantCalls;

    const std::optional<usage::PeriodStatus>& billing = core.billing();
    ASSERT_TRUE(billing.has_value());
    EXPECT_GT(zone.toInstantCalls, afterTicks) << "worked out when asked";
    EXPECT_EQ(billing->period.start, (DateTime{2026, 12, 1, 0, 0, 0}));
    EXPECT_EQ(billing->period.end, (DateTime{2027, 1, 1, 0, 0, 0}));
    EXPECT_EQ(billing->elapsedSeconds, 7 * 86400 + 10 * 3600 + 3) << "at the last tick's moment";
    EXPECT_EQ(billing->lengthSeconds, 31 * 86400);
    EXPECT_EQ(billing->in, 300u) << "the counters went 0, 100, 200, 300";

    const int afterAsking = zone.toInstantCalls;
    EXPECT_EQ(core.billing()->in, 300u);
    EXPECT_EQ(zone.toInstantCalls, afterAsking) << "asked again within the tick: kept";
}

} // namespace
} // namespace flowloom::accounting

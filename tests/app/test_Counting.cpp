// The window over the accounting core: counting goes on whatever plotting
// does, for every interface, and interfaces come and go while it runs.
#include "WindowHarness.h"
#include "app/InterfaceItems.h"
#include "app/controllers/GraphController.h"
#include "app/controllers/RunController.h"
#include "app/pages/StatisticsPage.h"
#include "app/shell/Tray.h"
#include "graph/PlotFeed.h"
#include "sampling/NumberFormat.h"
#include "usage/UsageStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QStatusBar>
#include <QTimeEdit>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>

using namespace flowloom;
using testsupport::WindowHarness;

namespace {
std::uint64_t dayIn(const WindowHarness& w, const sampling::TMIBIfRow& row)
{
    auto store =
        usage::UsageStore::open(w.folder.path().toStdString() + "/flowloom-history.sqlite");
    if (!store)
        return 0;
    const auto days = store->days(usage::identityOf(row), "2026-12-06", "2026-12-06", {});
    return days.empty() ? 0 : days[0].in;
}
} // namespace

TEST(Counting, StoppedByThePageLimitTheTotalsAndTheHistoryOfEveryInterfaceGoOn)
{
    // lo selected; one page of 10 points, then stop.
    WindowHarness w("[Plotter]\r\nFirst=0\r\nURL=0\r\nRun=1\r\nPages=1\r\nPoints=10\r\n"
                    "Stop=1\r\nRestart=0\r\n");
    app::TForm1& f = *w.form;
    ASSERT_TRUE(f.run().plotting());
    for (int i = 0; i < 14 && f.run().plotting(); ++i)
        w.tick(1000);
    ASSERT_FALSE(f.run().plotting()) << "the page limit stopped the plot";
    const std::uint64_t before = f.run().totals().at(0).totalIn;
    EXPECT_EQ(f.figures().figure(w.get<QLabel>("StatusPanel1")), "Stopped") << "no stale rate";
    EXPECT_EQ(f.run().trayHint(), "Flowloom - Stopped");

    for (int i = 0; i < 30; ++i)
        w.tick(2000, 100);
    EXPECT_EQ(f.run().totals().at(0).totalIn, before + 30 * 2000) << "the total counts on";
    EXPECT_EQ(f.figures().figure(w.get<QLabel>("Panel26")).toStdString(),
              sampling::fmt(static_cast<long double>(before + 30 * 2000), 0))
        << "and the Statistics page shows it";
    EXPECT_TRUE(f.run().ThreadedTimer1().Enabled());

    // Started again at the rates shown before the stop: they show again.
    f.run().btnStartClick();
    for (int i = 0; i < 3; ++i)
        w.tick(1000);
    EXPECT_TRUE(f.figures().figure(w.get<QLabel>("StatusPanel1")).startsWith("In: "));
    EXPECT_TRUE(f.figures().figure(w.get<QLabel>("StatusPanel2")).startsWith("Out: "));

    f.FormCloseQuery();
    EXPECT_EQ(dayIn(w, w.table()[0]), before + 30 * 2000 + 3 * 1000) << "lo's day holds every byte";
    // eth0 was never selected; its counters rose twice as fast.
    EXPECT_EQ(dayIn(w, w.table()[1]), 2 * (before + 30 * 2000 + 3 * 1000));
}

TEST(Counting, AnInterfaceThatAppearsCanBePickedAndIsCounted)
{
    WindowHarness w("[Plotter]\r\nFirst=0\r\nURL=1\r\nRun=0\r\n");
    app::TForm1& f = *w.form;
    QComboBox& list = *w.get<QComboBox>("cbURL");
    ASSERT_EQ(list.count(), 2);
    using S = sampling::ScriptedSource;
    sampling::TMIBIfArray table = w.table();
    table.push_back(S::row64(7, "usb0", 100, 100));
    w.source.push(table);
    w.clock.advance(1);
    f.Timer1Timer();
    ASSERT_EQ(list.count(), 3) << "the new interface joins the list at once";
    EXPECT_EQ(app::interfaceName(list, 2), "usb0");
    EXPECT_EQ(w.get<QComboBox>("cbServerIP")->count(), 3);

    list.setCurrentIndex(2);
    table.back() = S::row64(7, "usb0", 5100, 300);
    w.source.push(table);
    w.clock.advance(1);
    f.Timer1Timer();
    EXPECT_EQ(f.run().totals().at(2).totalIn, 5000u);
    EXPECT_EQ(f.run().totals().at(2).totalOut, 200u);

    w.source.push(w.table()); // usb0 unplugged
    w.clock.advance(1);
    f.Timer1Timer();
    EXPECT_EQ(app::interfaceName(list, 2), "usb0 (gone)");
    EXPECT_EQ(list.currentIndex(), 2) << "the selection and its totals stay";
    // Back, with a new index and fresh counters; the same adapter.
    const auto adapter = table.back().physAddr;
    table.back() = S::row64(9, "usb0", 40, 0);
    table.back().physAddr = adapter;
    w.source.push(table);
    w.clock.advance(1);
    f.Timer1Timer();
    EXPECT_EQ(app::interfaceName(list, 2), "usb0");
    EXPECT_EQ(f.run().totals().at(2).totalIn, 5040u) << "its bytes since it came back, no more";

    f.FormCloseQuery();
    EXPECT_EQ(dayIn(w, table.back()), 5140u) << "its history, first reading included";
    EXPECT_NE(w.readSettings().find("LastTotalIn2=5040\r\n"), std::string::npos);
}

TEST(Counting, ATickAcrossASleepIsAGapWithoutAPeakAndCountsEveryByte)
{
    WindowHarness w("[Plotter]\r\nFirst=0\r\nURL=0\r\nRun=1\r\n");
    app::TForm1& f = *w.form;
    ASSERT_TRUE(f.run().plotting());
    for (int i = 0; i < 5; ++i)
        w.tick(2000);
    const chart::Series& down = f.graph().plotFeed().series1();
    ASSERT_GT(down.size(), 0u) << "past the warm-up";
    auto figure = [&](const char* name) {
        return f.figures().figure(w.get<QLabel>(name)).toStdString();
    };
    EXPECT_EQ(figure("Panel15"), "2,000") << "the peak so far";
    const std::uint64_t total = f.run().totals().at(0).totalIn;

    // An hour asleep, seen on the clocks alone (no logind): 5 MB came in just
    // before and after it, in what the monotonic clock takes for one second.
    w.sleep(3600);
    w.tick(5'000'000);
    ASSERT_TRUE(down.isGap(down.size() - 1)) << "the sleep is a gap in the graph";
    EXPECT_TRUE(f.graph().plotFeed().series2().isGap(down.size() - 1));
    EXPECT_EQ(figure("Panel15"), "2,000") << "a sleep makes no peak";
    EXPECT_EQ(f.run().totals().at(0).totalIn, total + 5'000'000) << "every byte counted";
    w.tick(3000);
    EXPECT_FALSE(down.isGap(down.size() - 1));
    EXPECT_EQ(figure("Panel15"), "3,000") << "the next tick is an ordinary one";

    // Announced by logind: the last reading counts the bytes before the
    // sleep at once; the ticks until the wake-up are gaps.
    w.in += 7000;
    w.source.push(w.table());
    f.run().takeReadingBeforeSleep();
    EXPECT_EQ(f.run().totals().at(0).totalIn, total + 5'000'000 + 3000 + 7000)
        << "counted before the machine sleeps";
    const std::size_t points = down.size();
    EXPECT_EQ(down.size(), points) << "the reading draws nothing";
    w.tick(40'000'000, 0, 30); // a stopped process: the steady clock ran on
    f.run().wokeUp();
    EXPECT_TRUE(down.isGap(down.size() - 1));
    EXPECT_EQ(figure("Panel15"), "3,000") << "no peak from the stopped time either";
    EXPECT_EQ(f.run().totals().at(0).totalIn, total + 5'000'000 + 3000 + 7000 + 40'000'000);
    w.tick(1000);
    EXPECT_FALSE(down.isGap(down.size() - 1)) << "awake again";
}

// The monthly reset rule is read when its controls change (and once the
// settings are in them), not every tick: every change reaches the next tick.
TEST(Counting, EveryChangeOfTheResetRuleReachesTheNextTick)
{
    WindowHarness w("[Plotter]\r\nFirst=0\r\nURL=0\r\nRun=1\r\nReset=1\r\nMonth=6\r\n"
                    "Time=02:03:04\r\n");
    app::TForm1& f = *w.form;
    app::StatisticsPage& s = *f.controls().Statistics;
    w.tick(0);
    EXPECT_EQ(f.run().core().resetRule(), (usage::BillingRule{true, 6, 2, 3, 4}))
        << "the settings file's rule, put into the controls without signals";

    const struct
    {
        const char* change;
        std::function<void()> apply;
        usage::BillingRule expected;
    } changes[] = {
        {"day", [&] { s.cbMonth->setCurrentIndex(27); }, {true, 27, 2, 3, 4}},
        {"time", [&] { s.DateTimePicker1->setTime(QTime(5, 6, 7)); }, {true, 27, 5, 6, 7}},
        {"off", [&] { s.cbReset->setChecked(false); }, {false, 27, 5, 6, 7}},
        {"on", [&] { s.cbReset->setChecked(true); }, {true, 27, 5, 6, 7}},
    };
    for (const auto& c : changes) {
        c.apply();
        w.tick(0);
        EXPECT_EQ(f.run().core().resetRule(), c.expected) << c.change;
    }
}

// The hint is formed again only when what it tells changed; a stop in
// between changed it, although the total did not.
TEST(Counting, StartedAgainAfterAStopTheTrayHintTellsTheTotalAgain)
{
    WindowHarness w("[Plotter]\r\nFirst=0\r\nURL=0\r\nRun=1\r\n");
    app::TForm1& f = *w.form;
    for (int i = 0; i < 4; ++i)
        w.tick(1000);
    ASSERT_EQ(f.run().trayHint(), "Flowloom - 0.000 GB");
    f.controls().btnStop->click();
    ASSERT_EQ(f.run().trayHint(), "Flowloom - Stopped");
    f.controls().btnStart->click();
    for (int i = 0; i < 4; ++i)
        w.tick(0); // the total stays as it was
    EXPECT_EQ(f.run().trayHint(), "Flowloom - 0.000 GB");
}

#include "WindowHarness.h"
#include "app/Unit1.h"
#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "chart/Chart.h"
#include "graph/ChartWidget.h"
#include "graph/PlotFeed.h"
#include "sampling/DateTimeText.h"
#include "sampling/ScriptedSource.h"
#include "support/ManualClock.h"

#include "app/NumberBox.h"
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeEdit>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace flowloom;
using sampling::ScriptedSource;
using S = ScriptedSource;

using Window = testsupport::WindowHarness;

TEST(MainWindow, FrameAndInterfaceList)
{
    Window w;
    app::TForm1& f = *w.form;
    EXPECT_EQ(f.windowTitle(), "Flowloom");
    ASSERT_EQ(f.controls().cbURL->count(), 2);
    EXPECT_EQ(f.controls().cbURL->itemText(0), "127.  0.  0.  1");
    EXPECT_EQ(f.controls().cbURL->itemText(1), "192.168.  1. 10");
    EXPECT_EQ(f.controls().cbURL->currentIndex(), 0);
    EXPECT_TRUE(f.controls().btnStart->isEnabled());
    EXPECT_TRUE(f.controls().btnStop->isChecked());
    EXPECT_FALSE(f.controls().btnStart->isChecked());
    ASSERT_EQ(f.controls().PageControl1->count(), 5);
    EXPECT_EQ(f.controls().PageControl1->tabText(0), "  Graph  ");
    EXPECT_EQ(f.controls().PageControl1->tabText(1), "  Statistics  ");
    EXPECT_EQ(f.controls().PageControl1->tabText(2), "  Setup  ");
    EXPECT_EQ(f.controls().PageControl1->tabText(3), "  History  ");
    EXPECT_EQ(f.controls().PageControl1->tabText(4), "  Applications  ");
    EXPECT_EQ(f.controls().StatusPanel[0]->width(), 150);
    EXPECT_TRUE(f.controls().Label13->isHidden());

    f.controls().cbURL->setCurrentIndex(-1);
    EXPECT_FALSE(f.controls().btnStart->isEnabled()) << "Start needs a selected interface";
}

TEST(MainWindow, StartAndStopDriveTheClockAndThePanels)
{
    Window w;
    app::TForm1& f = *w.form;
    f.controls().PageControl1->setCurrentIndex(2);
    f.controls().btnStart->click();
    EXPECT_TRUE(f.controls().btnStart->isChecked());
    EXPECT_FALSE(f.controls().btnStop->isChecked());
    EXPECT_TRUE(f.run().ThreadedTimer1().Enabled());
    EXPECT_EQ(f.controls().PageControl1->currentIndex(), 0) << "Start shows the graph";
    EXPECT_EQ(f.controls().StatusPanel[0]->text(), "Plot Started: Sun 06 Dec");

    w.tick(100);
    EXPECT_TRUE(f.run().ThreadedTimer1().Enabled()) << "a tick turns the clock back on";
    f.controls().btnStop->click();
    EXPECT_FALSE(f.run().plotting());
    EXPECT_TRUE(f.run().ThreadedTimer1().Enabled()) << "counting goes on while the plot is stopped";
    EXPECT_TRUE(f.controls().btnStop->isChecked());
}

TEST(MainWindow, FirstTwoTicksAfterStartShowNothing)
{
    Window w;
    app::TForm1& f = *w.form;
    f.controls().btnStart->click();
    w.tick(1536, 0);
    w.tick(1536, 0);
    EXPECT_TRUE(w.text("Panel14").isEmpty());
    EXPECT_EQ(w.text("Panel26"), "3,072") << "the cumulative total shows on every tick";
    EXPECT_EQ(f.run().trayHint(), "Flowloom");
    EXPECT_EQ(f.run().totals().at(0).totalIn, 3072u) << "counted, though not shown";

    w.tick(1536, 0);
    EXPECT_EQ(w.text("Panel14"), "1,536");
    EXPECT_EQ(f.controls().StatusPanel[1]->text(), "In: 1.5 KB/s");
    EXPECT_EQ(f.controls().StatusPanel[2]->text(), "Out: 0.0 KB/s");
    EXPECT_EQ(w.text("Panel20"), "0") << "no upload traffic yet";
    EXPECT_EQ(w.text("Panel17"), "4,608") << "the warm-up ticks count in the session total";
    EXPECT_EQ(w.text("Panel26"), "4,608") << "and in the cumulative total";
    EXPECT_EQ(w.text("Panel2"), "02-00-00-00-00-01");
    EXPECT_EQ(f.run().trayHint(), "Flowloom - 0.000 GB");
}

TEST(MainWindow, ResetShowsTheNewSinceTimeAtOnceAndTheTotalOnTheNextTick)
{
    Window w;
    app::TForm1& f = *w.form;
    f.controls().btnStart->click();
    for (int i = 0; i < 4; ++i)
        w.tick(1000);
    EXPECT_EQ(w.text("Panel26"), "4,000");
    w.clock.set({2026, 12, 7, 10, 0, 0});
    f.controls().Statistics->btnResetIn->click();
    EXPECT_EQ(w.text("Label39"), "Mon 07 Dec 2026 - 10:00:00");
    EXPECT_EQ(w.text("Panel26"), "4,000");
    w.tick(300);
    EXPECT_EQ(w.text("Panel26"), "300");
    EXPECT_EQ(w.text("Panel28"), "0.293");
}

TEST(MainWindow, CumulativeTotalsPastThirtyTwoBits)
{
    Window w;
    app::TForm1& f = *w.form;
    f.controls().btnStart->click();
    w.tick(1);
    w.tick(1);
    for (int i = 0; i < 3; ++i)
        w.tick(4'000'000'000u);
    EXPECT_EQ(f.run().totals().at(0).totalIn, 12'000'000'002u);
    EXPECT_EQ(w.text("Panel26"), "12,000,000,002");
    EXPECT_EQ(w.text("Panel29"), "11,444.092");
    EXPECT_EQ(w.text("Panel17"), "12,000,000,002");
}

TEST(MainWindow, PageLimitStopsOnTheTickAfterTheLastPage)
{
    Window w;
    app::TForm1& f = *w.form;
    f.controls().Setup->spPages->setValue(2);
    f.controls().Setup->spPoints->setValue(100);
    f.controls().Setup->rbStop->setChecked(true);
    f.controls().btnStart->click();
    for (int i = 0; i < 200; ++i)
        w.tick(10);
    EXPECT_TRUE(f.controls().btnStart->isChecked());
    EXPECT_TRUE(f.controls().Label13->isHidden());
    w.tick(10); // the 201st tick after Start
    EXPECT_TRUE(f.controls().btnStop->isChecked());
    EXPECT_FALSE(f.run().plotting());
    EXPECT_FALSE(f.controls().Label13->isHidden());
    EXPECT_EQ(f.controls().Label13->text(), "STOPPED");

    // Start hides the label; with 0 pages the run never stops.
    f.controls().Setup->spPages->setValue(0);
    f.controls().btnStart->click();
    EXPECT_TRUE(f.controls().Label13->isHidden());
    for (int i = 0; i < 450; ++i)
        w.tick(10);
    EXPECT_TRUE(f.controls().btnStart->isChecked());
}

TEST(MainWindow, MonthlyResetClearsTheSelectedTotalsOnTheChosenDay)
{
    Window w;
    app::TForm1& f = *w.form;
    f.controls().Statistics->cbReset->setChecked(true);
    f.controls().Statistics->cbMonth->setCurrentIndex(6); // "7th"
    f.controls().Statistics->DateTimePicker1->setTime(QTime(0, 1, 0));
    f.controls().btnStart->click();
    w.clock.set({2026, 12, 7, 0, 0, 50});
    for (int i = 0; i < 5; ++i)
        w.tick(100, 50);
    EXPECT_EQ(f.run().totals().at(0).totalIn, 500u);
    // Ticks at 00:00:56, :58, :59, 00:01:01, ... skip 00:01:00 itself; the
    // reset happens once, on the first tick after it.
    for (int i = 0; i < 10; ++i) {
        w.in += 100;
        w.source.push(w.table());
        w.clock.advance(i % 2 == 0 ? 1 : 2);
        f.Timer1Timer();
    }
    EXPECT_EQ(sampling::DateTimeText::toText(f.run().totals().at(0).inReset),
              "07/12/2026 00:01:01");
    EXPECT_EQ(sampling::DateTimeText::toText(f.run().totals().at(0).outReset),
              "07/12/2026 00:01:01");
    // The reset comes first in its tick, so that tick's traffic counts after it.
    EXPECT_EQ(f.run().totals().at(0).totalIn, 700u);
}

TEST(MainWindow, PausesKeepPeakAverageAndScalePerSecondAndLoseNoByte)
{
    constexpr std::uint32_t kRate = 100 * 1024; // steady 100 KB/s
    Window w;
    app::TForm1& f = *w.form;
    chart::Axis& vertical = f.controls().Chart1->chart().leftAxis();
    // Open for a minute before Start, the traffic flowing all along.
    w.in += 60 * kRate;
    w.clock.advance(60);
    f.controls().btnStart->click();
    for (int i = 0; i < 5; ++i)
        w.tick(kRate);
    EXPECT_EQ(w.text("Panel15"), "102,400") << "peak";
    EXPECT_EQ(w.text("Panel16"), "102,400") << "average";
    EXPECT_EQ(w.text("Panel17"), "6,656,000") << "65 seconds of traffic";
    EXPECT_EQ(f.run().totals().at(0).totalIn, 65u * kRate);
    EXPECT_DOUBLE_EQ(vertical.maximum(), 800.0) << "100 KB/s stays under the set maximum";

    // Holding the graph for 5 s: no tick runs, the bytes still arrive.
    f.Chart1MouseDown(Qt::LeftButton, false);
    w.in += 5 * kRate;
    w.clock.advance(5);
    f.Chart1MouseUp(Qt::LeftButton, false);
    for (int i = 0; i < 3; ++i)
        w.tick(kRate);
    EXPECT_EQ(f.run().totals().at(0).totalIn, 73u * kRate) << "no byte of the hold is lost";
    EXPECT_EQ(w.text("Panel15"), "102,400");

    // A tick 10 s late (the machine stalled) shows its average rate.
    w.tick(10 * kRate, 0, 10);
    EXPECT_EQ(w.text("Panel14"), "102,400");
    EXPECT_EQ(w.text("Panel16"), "102,400");
    EXPECT_EQ(f.run().totals().at(0).totalIn, 83u * kRate);
    EXPECT_DOUBLE_EQ(vertical.maximum(), 800.0);

    // Clearing the graph and restoring the axis are not undone by the next tick.
    f.controls().Setup->spMax->setValue(50);
    f.btnClearClick();
    w.tick(kRate);
    EXPECT_DOUBLE_EQ(vertical.maximum(), 101.0) << "raised only to the per-second peak";
}

TEST(MainWindow, TotalsAreWrittenInTheBackgroundWhenTheyChangeAndAtOnceAfterAReset)
{
    {
        Window idle;
        idle.form->settings().autosaveTotals();
        idle.form.reset(); // waits for the writer; no close, so no close's save
        EXPECT_TRUE(idle.readSettings().empty()) << "nothing changed, nothing written";
    }
    Window w;
    app::TForm1& f = *w.form;
    f.controls().btnStart->click();
    for (int i = 0; i < 3; ++i)
        w.tick(1000);
    f.settings().autosaveTotals();
    f.controls().Statistics->btnResetOut->click();
    w.form.reset();
    const std::string saved = w.readSettings();
    EXPECT_NE(saved.find("LastTotalIn0=3000\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("LastOutReset0=06/12/2026 19:44:06\r\n"), std::string::npos) << saved;

    // A write that fails is told once in the status bar, not in a box.
    Window broken({}, false);
    QDir().mkpath(broken.iniPath()); // a folder where the file should be: unreadable
    broken.create();
    broken.form->controls().btnStart->click();
    broken.tick(1000);
    broken.form->settings().autosaveTotals();
    // In the status bar's notice panel (no notification service in tests).
    QLabel& panel = *broken.form->controls().StatusNotice;
    for (int i = 0; i < 500 && panel.text().isEmpty(); ++i) {
        QThread::msleep(10);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(panel.text(), "Unable to write to " + broken.iniPath());
    EXPECT_TRUE(broken.form->statusBar()->currentMessage().isEmpty())
        << "nothing painted over the panels";
    EXPECT_TRUE(broken.messages.empty());
}

TEST(MainWindow, AMonthlyResetIsNotRepeatedForAMomentItAlreadyCovers)
{
    // Reset on the 7th at 00:01:00; it happens on the first tick after it.
    Window first("[Plotter]\r\nFirst=0\r\nReset=1\r\nMonth=6\r\nTime=00:01:00\r\n");
    first.clock.set({2026, 12, 7, 0, 0, 58});
    first.form->controls().btnStart->click();
    for (int i = 0; i < 6; ++i)
        first.tick(100);
    EXPECT_EQ(sampling::DateTimeText::toText(first.form->run().totals().at(0).inReset),
              "07/12/2026 00:01:00");
    first.form->FormCloseQuery();

    // The clock is stepped back over the moment, the program started again,
    // and the moment passes once more: the month's total stays.
    Window again(first.readSettings(), false);
    again.clock.set({2026, 12, 7, 0, 0, 40});
    again.create();
    again.form->controls().btnStart->click();
    for (int i = 0; i < 30; ++i)
        again.tick(100);
    EXPECT_EQ(sampling::DateTimeText::toText(again.form->run().totals().at(0).inReset),
              "07/12/2026 00:01:00");
    EXPECT_EQ(again.form->run().totals().at(0).totalIn, 500u + 3000u);
}

TEST(MainWindow, AResetStampedAfterTheClockDoesNotCoverTheNextMoment)
{
    // Download reset "at noon today" (a clock that ran hours ahead), upload in
    // the year 9999 (an edited file); the reset is due on the 7th at 00:01:00.
    Window w("[Plotter]\r\nFirst=0\r\nReset=1\r\nMonth=6\r\nTime=00:01:00\r\n"
             "LastTotalIn0=9000\r\nLastInReset0=07/12/2026 12:00:00\r\n"
             "LastTotalOut0=8000\r\nLastOutReset0=01/01/9999 23:59:59\r\n",
             false);
    w.clock.set({2026, 12, 7, 0, 0, 50});
    w.create();
    const auto& totals = w.form->run().totals();
    EXPECT_EQ(sampling::DateTimeText::toText(totals.at(0).inReset), "07/12/2026 12:00:00")
        << "less than a day ahead: read as stored";
    EXPECT_EQ(sampling::DateTimeText::toText(totals.at(0).outReset), "07/12/2026 00:00:50")
        << "more than a day ahead: read as missing, the time of loading";
    EXPECT_EQ(w.text("Label41"), "Mon 07 Dec 2026 - 00:00:50");

    w.form->controls().btnStart->click();
    for (int i = 0; i < 20; ++i)
        w.tick(100, 10);
    EXPECT_EQ(sampling::DateTimeText::toText(totals.at(0).inReset), "07/12/2026 00:01:00");
    EXPECT_EQ(sampling::DateTimeText::toText(totals.at(0).outReset), "07/12/2026 00:01:00");
    // Ticks at 00:00:51 .. 00:01:10: the moment comes on the 10th, and the
    // 11 ticks from it on count afresh, the reset coming first in its tick.
    EXPECT_EQ(totals.at(0).totalIn, 11u * 100u);
    EXPECT_EQ(totals.at(0).totalOut, 11u * 10u);
}

TEST(InterfaceListInWindow, ItemsKeepTheAddressAndShowTheInterfaceName)
{
    flowloom::testsupport::WindowHarness w;
    QComboBox* list = w.form->controls().cbURL;
    QComboBox* listening = w.form->controls().Setup->cbServerIP;
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "127.  0.  0.  1") << "the text every rule reads";
    EXPECT_EQ(flowloom::app::interfaceName(*list, 0), "lo");
    EXPECT_EQ(flowloom::app::interfaceName(*list, 1), "eth0");
    EXPECT_EQ(flowloom::app::interfaceName(*listening, 1), "eth0");
    EXPECT_EQ(list->toolTip(), "lo");
    list->setCurrentIndex(1);
    EXPECT_EQ(list->toolTip(), "eth0");
    EXPECT_EQ(flowloom::app::interfaceItemCaption(list->itemText(1), "eth0"),
              "192.168.  1. 10   eth0");
    EXPECT_EQ(flowloom::app::interfaceItemCaption("!not_found!", ""), "!not_found!");
}

TEST(MainWindow, AMinimisedWindowKeepsItsFiguresAndShowsThemWhenRestored)
{
    Window w;
    app::TForm1& f = *w.form;
    f.show();
    f.controls().btnStart->click();
    f.controls().PageControl1->setCurrentWidget(f.controls().Statistics);
    for (int i = 0; i < 3; ++i)
        w.tick(1000);
    ASSERT_EQ(w.text("Panel14"), "1,000");

    f.showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(f.isMinimized());
    w.tick(3000);
    w.tick(2000);
    // Not written while nobody sees them, but what the figures read is current.
    EXPECT_EQ(w.text("Panel14"), "1,000");
    EXPECT_EQ(f.figures().figure(w.get<QLabel>("Panel14")), "2,000");
    EXPECT_EQ(f.figures().figure(w.get<QLabel>("Panel15")), "3,000");
    EXPECT_EQ(f.run().totals().at(0).totalIn, 8000u);
    EXPECT_EQ(f.run().trayHint(), "Flowloom - 0.000 GB");
    // The graph's data went on: one point per shown tick.
    EXPECT_EQ(f.graph().plotFeed().series1().size(), 3u);

    f.showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.text("Panel14"), "2,000");
    EXPECT_EQ(w.text("Panel26"), "8,000");
    EXPECT_EQ(f.controls().StatusPanel[1]->text(), "In: 2.0 KB/s");
}

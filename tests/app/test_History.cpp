// The usage history on the window: the History page, its export, the
// data-cap warning and what reaches the database.
#include "WindowHarness.h"
#include "app/NumberBox.h"
#include "app/apps/ApplicationsPage.h"
#include "app/controllers/UsageRecording.h"
#include "app/pages/HistoryPage.h"
#include "app/pages/SetupPage.h"
#include "app/pages/UsageSetupPage.h"
#include "chart/Chart.h"
#include "usage/UsageStore.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <future>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace flowloom;
using testsupport::WindowHarness;

namespace {
std::string cell(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text().toStdString() : std::string();
}

QString notice(const WindowHarness& w)
{
    auto* box = w.form->findChild<QMessageBox*>("HistoryNotice");
    return box && box->isVisible() ? box->text() : QString();
}
} // namespace

// The item views of pages nobody opened are not made at start-up; made
// late, they show what was counted before they existed.
TEST(History, TablesAreMadeWhenTheirPageIsFirstOpenedAndShowWhatCameBefore)
{
    WindowHarness w("[Plotter]\r\nFirst=0\r\n");
    app::TForm1& f = *w.form;
    f.btnStartClick();
    w.tick(1024 * 1024, 512 * 1024);
    w.tick(2 * 1024 * 1024, 0);
    app::HistoryPage& h = *f.controls().History;
    app::ApplicationsPage& a = *f.controls().Applications;
    EXPECT_EQ(h.tblDays, nullptr);
    EXPECT_EQ(h.tblMonths, nullptr);
    EXPECT_EQ(a.tblApplications, nullptr);

    f.show();
    f.controls().PageControl1->setCurrentWidget(&h);
    ASSERT_NE(h.tblDays, nullptr);
    ASSERT_NE(h.tblMonths, nullptr);
    EXPECT_EQ(h.tblDays->parentWidget(), &h);
    EXPECT_TRUE(h.tblDays->isVisible());
    EXPECT_TRUE(h.tblMonths->isVisible());
    ASSERT_EQ(h.tblDays->rowCount(), 31);
    // 1 MiB + 2 MiB down, 512 KiB up, all today.
    EXPECT_EQ(cell(h.tblDays, 0, 1), "3.000");
    EXPECT_EQ(cell(h.tblDays, 0, 2), "0.500");
    EXPECT_EQ(cell(h.tblMonths, 0, 3), "3.500");

    f.controls().PageControl1->setCurrentWidget(&a);
    ASSERT_NE(a.tblApplications, nullptr) << "made when the page shows";
    EXPECT_EQ(a.tblApplications->parentWidget(), &a);
    EXPECT_TRUE(a.tblApplications->isVisible());
}

TEST(History, ThePageShowsTheDaysMonthsAndPeriodAndExportsThem)
{
    WindowHarness w("[Plotter]\r\nFirst=0\r\n");
    app::TForm1& f = *w.form;
    f.btnStartClick();
    // 3 MiB + 1 KiB down, 512 KiB up on 6 December; warm-up ticks count too.
    w.tick(1024 * 1024, 512 * 1024);
    w.tick(2 * 1024 * 1024 + 1024, 0);
    f.controls().PageControl1->setCurrentWidget(f.controls().History);

    app::HistoryPage& h = *f.controls().History;
    ASSERT_EQ(h.tblDays->rowCount(), 31);
    EXPECT_EQ(cell(h.tblDays, 0, 0), "Sun 06 Dec 2026");
    EXPECT_EQ(cell(h.tblDays, 0, 1), "3.001");
    EXPECT_EQ(cell(h.tblDays, 0, 2), "0.500");
    EXPECT_EQ(cell(h.tblDays, 0, 3), "3.501");
    EXPECT_EQ(cell(h.tblDays, 30, 0), "Fri 06 Nov 2026");
    EXPECT_EQ(cell(h.tblDays, 1, 1), "0.000");
    ASSERT_EQ(h.tblMonths->rowCount(), 12);
    EXPECT_EQ(cell(h.tblMonths, 0, 0), "Dec 2026");
    EXPECT_EQ(cell(h.tblMonths, 0, 3), "3.501");
    EXPECT_EQ(cell(h.tblMonths, 11, 0), "Jan 2026");

    // Calendar months while "Reset automatically" is off; 5 days 19:44:05 of 31 gone.
    EXPECT_EQ(h.LabelPeriod->text(),
              "From Tue 01 Dec 2026 - 00:00:00 to Fri 01 Jan 2027 - 00:00:00");
    EXPECT_EQ(h.LabelUsed->text(), "So far: download 3.001 MB, upload 0.500 MB");
    // 3,146,752 bytes × 2,678,400 s / 503,045 s = 16,754,710 bytes = 15.978 MB.
    EXPECT_EQ(h.LabelProjection->text(),
              "Projected to its end: download 15.978 MB, upload 2.662 MB");

    const chart::Chart& chart = h.chart();
    ASSERT_EQ(chart.series(0).size(), 31u);
    EXPECT_DOUBLE_EQ(chart.series(0).y(30), 3146752.0 / 1048576.0);
    h.cbHistoryChart->setCurrentIndex(1);
    EXPECT_EQ(h.chart().series(1).size(), 12u);

    const QString exported = w.folder.path() + "/usage.csv";
    w.dialogs.chooseSaveFile = [&](QWidget*, const QString& suggested) {
        EXPECT_TRUE(suggested.endsWith("usage-lo-2026-12-06.csv")) << suggested.toStdString();
        return std::optional<QString>(exported);
    };
    h.btnExport->click();
    QFile file(exported);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(),
              "Period,Date,Download bytes,Upload bytes,Total bytes\r\n"
              "day,2026-12-06,3146752,524288,3671040\r\n"
              "month,2026-12,3146752,524288,3671040\r\n");

    // The close writes what is still in memory.
    f.FormCloseQuery();
    auto store =
        usage::UsageStore::open(w.folder.path().toStdString() + "/flowloom-history.sqlite");
    ASSERT_TRUE(store);
    const auto days = store->days(usage::identityOf(w.table()[0]), "2026-12-01", "2026-12-31", {});
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0], (usage::DayUsage{"2026-12-06", 3146752, 524288}));
}

TEST(History, TheCapWarnsOnceAtItsShareAndOnceWhenReachedInEachPeriod)
{
    // A cap of 1 MB of download and upload together, warning at 50 %.
    WindowHarness w("[Plotter]\r\nFirst=0\r\nDataCap=1\r\nCapSize=1\r\nCapUnit=0\r\n"
                    "CapCounts=2\r\nCapShare=50\r\n");
    app::TForm1& f = *w.form;
    f.btnStartClick();
    w.tick(300 * 1024, 100 * 1024);
    EXPECT_TRUE(notice(w).isEmpty()) << "39 % used";
    w.tick(100 * 1024, 50 * 1024);
    EXPECT_TRUE(notice(w).startsWith("50 % of the data cap reached: 0.537 MB of 1 MB (download and "
                                     "upload) on lo since Tue 01 Dec 2026 - 00:00:00"))
        << notice(w).toStdString();
    QLabel& panel = *f.controls().StatusNotice;
    EXPECT_EQ(panel.text(), notice(w)) << "and a line in the status bar's notice panel";
    EXPECT_TRUE(f.statusBar()->currentMessage().isEmpty()) << "nothing painted over the panels";
    for (QLabel* rates : {f.controls().StatusPanel[1], f.controls().StatusPanel[2]})
        EXPECT_FALSE(rates->isHidden()) << "the rates stay in view";
    panel.clear();
    w.tick(100 * 1024, 0);
    EXPECT_TRUE(panel.text().isEmpty()) << "once per period";

    w.tick(400 * 1024, 0);
    EXPECT_TRUE(notice(w).startsWith("Data cap reached: 1.025 MB of 1 MB"))
        << notice(w).toStdString();
    panel.clear();
    w.tick(400 * 1024, 0);
    EXPECT_TRUE(panel.text().isEmpty());

    // Raised to 3 MB after it was reached, with 1,450 KB used: below the new
    // share (1,536 KB), so both warn again, each once, as they are passed.
    f.controls().Setup->UsagePage->spCapSize->setValue(3);
    w.tick(0, 0);
    EXPECT_TRUE(panel.text().isEmpty()) << "raising the cap is no warning";
    w.tick(100 * 1024, 0); // 1,550 KB
    EXPECT_TRUE(panel.text().startsWith("50 % of the data cap reached: 1.514 MB of 3 MB"))
        << panel.text().toStdString();
    panel.clear();
    w.tick(1500 * 1024, 0); // 3,050 KB
    EXPECT_TRUE(panel.text().isEmpty()) << "once at the new share";
    w.tick(100 * 1024, 0); // 3,150 KB
    EXPECT_TRUE(panel.text().startsWith("Data cap reached: 3.076 MB of 3 MB"))
        << panel.text().toStdString();
    panel.clear();
    w.tick(100 * 1024, 0);
    EXPECT_TRUE(panel.text().isEmpty()) << "once at the new cap";

    // Back to 1 MB, reached already: no warning again.
    f.controls().Setup->UsagePage->spCapSize->setValue(1);
    w.tick(0, 0);
    EXPECT_TRUE(panel.text().isEmpty());

    // The next month is a new period: both warn again.
    w.clock.set({2027, 1, 1, 0, 0, 5});
    w.tick(600 * 1024, 0);
    EXPECT_TRUE(notice(w).startsWith("50 % of the data cap reached: 0.586 MB of 1 MB"))
        << notice(w).toStdString();
}

TEST(History, AHistoryStillLockedAtCloseIsToldLikeAFailedSaveAndOneFreedIsWritten)
{
    for (const bool freedBeforeClose : {true, false}) {
        SCOPED_TRACE(freedBeforeClose ? "freed before the close" : "still held at the close");
        WindowHarness w("", false);
        const std::string file = w.folder.path().toStdString() + "/flowloom-history.sqlite";
        ASSERT_TRUE(usage::UsageStore::prepare(file, {2026, 12, 5, 12, 0, 0}).ready);
        // Another program's writer in a transaction: the start cannot set the file up.
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        w.create();
        app::TForm1& f = *w.form;
        EXPECT_NE(notice(w).indexOf("tried again every minute"), -1) << notice(w).toStdString();
        f.btnStartClick();
        w.tick(4000, 400);
        if (freedBeforeClose) {
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(other);
            other = nullptr;
        }
        const QString exported = w.folder.path() + "/usage.csv";
        if (!freedBeforeClose) {
            // This run's days alone would pass for the whole history.
            w.dialogs.chooseSaveFile = [&](QWidget*, const QString&) {
                return std::optional<QString>(exported);
            };
            f.controls().History->btnExport->click();
            EXPECT_FALSE(QFile::exists(exported));
            ASSERT_EQ(w.messages.size(), 1u);
            EXPECT_EQ(w.messages[0], "The usage history " + file + " is unavailable.");
        }
        f.FormCloseQuery();
        if (!freedBeforeClose) {
            ASSERT_EQ(w.messages.size(), 2u);
            EXPECT_EQ(w.messages[1], "Unable to write to " + file);
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(other);
            continue;
        }
        EXPECT_TRUE(w.messages.empty());
        auto store = usage::UsageStore::open(file);
        ASSERT_TRUE(store);
        const auto days =
            store->days(usage::identityOf(w.table()[0]), "2026-12-06", "2026-12-06", {});
        ASSERT_EQ(days.size(), 1u);
        EXPECT_EQ(days[0], (usage::DayUsage{"2026-12-06", 4000, 400}));
    }
}

TEST(History, AStartUnderAClockSixYearsAheadKeepsEveryStoredDay)
{
    WindowHarness w("", false);
    const std::string file = w.folder.path().toStdString() + "/flowloom-history.sqlite";
    const usage::InterfaceIdentity lo = usage::identityOf(w.table()[0]);
    const std::vector<std::string> stored = {"2022-03-01", "2024-02-29", "2026-12-05"};
    {
        ASSERT_TRUE(usage::UsageStore::prepare(file, {2026, 12, 5, 12, 0, 0}).ready);
        auto writer = usage::UsageStore::open(file);
        usage::UsageBatch batch;
        batch.seq = 1;
        for (const std::string& day : stored)
            batch.days.push_back({lo, day, 10, 1});
        std::string error;
        ASSERT_TRUE(writer->write({batch}, error)) << error;
    }
    w.clock.set({2032, 12, 7, 9, 0, 0}); // a dead clock battery, a bad time answer
    w.create();
    w.form->btnStartClick();
    w.tick(300, 30);
    w.form->FormCloseQuery();

    auto store = usage::UsageStore::open(file);
    std::vector<std::string> kept;
    for (const usage::DayUsage& day : store->days(lo, "0000-01-01", "9999-12-31", {}))
        kept.push_back(day.day);
    EXPECT_EQ(kept,
              (std::vector<std::string>{"2022-03-01", "2024-02-29", "2026-12-05", "2032-12-07"}));
}

// Start-up opens the history's file on a thread of its own while it builds the
// window: what it finds must be what opening it in place finds, for a file
// that opens and for one another program holds locked.
TEST(History, AFileOpenedInTheBackgroundIsTakenAsOneOpenedInPlace)
{
    const usage::InterfaceIdentity eth{"eth0", "02-00-00-00-00-01"};
    const sampling::DateTime now{2026, 12, 6, 12, 0, 0};
    for (const bool locked : {false, true}) {
        SCOPED_TRACE(locked ? "locked by another program" : "free");
        QTemporaryDir folder;
        const std::string file = folder.path().toStdString() + "/flowloom-history.sqlite";
        {
            ASSERT_TRUE(usage::UsageStore::prepare(file, now).ready);
            auto writer = usage::UsageStore::open(file);
            usage::UsageBatch batch;
            batch.seq = 1;
            batch.days.push_back({eth, "2026-12-05", 700, 70});
            std::string error;
            ASSERT_TRUE(writer->write({batch}, error)) << error;
        }
        sqlite3* other = nullptr;
        if (locked) {
            ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        }
        std::future<app::UsageRecording::Opening> opening =
            app::UsageRecording::openInBackground(file, now);
        ASSERT_TRUE(opening.valid());
        app::UsageRecording background(file, now, opening.get());
        app::UsageRecording inPlace(file, now);

        EXPECT_EQ(background.report().ready, inPlace.report().ready);
        EXPECT_EQ(background.report().retry, inPlace.report().retry);
        EXPECT_EQ(background.report().message, inPlace.report().message);
        EXPECT_EQ(background.recording(), !locked);
        EXPECT_EQ(background.waiting(), locked);
        const std::vector<usage::DayUsage> days =
            background.history().days(eth, "2026-12-01", "2026-12-31");
        if (locked) {
            EXPECT_FALSE(background.available());
        } else {
            EXPECT_TRUE(background.available());
            ASSERT_EQ(days.size(), 1u);
            EXPECT_EQ(days[0], (usage::DayUsage{"2026-12-05", 700, 70}));
        }
        if (other != nullptr) {
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(other);
        }
    }
}

// Traffic per application in the window: the Applications page fed by the
// accounting core's tick, the setting, and the note where the kernel offers
// nothing. The sockets are scripted.
#include "WindowHarness.h"
#include "app/SetupPage.h"
#include "app/apps/ApplicationsController.h"
#include "app/apps/ApplicationsPage.h"
#include "appnet/ApplicationTraffic.h"
#include "appnet/FakeSockets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <chrono>

using namespace flowloom;
using testsupport::WindowHarness;

namespace {

std::string cell(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text().toStdString() : std::string();
}

// A window whose traffic per application reads scripted sockets.
struct AppsWindow
{
    appnet::ScriptedSockets sockets;
    appnet::FakeOwners owners;
    std::string problem;
    // When the collector reads the live sockets: a clock the test moves.
    std::chrono::steady_clock::time_point steady{std::chrono::seconds(1000)};
    WindowHarness w{"[Plotter]\r\nFirst=0\r\n", false};

    explicit AppsWindow(std::string kernelProblem = {}) : problem(std::move(kernelProblem))
    {
        owners.byUid = {{1000, {appnet::IdentifiedBy::Process, "browser"}},
                        {33, {appnet::IdentifiedBy::Cgroup, "webserver"}}};
        w.applicationTraffic = [this] {
            return std::make_unique<appnet::ApplicationTraffic>(sockets, owners, problem,
                                                                [this] { return steady; });
        };
        w.create();
    }
    app::ApplicationsPage& page() { return *w.form->controls().Applications; }
};

TEST(Applications, ThePageShowsEachTicksRatesSortedWithOtherAndTheShare)
{
    AppsWindow a;
    app::TForm1& f = *a.w.form;
    QTabWidget& tabs = *f.controls().PageControl1;
    EXPECT_EQ(tabs.tabText(tabs.indexOf(&a.page())), "  Applications  ");
    a.page().cbAppScope->setCurrentIndex(1); // loopback: named by the kernel, on every machine

    using appnet::loopbackSocket;
    a.sockets.steps = {
        {{}, {loopbackSocket(1, 1000, 0, 0), loopbackSocket(2, 33, 0, 0)}},
        {{}, {loopbackSocket(1, 1000, 1024, 2048), loopbackSocket(2, 33, 4096, 512)}},
        {{}, {loopbackSocket(1, 1000, 1024, 2048), loopbackSocket(2, 33, 4096, 512)}},
    };
    f.show(); // the page is drawn, and the sockets read every tick, only while seen
    f.btnStartClick();
    tabs.setCurrentWidget(&a.page()); // Start shows the graph
    a.w.tick(0, 0);                   // the first look: a base
    a.w.tick(6 * 1024, 3072);         // lo: 6 KiB in, 3 KiB out; the sockets 5 KiB and 2.5 KiB
    const QTableWidget* table = a.page().tblApplications;
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(cell(table, 0, 0), "webserver") << "5 KiB this tick before 3 KiB";
    EXPECT_EQ(cell(table, 0, 1), "cgroup");
    EXPECT_EQ(cell(table, 0, 2), "4.0");
    EXPECT_EQ(cell(table, 0, 3), "0.5");
    EXPECT_EQ(cell(table, 1, 0), "browser");
    EXPECT_EQ(cell(table, 1, 1), "process");
    EXPECT_EQ(cell(table, 1, 2), "1.0");
    EXPECT_EQ(cell(table, 1, 3), "2.0");
    EXPECT_EQ(cell(table, 2, 0), appnet::kOtherName);
    EXPECT_EQ(cell(table, 2, 2), "1.0"); // 6 KiB - 5 KiB
    EXPECT_EQ(cell(table, 2, 3), "0.5"); // 3 KiB - 2.5 KiB
    // 7.5 KiB of 9 KiB attributed.
    EXPECT_EQ(a.page().LabelAttributed->text(),
              "Attributed to applications: 83.3 % of this tick's traffic");

    // Today's totals come from the history.
    EXPECT_EQ(cell(table, 0, 4), "0.004"); // 4,096 bytes in MB
    a.w.tick(0, 0);
    EXPECT_EQ(cell(table, 0, 0), "webserver") << "more bytes today";
    EXPECT_EQ(cell(table, 0, 2), "0.0");
    EXPECT_EQ(cell(table, 0, 4), "0.004"); // 4,096 bytes in MB
    EXPECT_EQ(cell(table, 0, 6), "0.004") << "this period holds today";
    EXPECT_EQ(a.page().LabelAttributed->text(), "Attributed to applications: no traffic this tick");
}

TEST(Applications, UnseenTheSocketsAreReadOncePerIntervalAndShownAgainAtOnce)
{
    AppsWindow a;
    app::TForm1& f = *a.w.form;
    QTabWidget& tabs = *f.controls().PageControl1;
    using appnet::internetSocket;
    // Each poll takes the next step.
    a.sockets.steps = {
        {{}, {internetSocket(1, 1000, 0, 0)}},
        {{}, {internetSocket(1, 1000, 3000, 300)}},
        {{}, {internetSocket(1, 1000, 4000, 400)}},
        {{}, {internetSocket(1, 1000, 4000, 400)}},
    };
    f.btnStartClick();
    a.w.tick(0, 0); // the first look reads at once, seen or not
    EXPECT_EQ(a.sockets.steps.size(), 3u);
    for (int second = 1; second < 30; ++second) {
        a.steady += std::chrono::seconds(1);
        a.w.tick(100, 10);
    }
    EXPECT_EQ(a.sockets.steps.size(), 3u) << "window not shown: no read within the interval";
    a.steady += std::chrono::seconds(1);
    a.w.tick(100, 10); // 30 s after the first read
    EXPECT_EQ(a.sockets.steps.size(), 2u);
    EXPECT_EQ(f.applications().traffic().latest().ticks, 30);

    f.show();
    a.steady += std::chrono::seconds(1);
    a.w.tick(100, 10);
    EXPECT_EQ(a.sockets.steps.size(), 2u) << "shown, but another page is current";
    tabs.setCurrentWidget(&a.page());
    a.steady += std::chrono::seconds(1);
    a.w.tick(100, 10);
    EXPECT_EQ(a.sockets.steps.size(), 1u) << "the page seen: read at the next tick";
    a.steady += std::chrono::seconds(1);
    a.w.tick(0, 0);
    EXPECT_EQ(a.sockets.steps.size(), 0u) << "and at every tick after";
}

TEST(Applications, TheSettingSwitchesTheCountingOff)
{
    AppsWindow a;
    app::TForm1& f = *a.w.form;
    EXPECT_TRUE(f.controls().Setup->cbAppTraffic->isChecked()) << "on by default";
    EXPECT_TRUE(f.applications().traffic().counting());
    f.controls().Setup->cbAppTraffic->setChecked(false);
    EXPECT_FALSE(f.applications().traffic().counting());
    EXPECT_TRUE(a.page().LabelAppNote->isVisibleTo(&a.page()));
    EXPECT_EQ(a.page().LabelAppNote->text(), "Traffic per application is switched off in Setup.");
    a.sockets.steps = {{{}, {}}};
    f.btnStartClick();
    a.w.tick(100, 100);
    EXPECT_EQ(a.sockets.steps.size(), 1u) << "no socket read while off";
    f.controls().Setup->cbAppTraffic->setChecked(true);
    EXPECT_FALSE(a.page().LabelAppNote->isVisibleTo(&a.page()));
}

TEST(Applications, WhereTheKernelOffersNothingItSaysSoInTheStatusBar)
{
    AppsWindow a("TCP socket diagnostics are not offered by this kernel");
    app::TForm1& f = *a.w.form;
    const QString note = "Traffic per application is not available here: TCP socket "
                         "diagnostics are not offered by this kernel.";
    EXPECT_EQ(a.page().LabelAppNote->text(), note);
    f.btnStartClick();
    a.w.tick(100, 100);
    EXPECT_EQ(f.statusBar()->currentMessage(), note) << "told at the first tick";
    EXPECT_FALSE(f.applications().traffic().counting());
}

} // namespace

// The system's own source is made on a thread of its own while the window is
// built (its first look walks the kernel's whole TCP table): the page tells what
// a source made in place tells, and the switch reaches the source it got.
TEST(Applications, TheSystemsSourceMadeDuringStartUpIsTheOneThePageTells)
{
    WindowHarness w("[Plotter]\r\nFirst=0\r\n");
    const appnet::ApplicationTraffic inPlace;
    const QLabel& note = *w.form->controls().Applications->LabelAppNote;
    if (!inPlace.available()) {
        EXPECT_EQ(note.text().toStdString(),
                  "Traffic per application is not available here: " + inPlace.problem() + ".");
        return;
    }
    EXPECT_TRUE(note.text().isEmpty()) << note.text().toStdString();
    w.form->controls().Setup->cbAppTraffic->setChecked(false);
    EXPECT_EQ(note.text(), "Traffic per application is switched off in Setup.");
    w.form->controls().Setup->cbAppTraffic->setChecked(true);
    EXPECT_TRUE(note.text().isEmpty());
}

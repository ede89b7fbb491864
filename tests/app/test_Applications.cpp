// Traffic per application in the window: the Applications page fed by the
// accounting core's tick, the setting, the note where the kernel offers
// nothing, and the same figures in /api/v1/applications.json and /metrics.
// The sockets are scripted.
#include "WindowHarness.h"
#include "WindowRequests.h"
#include "app/apps/ApplicationsController.h"
#include "app/apps/ApplicationsPage.h"
#include "app/pages/SetupPage.h"
#include "appnet/ApplicationTraffic.h"
#include "appnet/FakeSockets.h"
#include "support/LoopbackClient.h"
#include "web/ui/WebService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>

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
    WindowHarness w{std::string(), false};

    explicit AppsWindow(std::string kernelProblem = {},
                        const std::string& settings = "[Plotter]\r\nFirst=0\r\n")
        : problem(std::move(kernelProblem))
    {
        w.writeSettings(settings);
        owners.byUid = {{1000, {appnet::IdentifiedBy::Process, "browser"}},
                        {33, {appnet::IdentifiedBy::Cgroup, "webserver"}}};
        w.applicationTraffic = [this] {
            return std::make_unique<appnet::ApplicationTraffic>(sockets, owners, problem,
                                                                [this] { return steady; });
        };
        w.create();
    }
    app::ApplicationsPage& page() { return *w.form->controls().Applications; }

    // A document of the window's web server, fetched from another thread while
    // this (the user-interface) thread runs its events; its body.
    std::string get(const std::string& path)
    {
        const std::string bytes = testsupport::getWhileRunning(w, path).bytes;
        EXPECT_TRUE(bytes.starts_with("HTTP/1.1 200 OK\r\n")) << path << ": " << bytes;
        const auto end = bytes.find("\r\n\r\n");
        return end == std::string::npos ? std::string() : bytes.substr(end + 4);
    }
};

// The page's rows by name: identified by, today down and up, period down and up.
std::map<std::string, std::vector<std::string>> rowsOf(const QTableWidget* table)
{
    std::map<std::string, std::vector<std::string>> rows;
    for (int r = 0; r < table->rowCount(); ++r)
        rows[cell(table, r, 0)] = {cell(table, r, 1), cell(table, r, 4), cell(table, r, 5),
                                   cell(table, r, 6), cell(table, r, 7)};
    return rows;
}

// A byte count below a thousand megabytes as the page shows it: megabytes
// (2^20 bytes) with three decimals.
std::string megabytesShown(double bytes)
{
    return QString::number(bytes / 1048576.0, 'f', 3).toStdString();
}

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

TEST(Applications, TheDocumentsForProgramsHoldThePagesTotalsScopeByScope)
{
    AppsWindow a({}, "[Plotter]\r\nFirst=0\r\nWeb=1\r\nPort=0\r\nServerIP=0\r\n"
                     "JsonApi=1\r\nMetrics=1\r\n");
    app::TForm1& f = *a.w.form;
    using appnet::internetSocket;
    using appnet::loopbackSocket;
    a.sockets.steps = {
        {{}, {internetSocket(1, 1000, 0, 0), loopbackSocket(2, 33, 0, 0)}},
        {{}, {internetSocket(1, 1000, 3000, 300), loopbackSocket(2, 33, 4096, 512)}},
    };
    f.show();
    f.btnStartClick();
    f.controls().PageControl1->setCurrentWidget(&a.page());
    a.w.tick(0, 0);       // the base
    a.w.tick(6144, 3072); // lo: 6144 in, 3072 out; eth0 twice that

    const QJsonObject document =
        QJsonDocument::fromJson(QByteArray::fromStdString(a.get("/api/v1/applications.json")))
            .object();
    EXPECT_EQ(document["state"].toString(), "counting");
    // What each scope holds: name, identified by, bytes down and up (today and period alike).
    struct Expected
    {
        const char* name;
        const char* by; // "" for Other
        double in;
        double out;
    };
    struct Scope
    {
        const char* member;
        const char* interface;
        int pageScope;
        std::vector<Expected> rows; // in the document's order
    };
    const std::vector<Scope> scopes = {
        // eth0: 12288 in and 6144 out, 3000 and 300 of them the browser's.
        {"internet",
         ":physical",
         0,
         {{"browser", "process", 3000, 300}, {appnet::kOtherName, "", 12288 - 3000, 6144 - 300}}},
        {"loopback",
         ":loopback",
         1,
         {{"webserver", "cgroup", 4096, 512}, {appnet::kOtherName, "", 6144 - 4096, 3072 - 512}}},
    };
    for (const Scope& scope : scopes) {
        const QJsonObject json = document[scope.member].toObject();
        EXPECT_EQ(json["interface"].toString(), scope.interface);
        const QJsonArray applications = json["applications"].toArray();
        ASSERT_EQ(applications.size(), static_cast<qsizetype>(scope.rows.size())) << scope.member;
        a.page().cbAppScope->setCurrentIndex(scope.pageScope);
        const auto page = rowsOf(a.page().tblApplications);
        EXPECT_EQ(page.size(), scope.rows.size()) << scope.member;
        for (std::size_t i = 0; i < scope.rows.size(); ++i) {
            const Expected& e = scope.rows[i];
            const QJsonObject row = applications[static_cast<qsizetype>(i)].toObject();
            EXPECT_EQ(row["name"].toString().toStdString(), e.name);
            if (*e.by == 0)
                EXPECT_TRUE(row["identified_by"].isNull()) << e.name;
            else
                EXPECT_EQ(row["identified_by"].toString().toStdString(), e.by);
            EXPECT_EQ(row["today_received_bytes"].toDouble(), e.in) << e.name;
            EXPECT_EQ(row["today_sent_bytes"].toDouble(), e.out) << e.name;
            EXPECT_EQ(row["period_received_bytes"].toDouble(), e.in) << e.name;
            EXPECT_EQ(row["period_sent_bytes"].toDouble(), e.out) << e.name;
            // The page shows the same figures.
            ASSERT_EQ(page.count(e.name), 1u) << e.name;
            const std::vector<std::string> expectedCells = {
                e.by, megabytesShown(e.in), megabytesShown(e.out), megabytesShown(e.in),
                megabytesShown(e.out)};
            EXPECT_EQ(page.at(e.name), expectedCells) << e.name;
        }
    }

    const std::string metrics = a.get("/metrics");
    for (const char* fragment :
         {"flowloom_application_receive_bytes_total{device=\":physical\",application=\"browser\","
          "identified_by=\"process\"} 3000\n",
          "flowloom_application_transmit_bytes_total{device=\":loopback\",application="
          "\"webserver\",identified_by=\"cgroup\"} 512\n",
          "flowloom_application_receive_bytes_total{device=\":loopback\",application=\"other\","
          "identified_by=\"other\"} 2048\n"})
        EXPECT_NE(metrics.find(fragment), std::string::npos) << fragment << " in " << metrics;
}

TEST(Applications, UnseenTheDocumentsFollowEachPollAndTheNewDay)
{
    AppsWindow a({}, "[Plotter]\r\nFirst=0\r\nWeb=1\r\nPort=0\r\nServerIP=0\r\nJsonApi=1\r\n");
    app::TForm1& f = *a.w.form;
    using appnet::internetSocket;
    a.sockets.steps = {
        {{}, {internetSocket(1, 1000, 0, 0)}},
        {{}, {internetSocket(1, 1000, 3000, 300)}},
    };
    // The browser's bytes today and this period, from applications.json.
    auto browser = [&a] {
        const QJsonObject document =
            QJsonDocument::fromJson(QByteArray::fromStdString(a.get("/api/v1/applications.json")))
                .object();
        for (const QJsonValue row : document["internet"].toObject()["applications"].toArray())
            if (row.toObject()["name"].toString() == "browser")
                return std::pair{row.toObject()["today_received_bytes"].toDouble(),
                                 row.toObject()["period_received_bytes"].toDouble()};
        return std::pair{-1.0, -1.0}; // not listed
    };
    f.btnStartClick();
    a.w.tick(0, 0); // window not shown: the first look, then one per 30 seconds
    EXPECT_EQ(browser(), std::pair(-1.0, -1.0)) << "nothing counted yet";
    for (int second = 1; second < 30; ++second) {
        a.steady += std::chrono::seconds(1);
        a.w.tick(100, 10);
    }
    EXPECT_EQ(browser(), std::pair(-1.0, -1.0)) << "no poll yet";
    a.steady += std::chrono::seconds(1);
    a.w.tick(100, 10); // the poll: 3000 bytes of the browser
    EXPECT_EQ(browser(), std::pair(3000.0, 3000.0)) << "every poll reaches the document";
    a.w.tick(0, 0, 5 * 3600); // 2026-12-07, 00:44, with no poll
    EXPECT_EQ(browser(), std::pair(0.0, 3000.0)) << "a new day, the same period";
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

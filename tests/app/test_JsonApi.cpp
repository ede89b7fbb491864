// /metrics and the JSON API of the running window: off until switched on,
// behind the same authentication, and showing the figures of the same tick
// as the Statistics page and the rows of the history file.
#include "WindowHarness.h"
#include "WindowRequests.h"
#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "support/LoopbackClient.h"
#include "usage/UsageStore.h"
#include "web/ui/WebService.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QThread>
#include <future>
#include <gtest/gtest.h>

using namespace flowloom;
using testsupport::WindowHarness;

namespace {
const std::string kServerOn = "[Plotter]\r\nWeb=1\r\nPort=0\r\nServerIP=0\r\n";

test::Received get(const WindowHarness& w, const std::string& path, const std::string& extra = {})
{
    return testsupport::getWhileRunning(w, path, extra);
}

std::string statusLine(const test::Received& r)
{
    return r.bytes.substr(0, r.bytes.find("\r\n"));
}

std::string body(const test::Received& r)
{
    const auto end = r.bytes.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : r.bytes.substr(end + 4);
}

// Parsed by Qt's JSON parser; a parse error fails the test.
QJsonObject parsed(const test::Received& r)
{
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(body(r)), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << ": " << body(r);
    return document.object();
}

// A figure as the Statistics page shows it ("1,234"), as a number.
double shown(const QLabel* label)
{
    return label->text().remove(',').toDouble();
}
} // namespace

TEST(JsonApi, TheDocumentsForProgramsAreOffUntilSwitchedOnAndAskForThePassword)
{
    // The live page also serves the JSON documents: off here, so that the
    // JSON API's own switch decides.
    WindowHarness w(kServerOn +
                    "Auth=1\r\nUser=ann\r\nPass=\x9e\x9a\x8c\x8b\r\nLivePage=0\r\n"); // "aest"
    app::SetupPage& s = *w.form->controls().Setup;
    w.tick(100, 10);
    const std::string credentials = "Authorization: Basic YW5uOmFlc3Q=\r\n"; // ann:aest
    for (const char* path :
         {"/metrics", "/api/v1/summary.json", "/api/v1/history.json", "/api/v1/applications.json"})
        EXPECT_EQ(statusLine(get(w, path, credentials)), "HTTP/1.1 404 Not Found") << path;

    s.cbMetrics->setChecked(true);
    EXPECT_EQ(statusLine(get(w, "/metrics")), "HTTP/1.1 401 Unauthorized");
    const test::Received text = get(w, "/metrics", credentials);
    EXPECT_EQ(statusLine(text), "HTTP/1.1 200 OK");
    EXPECT_NE(text.bytes.find("Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"),
              std::string::npos);
    EXPECT_NE(body(text).find("flowloom_interface_receive_bytes_total{device=\"eth0\","),
              std::string::npos)
        << body(text);
    const test::Received open =
        get(w, "/metrics", credentials + "Accept: application/openmetrics-text;version=1.0.0\r\n");
    EXPECT_NE(open.bytes.find("Content-Type: application/openmetrics-text; version=1.0.0; "
                              "charset=utf-8\r\n"),
              std::string::npos);
    EXPECT_TRUE(body(open).ends_with("# EOF\n"));
    EXPECT_EQ(statusLine(get(w, "/api/v1/summary.json", credentials)), "HTTP/1.1 404 Not Found")
        << "each has its own switch";

    EXPECT_EQ(statusLine(get(w, "/api/v1/applications.json", credentials)),
              "HTTP/1.1 404 Not Found")
        << "the JSON API's switch, not that of /metrics";

    s.cbJsonApi->setChecked(true);
    w.tick(100, 10); // the figures of a tick with the document wanted
    for (const char* path : {"/api/v1/summary.json", "/api/v1/applications.json"}) {
        EXPECT_EQ(statusLine(get(w, path)), "HTTP/1.1 401 Unauthorized") << path;
        EXPECT_EQ(statusLine(get(w, path, credentials)), "HTTP/1.1 200 OK") << path;
    }
}

TEST(JsonApi, TheSummaryHoldsTheFiguresOfTheStatisticsPageAtTheSameTick)
{
    WindowHarness w(kServerOn + "JsonApi=1\r\nMetrics=1\r\nDataCap=1\r\nCapSize=1\r\n"
                                "CapUnit=0\r\nCapCounts=2\r\n");
    app::TForm1& f = *w.form;
    const app::StatisticsPage& p = *f.controls().Statistics;
    f.btnStartClick();
    const std::uint32_t in[] = {5000, 1000, 3000, 2000};
    const std::uint32_t out[] = {700, 300, 100, 50};
    for (std::size_t i = 0; i < 4; ++i)
        w.tick(in[i], out[i]);

    const test::Received reply = get(w, "/api/v1/summary.json");
    ASSERT_EQ(statusLine(reply), "HTTP/1.1 200 OK") << reply.bytes;
    EXPECT_NE(reply.bytes.find("Content-Type: application/json\r\n"), std::string::npos);
    const QJsonObject summary = parsed(reply);
    EXPECT_EQ(summary["version"].toString(), QStringLiteral(FLOWLOOM_VERSION));
    EXPECT_EQ(summary["interface"].toObject()["name"].toString(), "lo");
    const QJsonObject received = summary["received"].toObject();
    const QJsonObject sent = summary["sent"].toObject();
    for (const auto& [key, receivedLabel, sentLabel] :
         {std::tuple{"current_bytes_per_second", p.Panel14, p.Panel18},
          std::tuple{"peak_bytes_per_second", p.Panel15, p.Panel19},
          std::tuple{"average_bytes_per_second", p.Panel16, p.Panel20},
          std::tuple{"cumulative_bytes", p.Panel26, p.Panel27}}) {
        EXPECT_EQ(received[key].toDouble(), shown(receivedLabel)) << key;
        EXPECT_EQ(sent[key].toDouble(), shown(sentLabel)) << key;
    }
    EXPECT_EQ(received["current_bytes_per_second"].toDouble(), 2000) << "the last tick's second";
    EXPECT_EQ(received["cumulative_bytes"].toDouble(), 11000) << "every tick's bytes";
    EXPECT_EQ(sent["cumulative_bytes"].toDouble(), 1150);
    EXPECT_TRUE(received["cumulative_since"].toString().endsWith('Z'));

    // The period is December 2026 (the harness's clock); the cap 1 MB of both directions.
    const QJsonObject period = summary["period"].toObject();
    EXPECT_EQ(period["interface"].toString(), "lo");
    EXPECT_EQ(period["received_bytes"].toDouble(), 11000);
    EXPECT_EQ(period["sent_bytes"].toDouble(), 1150);
    const QJsonObject cap = summary["cap"].toObject();
    EXPECT_EQ(cap["bytes"].toDouble(), 1024.0 * 1024.0);
    EXPECT_EQ(cap["counts"].toString(), "both");
    EXPECT_EQ(cap["used_bytes"].toDouble(), 12150);
    EXPECT_DOUBLE_EQ(cap["used_ratio"].toDouble(), 12150.0 / (1024.0 * 1024.0));

    // /metrics at the same tick: the same totals.
    const std::string metrics = body(get(w, "/metrics"));
    EXPECT_NE(metrics.find("flowloom_cumulative_receive_bytes{device=\"lo\"} 11000\n"),
              std::string::npos)
        << metrics;
    EXPECT_NE(metrics.find("flowloom_data_cap_used_bytes{device=\"lo\",counts=\"both\"} 12150\n"),
              std::string::npos);
}

TEST(JsonApi, HistoryRowsAreThoseOfTheHistoryFile)
{
    WindowHarness w(kServerOn + "JsonApi=1\r\n");
    app::TForm1& f = *w.form;
    const std::string file = w.folder.path().toStdString() + "/flowloom-history.sqlite";
    const usage::InterfaceIdentity eth0 = usage::identityOf(w.table()[1]);
    w.tick(5000, 700);
    w.tick(1000, 300, 24 * 3600); // the next day
    w.tick(400, 40);
    f.history().flushHistory();
    std::vector<usage::DayUsage> stored;
    for (int i = 0; i < 400 && stored.size() != 2; ++i) {
        QThread::msleep(25);
        QCoreApplication::processEvents();
        if (auto store = usage::UsageStore::open(file))
            stored = store->days(eth0, "0000-01-01", "9999-12-31", {});
    }
    ASSERT_EQ(stored.size(), 2u) << "two days in the file";

    const QJsonObject history = parsed(get(w, "/api/v1/history.json?interface=eth0"));
    EXPECT_EQ(history["interface"].toString(), "eth0");
    EXPECT_EQ(history["address"].toString(), QString::fromStdString(eth0.address));
    EXPECT_EQ(history["granularity"].toString(), "day");
    EXPECT_TRUE(history["from"].isNull());
    const QJsonArray rows = history["rows"].toArray();
    ASSERT_EQ(rows.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QJsonObject row = rows[i].toObject();
        const usage::DayUsage& day = stored[static_cast<std::size_t>(i)];
        EXPECT_EQ(row["date"].toString().toStdString(), day.day);
        EXPECT_EQ(row["received_bytes"].toDouble(), static_cast<double>(day.in));
        EXPECT_EQ(row["sent_bytes"].toDouble(), static_cast<double>(day.out));
    }
    // eth0's counters rise twice as fast as lo's in the harness.
    EXPECT_EQ(stored[0].in + stored[1].in, 2u * (5000 + 1000 + 400));

    // One day, and the month that holds both.
    const QJsonArray second =
        parsed(get(w, "/api/v1/history.json?interface=eth0&from=" + stored[1].day +
                          "&to=" + stored[1].day))["rows"]
            .toArray();
    ASSERT_EQ(second.size(), 1);
    EXPECT_EQ(second[0].toObject()["date"].toString().toStdString(), stored[1].day);
    const QJsonArray months =
        parsed(get(w, "/api/v1/history.json?interface=eth0&granularity=month"))["rows"].toArray();
    if (stored[0].day.substr(0, 7) == stored[1].day.substr(0, 7)) {
        ASSERT_EQ(months.size(), 1);
        EXPECT_EQ(months[0].toObject()["received_bytes"].toDouble(),
                  static_cast<double>(stored[0].in + stored[1].in));
    }

    // Bad parameters: 400 and one line; an unknown interface: 404.
    const std::string badRequest = "HTTP/1.1 400 Bad Request";
    for (const auto& [query, status] :
         {std::pair{"", badRequest}, std::pair{"?interface=eth0&granularity=week", badRequest},
          std::pair{"?interface=eth0&from=2026-13-01", badRequest},
          std::pair{"?interface=eth0&from=2026-12-07&to=2026-12-01", badRequest},
          std::pair{"?interface=eth0&colour=red", badRequest},
          std::pair{"?interface=wlan9", std::string("HTTP/1.1 404 Not Found")}}) {
        const test::Received reply = get(w, std::string("/api/v1/history.json") + query);
        EXPECT_EQ(statusLine(reply), status) << query;
        const std::string reason = body(reply);
        EXPECT_FALSE(reason.empty()) << query;
        EXPECT_EQ(reason.find('\n'), reason.size() - 1) << "one line: " << reason;
    }
}

#include "WindowHarness.h"
#include "WindowRequests.h"
#include "app/pages/HistoryPage.h"
#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "app/pages/UsageSetupPage.h"
#include "sampling/UniqueFd.h"
#include "support/LoopbackClient.h"
#include "support/LoopbackTraffic.h"
#include "usage/UsageStore.h"
#include "web/ui/Unit2.h"
#include "web/ui/WebService.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QToolButton>
#include <arpa/inet.h>
#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace flowloom;
using testsupport::WindowHarness;

namespace {
const std::string kServerOn = "[Plotter]\r\nWeb=1\r\nPort=0\r\nServerIP=0\r\n";

test::Received request(const WindowHarness& w, const std::string& bytes)
{
    return testsupport::requestWhileRunning(w, bytes);
}

test::Received get(const WindowHarness& w, const std::string& path, const std::string& extra = {})
{
    return request(w, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n");
}

std::string body(const test::Received& r)
{
    const auto end = r.bytes.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : r.bytes.substr(end + 4);
}

bool has(const test::Received& r, const std::string& text)
{
    return r.bytes.find(text) != std::string::npos;
}
} // namespace

TEST(WebService, DefaultDocuments)
{
    WindowHarness w(kServerOn);
    ASSERT_TRUE(w.form->web().service().isActive()) << (w.messages.empty() ? "" : w.messages[0]);
    EXPECT_EQ(w.form->controls().StatusPanel[3]->text(), "Server Running");
    EXPECT_FALSE(w.form->controls().Setup->btnAdvanced->isEnabled());
    EXPECT_TRUE(w.form->controls().Setup->Label2->text().startsWith("http://127.0.0.1:"));
    EXPECT_TRUE(w.form->controls().Setup->Label2->text().endsWith("/flowloom.jpg"));

    const test::Received graph = get(w, "/flowloom.jpg?t=1");
    ASSERT_TRUE(has(graph, "HTTP/1.1 200 OK\r\n")) << graph.bytes.substr(0, 200);
    EXPECT_TRUE(has(graph, "Content-Type: image/jpeg\r\n"));
    const std::string jpeg = body(graph);
    const QImage decoded = QImage::fromData(reinterpret_cast<const uchar*>(jpeg.data()),
                                            static_cast<int>(jpeg.size()), "JPG");
    EXPECT_EQ(decoded.size(), w.form->controls().TabSheet1->size()) << "the on-screen size";

    const test::Received csv = get(w, "/netstats.txt");
    EXPECT_TRUE(has(csv, "HTTP/1.1 404 Not Found\r\n")) << "the comma-separated text is off";
    EXPECT_EQ(body(csv),
              "<html><head><title>Error</title></head><body><h1>Not Found</h1></body></html>");
    const test::Received formatted = get(w, "/formatted.txt");
    EXPECT_TRUE(has(formatted, "HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(has(formatted, "Content-Type: text/plain\r\n"));
    EXPECT_TRUE(has(get(w, "/Flowloom.jpg"), "<h1>Not Found</h1>"));
    // The bare path is the live page, on unless switched off; then "Not Found".
    EXPECT_TRUE(has(get(w, "/"), "Content-Type: text/html; charset=utf-8\r\n"));
    w.form->controls().Setup->cbLivePage->setChecked(false);
    EXPECT_TRUE(has(get(w, "/"), "<h1>Not Found</h1>"));
}

TEST(WebService, DocumentsShowTheFiguresOfTheStatisticsPage)
{
    WindowHarness w(kServerOn + "CSV=1\r\n");
    app::StatisticsPage& p = *w.form->controls().Statistics;
    p.Panel14->setText("1,234");
    p.Panel15->setText("5,678");
    p.Panel16->setText("910");
    p.Panel18->setText("11");
    p.Panel19->setText("22");
    p.Panel20->setText("33");
    p.Panel26->setText("123,456,789");
    p.Panel27->setText("987,654");
    p.Label39->setText("Sun 06 Dec 2026 - 19:44:03");
    p.Label41->setText("Mon 07 Dec 2026 - 10:00:00");
    w.form->web().publishWebView();
    EXPECT_EQ(body(get(w, "/netstats.txt")),
              "InPerSec=1234,PeakInPerSec=5678,AvgInPerSec=910,OutPerSec=11,PeakOutPerSec=22,"
              "AvgOutPerSec=33,TotalInSince Sun 06 Dec 2026 - 19:44:03=123456789,TotalOutSince "
              "Mon 07 Dec 2026 - 10:00:00=987654");
    const std::string formatted = body(get(w, "/formatted.txt"));
    std::size_t pairs = 0;
    for (std::size_t at = formatted.find("\r\n"); at != std::string::npos;
         at = formatted.find("\r\n", at + 2))
        ++pairs;
    EXPECT_EQ(pairs, 16u);
    EXPECT_NE(formatted.find("\r\n     123,456,789 Bytes.  \r\n"), std::string::npos);
    EXPECT_NE(formatted.find("\r\n     987,654 Bytes.\r\n\r\n"), std::string::npos);

    // A shown tick publishes the new figures; the next request sees them.
    w.form->controls().btnStart->click();
    for (int i = 0; i < 3; ++i)
        w.tick(2048);
    EXPECT_NE(body(get(w, "/netstats.txt")).find("InPerSec=2048,"), std::string::npos);
}

TEST(WebService, Authentication)
{
    WindowHarness w(kServerOn + "Auth=1\r\nUser=a\r\nPass=\r\n");
    const test::Received anonymous = get(w, "/formatted.txt");
    EXPECT_TRUE(has(anonymous, "HTTP/1.1 401 Unauthorized\r\n"));
    EXPECT_TRUE(has(anonymous, "WWW-Authenticate: Basic realm=\"Flowloom Web Service\"\r\n"));
    EXPECT_EQ(body(anonymous), "<html><head><title>Error</title></head><body><h1>Authentication "
                               "failed</h1></body></html>");
    // "a:" in Base64 is YTo=.
    EXPECT_TRUE(has(get(w, "/formatted.txt", "Authorization: Basic YTo=\r\n"), "200 OK"));
    // "a:x" is YTp4.
    EXPECT_TRUE(has(get(w, "/formatted.txt", "Authorization: Basic YTp4\r\n"), "401"));
    // Not Base64: wrong credentials, challenged so that a browser asks again.
    const test::Received malformed = get(w, "/formatted.txt", "Authorization: Basic Y!\r\n");
    EXPECT_TRUE(has(malformed, "HTTP/1.1 401 Unauthorized\r\n")) << malformed.bytes;
    EXPECT_TRUE(has(malformed, "WWW-Authenticate: Basic realm=\"Flowloom Web Service\"\r\n"));

    // A scheme other than Basic: challenged for Basic, before any document.
    for (const std::string scheme : {"Bearer abc", "Digest username=\"a\""}) {
        const test::Received other = get(w, "/formatted.txt", "Authorization: " + scheme + "\r\n");
        EXPECT_TRUE(has(other, "HTTP/1.1 401 Unauthorized\r\n")) << scheme;
        EXPECT_TRUE(has(other, "WWW-Authenticate: Basic realm=\"Flowloom Web Service\"\r\n"))
            << scheme;
    }
    EXPECT_TRUE(w.form->controls().Setup->lblNobodyLetIn->isHidden());

    // Authentication with no user name and password lets nobody in, and the
    // Setup page and the dialog say why.
    WindowHarness empty(kServerOn + "Auth=1\r\n");
    EXPECT_TRUE(has(get(empty, "/formatted.txt"), "HTTP/1.1 401 Unauthorized\r\n"))
        << "no credentials";
    // ":" in Base64 is Og==: the empty pair, sent outright.
    EXPECT_TRUE(has(get(empty, "/formatted.txt", "Authorization: Basic Og==\r\n"),
                    "HTTP/1.1 401 Unauthorized\r\n"));
    EXPECT_TRUE(has(get(empty, "/netstats.jpg"), "HTTP/1.1 401 Unauthorized\r\n"));
    const QLabel& why = *empty.form->controls().Setup->lblNobodyLetIn;
    EXPECT_FALSE(why.isHidden());
    EXPECT_EQ(why.text(), "No user name or password is set, so the server lets nobody in.");
    EXPECT_EQ(empty.form->findChild<web::TForm2*>(), nullptr) << "made when first wanted";
    web::TForm2& dialog = *empty.form->web().Form2();
    EXPECT_TRUE(dialog.cbAuth->isChecked()) << "made late, it takes the loaded settings";
    EXPECT_FALSE(dialog.lblNobodyLetIn->isHidden());
    dialog.edWebPassword->setText("p");
    EXPECT_TRUE(dialog.lblNobodyLetIn->isHidden()) << "a password is set";
    dialog.edWebPassword->clear();
    dialog.cbAuth->setChecked(false);
    EXPECT_TRUE(dialog.lblNobodyLetIn->isHidden()) << "no authentication";
}

TEST(WebService, APortInUseUnticksTheServer)
{
    sampling::UniqueFd holder(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::listen(holder.get(), 1);
    socklen_t length = sizeof addr;
    ::getsockname(holder.get(), reinterpret_cast<sockaddr*>(&addr), &length);
    const int port = ntohs(addr.sin_port);

    WindowHarness w("[Plotter]\r\nWeb=1\r\nServerIP=0\r\nPort=" + std::to_string(port) + "\r\n");
    holder.reset();
    ASSERT_EQ(w.messages.size(), 1u);
    // The failure, then the reason and what to do.
    const std::string failure = "Could not bind socket. Address and port are already in use.";
    const std::string remedy =
        "\r\nAnother program already listens on port " + std::to_string(port) +
        ". End that program, or use another port. Choose another port "
        "under \"Advanced...\" on the \"Web Server\" page, for example 8080.";
    EXPECT_EQ(w.messages[0], failure + remedy);
    EXPECT_FALSE(w.form->controls().Setup->cbWeb->isChecked());
    EXPECT_TRUE(w.form->controls().Setup->btnAdvanced->isEnabled());
    EXPECT_TRUE(w.form->controls().Setup->cbServerIP->isEnabled());
    EXPECT_FALSE(w.form->web().service().isActive());
    EXPECT_TRUE(w.form->controls().StatusPanel[3]->text().isEmpty());
    // Told to the desktop as well (here, with no notification service: the
    // status bar's notice panel).
    EXPECT_EQ(w.form->controls().StatusNotice->text().toStdString(), failure + remedy);

    // The failed start leaves the switch in the file: the next start tries again.
    w.form->settings().save(0);
    EXPECT_NE(w.readSettings().find("\r\nWeb=1\r\n"), std::string::npos);
    // Only the user's own unticking switches the server off for good.
    w.form->controls().Setup->cbWeb->setChecked(true);
    w.form->controls().Setup->cbWeb->setChecked(false);
    w.form->settings().save(0);
    EXPECT_NE(w.readSettings().find("\r\nWeb=0\r\n"), std::string::npos);
}

TEST(WebService, SimultaneousGraphRequestsEachGetAWholeImage)
{
    WindowHarness w(kServerOn + "PNG=1\r\n");
    const std::uint16_t port = testsupport::webPortOf(w);
    const std::string get = "GET /flowloom.png HTTP/1.1\r\n\r\n";
    auto first =
        std::async(std::launch::async, [&] { return test::LoopbackClient::exchange(port, get); });
    auto second =
        std::async(std::launch::async, [&] { return test::LoopbackClient::exchange(port, get); });
    while (first.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready ||
           second.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents();
    for (auto* reply : {&first, &second}) {
        const test::Received r = reply->get();
        EXPECT_TRUE(has(r, "Content-Type: image/x-png\r\n"));
        const std::string png = body(r);
        EXPECT_FALSE(QImage::fromData(reinterpret_cast<const uchar*>(png.data()),
                                      static_cast<int>(png.size()), "PNG")
                         .isNull());
    }
}

TEST(WebService, NamesApplyToTheNextRequestAndFollowTheImageType)
{
    WindowHarness w(kServerOn);
    app::SetupPage& s = *w.form->controls().Setup;
    s.edTemp->setText("graph.jpg");
    EXPECT_TRUE(has(get(w, "/graph.jpg"), "200 OK"));
    EXPECT_TRUE(has(get(w, "/flowloom.jpg"), "404"));
    EXPECT_TRUE(s.Label2->text().endsWith("/flowloom.jpg"))
        << "the label is rebuilt at the next start";

    s.edTemp->setText("flowloom.jpg");
    s.rbGIF->setChecked(true);
    EXPECT_EQ(s.edTemp->text(), "flowloom.gif");
    EXPECT_EQ(s.edImage->text(), "netstats.gif");
    EXPECT_TRUE(s.Label2->text().endsWith("/flowloom.gif"));
    EXPECT_TRUE(has(get(w, "/flowloom.gif"), "Content-Type: image/gif\r\n"));
}

TEST(WebService, NameClashesAreRefusedWithTheirMessages)
{
    WindowHarness w;
    app::SetupPage& s = *w.form->controls().Setup;
    s.edWebStats->setText("stats");
    w.form->cbCSVClick();
    EXPECT_EQ(s.edWebStats->text(), "stats.txt");
    s.edWebStats->setText("formatted.txt");
    w.form->cbCSVClick();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0], "The 'Comma separated text' filename cannot be the same as the\r\n"
                             "'Formatted text' filename.");
    EXPECT_EQ(s.edWebStats->text(), "netstats.txt") << "the remembered name";

    s.cbImage->setChecked(true);
    s.edImage->setText("picture");
    w.form->edImageExit();
    EXPECT_EQ(s.edImage->text(), "picture.jpg");
    s.edTemp->setText("picture.jpg");
    w.form->edTempExit();
    ASSERT_EQ(w.messages.size(), 2u);
    EXPECT_EQ(w.messages[1],
              "The Web graph image cannot have the same filename as the stats image!");
    EXPECT_EQ(s.edTemp->text(), "flowloom.jpg");
}

TEST(WebService, StatisticsImageIsFifteenLinesHigh)
{
    WindowHarness w(kServerOn + "Image=1\r\nPNG=1\r\nImaget=netstats.png\r\n");
    const test::Received r = get(w, "/netstats.png");
    ASSERT_TRUE(has(r, "200 OK")) << r.bytes.substr(0, 200);
    const std::string png = body(r);
    const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(png.data()),
                                          static_cast<int>(png.size()), "PNG");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.height() % 15, 0);
    EXPECT_EQ(w.form->controls().Setup->Label1->text(),
              QString("[%1 x %2]   [W x H]").arg(image.width()).arg(image.height()));
}

TEST(WebService, DialogPortAppliesAtTheNextStart)
{
    WindowHarness w;
    const int free = testsupport::freeLoopbackPort();
    w.form->web().Form2()->edPort->setText(QString::number(free));
    w.form->web().Form2()->show();
    w.form->web().Form2()->close(); // the close box applies too
    EXPECT_EQ(w.form->variables().Port, free);
    w.form->show();
    w.form->controls().Setup->cbWeb->setChecked(true);
    ASSERT_TRUE(w.form->web().service().isActive()) << (w.messages.empty() ? "" : w.messages[0]);
    EXPECT_TRUE(w.form->controls().Setup->Label2->text().contains(QString(":%1/").arg(free)));
    w.form->controls().Setup->cbWeb->setChecked(false);
    EXPECT_FALSE(w.form->web().service().isActive());
    EXPECT_FALSE(w.form->controls().Setup->Label2->isVisible());
}

TEST(WebService, StoppingReleasesRequestsWaitingForTheWindow)
{
    WindowHarness w(kServerOn);
    const std::uint16_t port = testsupport::webPortOf(w);
    // The UI thread does not run events, so the graph request waits for it.
    auto pending = std::async(std::launch::async, [port] {
        return test::LoopbackClient::exchange(port, "GET /flowloom.jpg HTTP/1.1\r\n\r\n");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto before = std::chrono::steady_clock::now();
    w.form->controls().Setup->cbWeb->setChecked(false);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
    EXPECT_FALSE(w.form->web().service().isActive());
    pending.get();
}

TEST(WebService, TheHistoryDocumentIsServedWhenSwitchedOnUnderItsOwnName)
{
    WindowHarness w(kServerOn);
    app::TForm1& f = *w.form;
    app::UsageSetupPage& u = *f.controls().Setup->UsagePage;
    f.btnStartClick();
    w.tick(5000, 700);
    EXPECT_TRUE(has(get(w, "/history.csv"), "HTTP/1.1 404 Not Found\r\n")) << "off by default";

    u.cbHistory->setChecked(true);
    w.tick(1000, 300);
    const test::Received reply = get(w, "/history.csv");
    ASSERT_TRUE(has(reply, "HTTP/1.1 200 OK\r\n")) << reply.bytes;
    EXPECT_TRUE(has(reply, "Content-Type: text/csv\r\n"));
    EXPECT_EQ(body(reply), "Date,Download bytes,Upload bytes\r\n2026-12-06,6000,1000\r\n");

    // A name takes ".csv"; one that another document has is refused.
    u.edHistory->setText("daily");
    f.edHistoryExit();
    EXPECT_EQ(u.edHistory->text(), "daily.csv");
    EXPECT_TRUE(has(get(w, "/daily.csv"), "2026-12-06,6000,1000\r\n"));
    f.controls().Setup->edImage->setText("stats.csv");
    u.edHistory->setText("stats");
    f.edHistoryExit();
    EXPECT_EQ(u.edHistory->text(), "daily.csv");
    ASSERT_FALSE(w.messages.empty());
    EXPECT_EQ(w.messages.back(),
              "The 'Usage history' filename cannot be the same as the filename of another "
              "document.");
}

TEST(WebService, DocumentsFollowTheWindowWhilePlottingIsStopped)
{
    WindowHarness w(kServerOn + "CSV=1\r\nImage=1\r\nImaget=flowloom.gif\r\n"
                                "LastInReset0=01/02/2026 10:00:00\r\n"
                                "LastInReset1=03/04/2026 11:00:00\r\n");
    w.form->show();
    app::SetupPage& s = *w.form->controls().Setup;
    EXPECT_NE(body(get(w, "/netstats.txt")).find("TotalInSince Sun 01 Feb 2026 - 10:00:00="),
              std::string::npos);
    w.form->controls().cbURL->setCurrentIndex(1);
    EXPECT_NE(body(get(w, "/netstats.txt")).find("TotalInSince Fri 03 Apr 2026 - 11:00:00="),
              std::string::npos);

    // GIF would rename the web image to the statistics image's name: refused,
    // yet the images are GIF from now on.
    s.rbGIF->setChecked(true);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(s.edTemp->text(), "flowloom.jpg");
    EXPECT_TRUE(has(get(w, "/flowloom.jpg"), "Content-Type: image/jpeg\r\n"))
        << "the type of a document follows its name";
    const std::string gif = body(get(w, "/flowloom.jpg"));
    EXPECT_EQ(gif.substr(0, 4), "GIF8");

    // Leaving a name field checks it; a context menu or another program does not.
    s.edWebStats->setText("stats");
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(s.edWebStats, &popup);
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(s.edWebStats, &away);
    EXPECT_EQ(s.edWebStats->text(), "stats");
    QFocusEvent tab(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(s.edWebStats, &tab);
    EXPECT_EQ(s.edWebStats->text(), "stats.txt");
}

namespace {
// Another program holding the history file exclusively: nobody reads or writes it.
class HeldLock
{
public:
    explicit HeldLock(const std::string& file)
    {
        EXPECT_EQ(sqlite3_open(file.c_str(), &m_db), SQLITE_OK);
        for (const char* sql :
             {"PRAGMA locking_mode=EXCLUSIVE", "BEGIN EXCLUSIVE", "UPDATE meta SET value = value"})
            EXPECT_EQ(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }
    ~HeldLock() { release(); }
    void release()
    {
        if (m_db != nullptr)
            sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db = nullptr;
};

// A history with `in` and `out` bytes of the harness's lo on 5 December 2026.
void writeDayBefore(const std::string& file, const usage::InterfaceIdentity& lo)
{
    ASSERT_TRUE(usage::UsageStore::prepare(file, {2026, 12, 5, 12, 0, 0}).ready);
    auto writer = usage::UsageStore::open(file);
    usage::UsageBatch batch;
    batch.seq = 1;
    batch.days.push_back({lo, "2026-12-05", 111, 22});
    std::string error;
    ASSERT_TRUE(writer->write({batch}, error)) << error;
}
} // namespace

TEST(WebService, AHistoryHeldLockedAtTheStartIsUnavailableUntilItOpensAndLosesNoByte)
{
    WindowHarness w(kServerOn + "History=1\r\n", false);
    const std::string file = w.folder.path().toStdString() + "/flowloom-history.sqlite";
    const usage::InterfaceIdentity lo = usage::identityOf(w.table()[0]);
    writeDayBefore(file, lo);
    HeldLock lock(file);
    w.create();
    app::TForm1& f = *w.form;
    f.btnStartClick();
    w.tick(5000, 700);
    w.tick(1000, 300);

    test::Received reply = get(w, "/history.csv");
    EXPECT_TRUE(has(reply, "HTTP/1.1 503 Service Unavailable\r\n")) << reply.bytes;
    EXPECT_FALSE(has(reply, "Date,")) << "never an empty history";
    f.controls().PageControl1->setCurrentWidget(f.controls().History);
    EXPECT_TRUE(f.controls().History->LabelPeriod->text().endsWith(" is unavailable."));
    EXPECT_EQ(f.controls().History->tblDays->rowCount(), 0) << "no rows that read as no usage";

    // The lock ends; the next minute's write opens the file and writes what was kept.
    lock.release();
    f.history().flushHistory();
    const auto written = [&] {
        QCoreApplication::processEvents();
        auto store = usage::UsageStore::open(file);
        const auto days = store ? store->days(lo, "2026-12-06", "2026-12-06", {})
                                : std::vector<usage::DayUsage>{};
        return days.size() == 1 && days[0] == usage::DayUsage{"2026-12-06", 6000, 1000};
    };
    bool arrived = false;
    for (int i = 0; i < 400 && !arrived; ++i) {
        QThread::msleep(25);
        arrived = written();
    }
    ASSERT_TRUE(arrived) << "the bytes counted while it was locked";
    w.tick(0, 0);
    reply = get(w, "/history.csv");
    ASSERT_TRUE(has(reply, "HTTP/1.1 200 OK\r\n")) << reply.bytes;
    EXPECT_EQ(body(reply),
              "Date,Download bytes,Upload bytes\r\n2026-12-05,111,22\r\n2026-12-06,6000,1000\r\n");
    f.history().showHistory();
    EXPECT_TRUE(f.controls().History->LabelPeriod->text().startsWith("From "));

    w.tick(50, 5);
    f.FormCloseQuery();
    auto store = usage::UsageStore::open(file);
    EXPECT_EQ(store->days(lo, "2026-12-06", "2026-12-06", {}).at(0),
              (usage::DayUsage{"2026-12-06", 6050, 1005}));
}

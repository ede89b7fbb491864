// The live page of the running window and the addresses the Setup page
// shows: "/" answers unless switched off, behind the same password, and the
// page's data follow either switch; Label12 names only documents that
// answer.
#include "WindowHarness.h"
#include "WindowRequests.h"
#include "app/pages/SetupPage.h"
#include "support/LoopbackClient.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <future>
#include <gtest/gtest.h>

using namespace flowloom;
using testsupport::WindowHarness;

namespace {
const std::string kServerOn = "[Plotter]\r\nWeb=1\r\nPort=0\r\nServerIP=0\r\n";
const std::string kCredentials = "Authorization: Basic YW5uOmFlc3Q=\r\n"; // ann:aest

std::string get(const WindowHarness& w, const std::string& path, const std::string& extra = {})
{
    return testsupport::getWhileRunning(w, path, extra).bytes;
}

std::string statusLine(const std::string& reply)
{
    return reply.substr(0, reply.find("\r\n"));
}

} // namespace

TEST(LivePageWindow, TheRootServesThePageBehindThePasswordUnlessSwitchedOff)
{
    // Download orange, upload blue, as $00BBGGRR.
    WindowHarness w(kServerOn + "Auth=1\r\nUser=ann\r\nPass=\x9e\x9a\x8c\x8b\r\n" // "aest"
                                "Plot=$000080FF\r\nPlotUp=$00FF8000\r\n");
    app::SetupPage& s = *w.form->controls().Setup;
    ASSERT_TRUE(s.cbLivePage->isChecked()) << "on unless switched off";
    w.tick(100, 10);
    w.tick(100, 10);
    w.tick(100, 10);

    EXPECT_EQ(statusLine(get(w, "/")), "HTTP/1.1 401 Unauthorized");
    const std::string page = get(w, "/", kCredentials);
    EXPECT_EQ(statusLine(page), "HTTP/1.1 200 OK");
    EXPECT_NE(page.find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos);
    EXPECT_NE(page.find("\"download\":\"#ff8000\""), std::string::npos);
    EXPECT_NE(page.find("\"upload\":\"#0080ff\""), std::string::npos);
    EXPECT_NE(page.find("\"recent\":[["), std::string::npos) << "the last ticks come with it";

    // The page's data are served for it, with the JSON API switched off.
    ASSERT_FALSE(s.cbJsonApi->isChecked());
    EXPECT_EQ(statusLine(get(w, "/api/v1/summary.json")), "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(statusLine(get(w, "/api/v1/summary.json", kCredentials)), "HTTP/1.1 200 OK");
    EXPECT_EQ(statusLine(get(w, "/api/v1/history.json?interface=lo", kCredentials)),
              "HTTP/1.1 200 OK");

    s.cbLivePage->setChecked(false);
    for (const char* path : {"/", "/api/v1/summary.json", "/api/v1/history.json?interface=lo"})
        EXPECT_EQ(statusLine(get(w, path, kCredentials)), "HTTP/1.1 404 Not Found") << path;
    s.cbJsonApi->setChecked(true);
    EXPECT_EQ(statusLine(get(w, "/", kCredentials)), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(statusLine(get(w, "/api/v1/summary.json", kCredentials)), "HTTP/1.1 200 OK");
}

TEST(LivePageWindow, TheSetupPageShowsOnlyAddressesThatAnswer)
{
    WindowHarness w(kServerOn); // "Formatted text" alone is ticked, as at the first run
    app::SetupPage& s = *w.form->controls().Setup;
    const QString root = "http://127.0.0.1:" + QString::number(testsupport::webPortOf(w)) + "/";
    EXPECT_EQ(s.Label12->text(), root + "formatted.txt") << "not the unticked netstats.txt";
    EXPECT_EQ(s.lblLivePageUrl->text(), root);
    EXPECT_FALSE(s.lblLivePageUrl->isHidden());
    EXPECT_EQ(statusLine(get(w, "/formatted.txt")), "HTTP/1.1 200 OK");

    s.cbCSV->click(); // ticked: the document just dealt with
    EXPECT_EQ(s.Label12->text(), root + "netstats.txt");
    EXPECT_EQ(statusLine(get(w, "/netstats.txt")), "HTTP/1.1 200 OK");
    s.cbCSV->click(); // unticked again: back to one that answers
    EXPECT_EQ(s.Label12->text(), root + "formatted.txt");
    s.cbFormat->click();
    EXPECT_EQ(s.Label12->text(), QString()) << "no statistics document answers";
    s.cbImage->click();
    EXPECT_EQ(s.Label12->text(), root + "netstats.jpg");

    s.cbLivePage->setChecked(false);
    EXPECT_TRUE(s.lblLivePageUrl->isHidden());
    s.cbLivePage->setChecked(true);
    EXPECT_FALSE(s.lblLivePageUrl->isHidden());
    s.cbWeb->setChecked(false);
    EXPECT_TRUE(s.lblLivePageUrl->isHidden()) << "nothing answers while the server is stopped";
}

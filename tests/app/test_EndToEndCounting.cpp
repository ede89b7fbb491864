// The real program in a private network namespace: loopback carries only
// this test's bytes, so the program's totals and history must equal the
// kernel's own counters exactly.
#include "ProgramRun.h"
#include "sampling/NetlinkSource.h"
#include "support/LoopbackClient.h"
#include "support/LoopbackTraffic.h"
#include "usage/UsageStore.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

using namespace flowloom;

namespace {
// Whether a socket listens on the port, read from the kernel's table without
// sending a packet (a refused connection would cross loopback too).
bool listensOn(std::uint16_t port)
{
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, ":%04X 00000000:0000 0A", port);
    QFile table(QStringLiteral("/proc/net/tcp"));
    return table.open(QIODevice::ReadOnly) && table.readAll().contains(wanted);
}

// From the kernel through netlink: sysfs shows the namespace that mounted it.
std::uint64_t loopbackCounter(bool received)
{
    for (const auto& row : sampling::NetlinkSource().interfaceSnapshot())
        if (row.name == "lo")
            return received ? row.inOctets : row.outOctets;
    return 0;
}

struct Portable
{
    QTemporaryDir folder;
    QTemporaryDir home;
    QString program() const { return folder.path() + "/flowloom"; }
    QString ini() const { return folder.path() + "/flowloom.ini"; }
    Portable() { QFile::copy(QStringLiteral(FLOWLOOM_BINARY), program()); }
    void writeIni(const QByteArray& text) const
    {
        QFile file(ini());
        file.open(QIODevice::WriteOnly);
        file.write(text);
    }
    QByteArray readIni() const
    {
        QFile file(ini());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }
    usage::DayUsage loopbackHistory() const
    {
        usage::DayUsage sum;
        auto store =
            usage::UsageStore::open(folder.path().toStdString() + "/flowloom-history.sqlite");
        if (!store)
            return sum;
        for (const auto& row : sampling::NetlinkSource().interfaceSnapshot()) {
            if (row.name != "lo")
                continue;
            for (const usage::DayUsage& day :
                 store->days(usage::identityOf(row), "0000-01-01", "9999-12-31", {})) {
                sum.in += day.in;
                sum.out += day.out;
            }
        }
        return sum;
    }
};
} // namespace

TEST(CountingEndToEnd, TheTotalsAndTheHistoryCountOnAfterThePageLimitStoppedThePlot)
{
    const sampling::TMIBIfArray interfaces = sampling::NetlinkSource().interfaceSnapshot();
    if (interfaces.size() != 1 || interfaces[0].name != "lo")
        GTEST_SKIP() << "needs a private network namespace with loopback alone";
    Portable portable;
    // One page of ten points, then "Stop": the plot stops about 13 s in.
    portable.writeIni("[Plotter]\r\nFirst=0\r\nURL=0\r\nRun=1\r\nPages=1\r\nPoints=10\r\n"
                      "Stop=1\r\nRestart=0\r\n");
    const std::uint64_t rxBefore = loopbackCounter(true);
    const std::uint64_t txBefore = loopbackCounter(false);
    QProcess process;
    process.setProcessEnvironment(testsupport::offscreenEnvironment(portable.home.path()));
    process.setWorkingDirectory(portable.folder.path());
    process.start(portable.program(), {});
    ASSERT_TRUE(process.waitForStarted(10000));

    std::this_thread::sleep_for(std::chrono::seconds(45)); // the plot stopped 30 s ago
    constexpr std::size_t kBytes = 3 * 1024 * 1024;
    ASSERT_EQ(testsupport::pushThroughLoopback(kBytes), kBytes);
    std::this_thread::sleep_for(std::chrono::seconds(3)); // a tick or two reads them
    ASSERT_TRUE(testsupport::terminate(process));

    const std::uint64_t rx = loopbackCounter(true) - rxBefore;
    const std::uint64_t tx = loopbackCounter(false) - txBefore;
    ASSERT_GT(rx, kBytes) << "the pushed bytes and their headers";
    const QByteArray ini = portable.readIni();
    EXPECT_EQ(testsupport::storedInteger(ini, "Run"), 0) << "the page limit stopped the plot";
    EXPECT_EQ(testsupport::storedInteger(ini, "LastTotalIn0"), static_cast<long long>(rx))
        << "the cumulative total holds every byte loopback carried";
    EXPECT_EQ(testsupport::storedInteger(ini, "LastTotalOut0"), static_cast<long long>(tx));
    const usage::DayUsage history = portable.loopbackHistory();
    EXPECT_EQ(history.in, rx) << "and so does the history";
    EXPECT_EQ(history.out, tx);
}

TEST(CountingEndToEnd, HeadlessWithoutADisplayServesRecordsWarnsAndClosesInOrder)
{
    const sampling::TMIBIfArray interfaces = sampling::NetlinkSource().interfaceSnapshot();
    if (interfaces.size() != 1 || interfaces[0].name != "lo")
        GTEST_SKIP() << "needs a private network namespace with loopback alone";
    Portable portable;
    const std::uint16_t port = testsupport::freeLoopbackPort();
    // The web server on; plotting stopped; a cap of 1 MB of download.
    portable.writeIni(QStringLiteral("[Plotter]\r\nFirst=0\r\nURL=0\r\nServerIP=0\r\nWeb=1\r\n"
                                     "Port=%1\r\nRun=0\r\nCSV=1\r\nDataCap=1\r\nCapSize=1\r\n"
                                     "CapUnit=0\r\n")
                          .arg(port)
                          .toLatin1());
    const std::uint64_t rxBefore = loopbackCounter(true);
    const std::uint64_t txBefore = loopbackCounter(false);
    QProcess process;
    QProcessEnvironment env = testsupport::offscreenEnvironment(portable.home.path());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(portable.folder.path());
    process.start(portable.program(), {"--headless"});
    ASSERT_TRUE(process.waitForStarted(10000));

    // No packet before the program's first reading of the table, which it
    // takes before its web server listens.
    ASSERT_TRUE(testsupport::waitUntil([&] { return listensOn(port); }));
    auto get = [port] {
        return test::LoopbackClient::exchange(port, "GET /netstats.txt HTTP/1.1\r\n\r\n").bytes;
    };
    ASSERT_TRUE(testsupport::waitUntil([&] { return get().find("200 OK") != std::string::npos; }))
        << "the web server answers without a display";
    constexpr std::size_t kBytes = 2 * 1024 * 1024;
    ASSERT_EQ(testsupport::pushThroughLoopback(kBytes), kBytes);
    ASSERT_TRUE(testsupport::waitUntil([&] {
        const std::string text = get();
        const auto at = text.find("TotalInSince");
        const auto equals = text.find('=', at);
        return at != std::string::npos && equals != std::string::npos &&
               std::strtoll(text.c_str() + equals + 1, nullptr, 10) >=
                   static_cast<long long>(kBytes);
    })) << "its cumulative total counts while nothing plots";
    std::this_thread::sleep_for(std::chrono::seconds(2)); // the last request's bytes are read
    // What loopback carried while the program ran (its close may send a
    // last packet or two after its last reading).
    const std::uint64_t rx = loopbackCounter(true) - rxBefore;
    const std::uint64_t tx = loopbackCounter(false) - txBefore;
    ASSERT_TRUE(testsupport::terminate(process));
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_NE(process.readAllStandardError().indexOf("Flowloom: Data cap reached: "), -1)
        << "the cap warning goes to standard error";

    const QByteArray ini = portable.readIni();
    EXPECT_EQ(testsupport::storedInteger(ini, "Web"), 1);
    EXPECT_EQ(testsupport::storedInteger(ini, "LastTotalIn0"), static_cast<long long>(rx));
    EXPECT_EQ(testsupport::storedInteger(ini, "LastTotalOut0"), static_cast<long long>(tx));
    const usage::DayUsage history = portable.loopbackHistory();
    EXPECT_EQ(history.in, rx) << "the history holds every byte";
    EXPECT_EQ(history.out, tx);
}

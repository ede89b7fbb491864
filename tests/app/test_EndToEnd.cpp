// The real program, started from a temporary folder with its own settings
// file, on the offscreen platform: a portable copy.
#include "ProgramRun.h"
#include "sampling/NetlinkSource.h"
#include "support/LoopbackClient.h"
#include "support/LoopbackTraffic.h"
#include "usage/UsageStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>

using namespace flowloom;
using testsupport::loopbackPosition;
using testsupport::savedDownloadTotal;

namespace {
struct Installed
{
    QTemporaryDir folder;
    QTemporaryDir home;
    QString program() const { return folder.path() + "/flowloom"; }
    QString ini() const { return folder.path() + "/flowloom.ini"; }
    QString help() const { return folder.path() + "/flowloom.html"; }
    QString history() const { return folder.path() + "/flowloom-history.sqlite"; }

    Installed() { QFile::copy(QStringLiteral(FLOWLOOM_BINARY), program()); }
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
};

// Starts the program and waits until it has written its guide (start-up done;
// the guide is far larger than any stale file a test leaves there).
bool start(QProcess& process, const Installed& installed)
{
    process.setProcessEnvironment(testsupport::offscreenEnvironment(installed.home.path()));
    process.setWorkingDirectory(installed.folder.path());
    process.start(installed.program(), {});
    if (!process.waitForStarted(10000))
        return false;
    return testsupport::waitUntil([&] { return QFileInfo(installed.help()).size() > 1000; });
}

using testsupport::terminate;
} // namespace

TEST(EndToEnd, FirstRunCreatesTheSettingsFileWithEveryKeyInOrder)
{
    Installed installed;
    QProcess process;
    ASSERT_TRUE(start(process, installed)) << process.readAllStandardError().toStdString();
    EXPECT_FALSE(QFile::exists(installed.ini())) << "nothing is written before the close";
    ASSERT_TRUE(terminate(process));
    EXPECT_FALSE(QFile::exists(installed.help())) << "the guide goes with the program";

    EXPECT_EQ(testsupport::everyKeyInOrder(installed.readIni()), "");
    EXPECT_TRUE(installed.readIni().contains("First=0\r\n"));
    // A portable copy in a writable folder keeps its files beside itself.
    const QByteArray folderKey = "Folder=" + installed.folder.path().toUtf8() + "\r\n";
    EXPECT_TRUE(installed.readIni().contains(folderKey));
    EXPECT_FALSE(QDir(installed.home.path()).exists(".config/flowloom"));
    EXPECT_FALSE(QDir(installed.home.path()).exists("Pictures"));
}

TEST(EndToEnd, TerminationSavesAndKeepsUnknownKeys)
{
    Installed installed;
    installed.writeIni("[Plotter]\r\nFirst=0\r\nPoints=123\r\nMyOwnKey=stays\r\n[Elsewhere]\r\n"
                       "a=b\r\n");
    QFile stale(installed.help());
    stale.open(QIODevice::WriteOnly);
    stale.write("old guide");
    stale.close();
    QProcess process;
    ASSERT_TRUE(start(process, installed));
    {
        QFile guide(installed.help());
        guide.open(QIODevice::ReadOnly);
        EXPECT_NE(guide.readAll(), "old guide") << "an old guide is replaced by a fresh copy";
    }
    ASSERT_TRUE(terminate(process));
    const QByteArray saved = installed.readIni();
    EXPECT_TRUE(saved.contains("Points=123\r\n"));
    EXPECT_TRUE(saved.contains("MyOwnKey=stays\r\n"));
    EXPECT_TRUE(saved.contains("[Elsewhere]\r\na=b\r\n"));
    EXPECT_FALSE(QFile::exists(installed.help()));
}

namespace {

// Download bytes of the loopback interface over every day of the history.
long long historyDownload(const Installed& installed)
{
    sampling::NetlinkSource source;
    for (const sampling::TMIBIfRow& row : source.interfaceSnapshot()) {
        if (row.name != "lo")
            continue;
        auto store = usage::UsageStore::open(installed.history().toStdString());
        if (!store)
            return -1;
        long long sum = 0;
        for (const usage::DayUsage& day :
             store->days(usage::identityOf(row), "0000-01-01", "9999-12-31", {}))
            sum += static_cast<long long>(day.in);
        return sum;
    }
    return -1;
}

// The download total of the comma-separated document, or -1.
long long downloadTotal(const std::string& reply)
{
    const auto key = reply.find(",TotalInSince ");
    const auto eq = key == std::string::npos ? key : reply.find('=', key);
    if (eq == std::string::npos)
        return -1;
    return std::atoll(reply.c_str() + eq + 1);
}
} // namespace

TEST(EndToEnd, LoopbackTrafficIsServedAndSavedAtTermination)
{
    const int lo = loopbackPosition();
    ASSERT_GE(lo, 0);
    const std::uint16_t port = testsupport::freeLoopbackPort();
    Installed installed;
    installed.writeIni(QStringLiteral("[Plotter]\r\nFirst=0\r\nURL=%1\r\nServerIP=%1\r\nWeb=1\r\n"
                                      "Port=%2\r\nRun=1\r\nCSV=1\r\nKeepMe=yes\r\n")
                           .arg(lo)
                           .arg(port)
                           .toLatin1());
    QProcess process;
    ASSERT_TRUE(start(process, installed));

    auto readTotal = [&] {
        return downloadTotal(
            test::LoopbackClient::exchange(port, "GET /netstats.txt HTTP/1.1\r\n\r\n").bytes);
    };
    // Figures show from the third tick on (the first two after Start are not shown).
    long long total = -1;
    for (int attempt = 0; attempt < 40 && total <= 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        total = readTotal();
    }
    ASSERT_GT(total, 0) << "the document shows a total once figures are shown";
    constexpr long long kBytes = 5 * 1024 * 1024;
    ASSERT_EQ(testsupport::pushThroughLoopback(kBytes), static_cast<std::size_t>(kBytes));
    for (int attempt = 0; attempt < 40 && total < kBytes; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        total = readTotal();
    }
    EXPECT_GE(total, kBytes) << "the cumulative download total shows the pushed bytes";
    ASSERT_TRUE(terminate(process));

    const QByteArray saved = installed.readIni();
    EXPECT_TRUE(saved.contains("First=0\r\n"));
    EXPECT_TRUE(saved.contains("KeepMe=yes\r\n"));
    const QByteArray key = "LastTotalIn" + QByteArray::number(lo) + "=";
    const int at = saved.indexOf(key);
    ASSERT_GE(at, 0);
    EXPECT_GE(saved.mid(at + key.size(), saved.indexOf('\r', at) - at - key.size()).toLongLong(),
              kBytes);
    EXPECT_FALSE(QFile::exists(installed.help()));
    EXPECT_GE(historyDownload(installed), kBytes) << "the day's record holds the pushed bytes";
    struct stat info
    {
    };
    ASSERT_EQ(::stat(installed.history().toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << "made readable by its owner only";
}

namespace {

// Starts the program plotting loopback and pushes `bytes` through it; false
// when that failed.
bool startPlottingLoopback(QProcess& process, const Installed& installed, int lo, long long bytes)
{
    installed.writeIni(
        QStringLiteral("[Plotter]\r\nFirst=0\r\nURL=%1\r\nRun=1\r\n").arg(lo).toLatin1());
    return lo >= 0 && start(process, installed) &&
           testsupport::pushThroughLoopback(static_cast<std::size_t>(bytes)) ==
               static_cast<std::size_t>(bytes);
}
} // namespace

TEST(EndToEnd, AKilledProgramLosesAtMostTheLastMinuteOfItsTotals)
{
    const int lo = loopbackPosition();
    Installed installed;
    QProcess process;
    constexpr long long kBytes = 4 * 1024 * 1024;
    ASSERT_TRUE(startPlottingLoopback(process, installed, lo, kBytes));
    std::this_thread::sleep_for(std::chrono::seconds(70));
    ::kill(static_cast<pid_t>(process.processId()), SIGKILL);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_GE(savedDownloadTotal(installed.readIni(), lo), kBytes)
        << "the bytes pushed more than a minute before the kill were written";
    EXPECT_GE(historyDownload(installed), kBytes)
        << "and so was their usage history, in the background";

    // The kernel dropped the killed program's lock: the next start runs.
    QFile::remove(installed.help()); // left by the kill; start() waits for a fresh one
    QProcess next;
    ASSERT_TRUE(start(next, installed));
    EXPECT_TRUE(terminate(next));
}

TEST(EndToEnd, ASecondProgramForTheSameSettingsEndsAndTheFirstKeepsItsTotals)
{
    const int lo = loopbackPosition();
    Installed installed;
    QProcess first;
    constexpr long long kBytes = 3 * 1024 * 1024;
    ASSERT_TRUE(startPlottingLoopback(first, installed, lo, kBytes));

    QProcess second;
    second.setProcessEnvironment(testsupport::offscreenEnvironment(installed.home.path()));
    second.start(installed.program(), {});
    ASSERT_TRUE(second.waitForFinished(5000)) << "the second program ends by itself";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(
        second.readAllStandardError().contains(QFileInfo(installed.ini()).fileName().toUtf8()))
        << "it names the settings file in use";
    EXPECT_EQ(first.state(), QProcess::Running);

    std::this_thread::sleep_for(std::chrono::seconds(3)); // a few ticks count the bytes
    ASSERT_TRUE(terminate(first));
    EXPECT_GE(savedDownloadTotal(installed.readIni(), lo), kBytes);
}

TEST(EndToEnd, ADamagedHistoryIsMovedAsideAndTheProgramRunsOn)
{
    const int lo = loopbackPosition();
    Installed installed;
    const QByteArray damaged(3000, 'z');
    {
        QFile file(installed.history());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    QProcess process;
    ASSERT_TRUE(startPlottingLoopback(process, installed, lo, 0));
    // The history opens after the guide is written, once the interfaces are known.
    QStringList aside;
    testsupport::waitUntil([&] {
        aside = QDir(installed.folder.path()).entryList({"flowloom-history.sqlite.damaged-*"});
        return !aside.isEmpty();
    });
    ASSERT_EQ(aside.size(), 1) << "moved aside beside itself";
    QFile kept(installed.folder.path() + "/" + aside[0]);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), damaged) << "as it was";

    constexpr long long kBytes = 1024 * 1024;
    ASSERT_EQ(testsupport::pushThroughLoopback(kBytes), static_cast<std::size_t>(kBytes));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(process.state(), QProcess::Running);
    ASSERT_TRUE(terminate(process));
    EXPECT_GE(historyDownload(installed), kBytes) << "a new history was started";
}

TEST(EndToEnd, ADanglingHistoryLinkSurvivesARunAndNoHistoryIsStartedBesideIt)
{
    const int lo = loopbackPosition();
    Installed installed;
    // Into a drive that is not mounted.
    const QString target = installed.folder.path() + "/unmounted/flowloom-history.sqlite";
    ASSERT_TRUE(QFile::link(target, installed.history()));
    const QStringList before =
        QDir(installed.folder.path())
            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    QProcess process;
    ASSERT_TRUE(startPlottingLoopback(process, installed, lo, 256 * 1024));
    std::this_thread::sleep_for(std::chrono::seconds(2)); // a few ticks count the bytes
    ASSERT_TRUE(terminate(process));

    const QFileInfo link(installed.history());
    EXPECT_TRUE(link.isSymLink()) << "the link itself is still there";
    EXPECT_EQ(link.symLinkTarget(), target);
    QStringList after = QDir(installed.folder.path())
                            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    after.removeAll("flowloom.ini"); // written at the close
    QStringList expected = before;
    expected.removeAll("flowloom.ini");
    EXPECT_EQ(after, expected) << "no history file, companion or moved copy beside it";
    EXPECT_TRUE(process.readAllStandardError().contains("Unable to write to " +
                                                        installed.history().toUtf8()))
        << "the run's usage could not be written, and the close says so";
}

TEST(EndToEnd, AHistoryLockedAtTheStartIsUnavailableMeanwhileAndGetsItsBytesOnceTheLockEnds)
{
    const int lo = loopbackPosition();
    ASSERT_GE(lo, 0);
    const std::uint16_t port = testsupport::freeLoopbackPort();
    Installed installed;
    const std::string history = installed.history().toStdString();
    ASSERT_TRUE(usage::UsageStore::prepare(history, {2026, 1, 1, 12, 0, 0}).ready);
    // Another program holds it exclusively: nobody reads or writes it.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(history.c_str(), &other), SQLITE_OK);
    for (const char* sql :
         {"PRAGMA locking_mode=EXCLUSIVE", "BEGIN EXCLUSIVE", "UPDATE meta SET value = value"})
        ASSERT_EQ(sqlite3_exec(other, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    installed.writeIni(QStringLiteral("[Plotter]\r\nFirst=0\r\nURL=%1\r\nServerIP=%1\r\nWeb=1\r\n"
                                      "Port=%2\r\nRun=1\r\nHistory=1\r\n")
                           .arg(lo)
                           .arg(port)
                           .toLatin1());
    QProcess process;
    ASSERT_TRUE(start(process, installed));
    const auto historyReply = [&] {
        return test::LoopbackClient::exchange(port, "GET /history.csv HTTP/1.1\r\n\r\n").bytes;
    };
    // The history opens once the interfaces are known, after the guide is written.
    std::string reply;
    testsupport::waitUntil([&] {
        reply = historyReply();
        return reply.find("HTTP/1.1 503 ") != std::string::npos;
    });
    EXPECT_EQ(reply.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << reply;

    constexpr long long kBytes = 1024 * 1024;
    ASSERT_EQ(testsupport::pushThroughLoopback(kBytes), static_cast<std::size_t>(kBytes));
    std::this_thread::sleep_for(std::chrono::seconds(2)); // a few ticks count the bytes
    reply = historyReply();
    EXPECT_EQ(reply.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u)
        << "never an empty history: " << reply;

    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(terminate(process));
    EXPECT_GE(historyDownload(installed), kBytes) << "the bytes counted while it was locked";
    EXPECT_FALSE(process.readAllStandardError().contains("Unable to write to"));
}

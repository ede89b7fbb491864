// The real program resuming what the settings file says, where the file holds
// what a wrong clock or a passing clash left there: a reset time in the far
// future, and a server switch whose port was busy at start.
#include "IniTestSupport.h"
#include "ProgramRun.h"
#include "sampling/NetlinkSource.h"
#include "sampling/UniqueFd.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

using namespace flowloom;
using testsupport::loopbackPosition;

namespace {
QByteArray valueOf(const std::string& ini, const QByteArray& key)
{
    return testsupport::storedValue(QByteArray::fromStdString(ini), key);
}
} // namespace

namespace {
struct Copy
{
    QTemporaryDir folder, home;
    QString program() const { return folder.path() + "/flowloom"; }
    std::string ini() const { return (folder.path() + "/flowloom.ini").toStdString(); }
    Copy() { QFile::copy(QStringLiteral(FLOWLOOM_BINARY), program()); }
    // Starts the program and waits until start-up has written the guide.
    bool start(QProcess& process, const QProcessEnvironment& environment) const
    {
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder.path());
        process.start(program(), {});
        return process.waitForStarted(10000) && testsupport::waitUntil([&] {
                   return QFileInfo(folder.path() + "/flowloom.html").size() > 1000;
               });
    }
    QProcessEnvironment environment() const
    {
        return testsupport::offscreenEnvironment(home.path());
    }
};

} // namespace

TEST(EndToEndResume, AResetTimeInTheYear9999DoesNotHoldOffTheNextMonthlyReset)
{
    const QString faketime = QStringLiteral(FLOWLOOM_FAKETIME);
    ASSERT_FALSE(faketime.isEmpty()) << "the faketime package is missing (make deps installs it)";
    const int lo = loopbackPosition();
    ASSERT_GE(lo, 0);
    const QByteArray n = QByteArray::number(lo);
    Copy copy;
    // Reset on the 15th at 00:01:00; the program starts 15 seconds before,
    // time enough to be plotting by then also on a loaded machine.
    QByteArray ini = "[Plotter]\r\nFirst=0\r\nURL=" + n +
                     "\r\nRun=1\r\nReset=1\r\nMonth=14\r\nTime=00:01:00\r\n";
    for (const QByteArray direction : {"In", "Out"})
        ini += "LastTotal" + direction + n + "=1000000000000\r\nLast" + direction + "Reset" + n +
               "=01/01/9999 23:59:59\r\n";
    test::writeBytes(copy.ini(), ini.toStdString());
    QProcessEnvironment environment = copy.environment();
    environment.insert("LD_PRELOAD", faketime);
    environment.insert("FAKETIME", "@2026-03-15 00:00:45"); // runs on from there
    environment.insert("FAKETIME_DONT_FAKE_MONOTONIC", "1");
    QProcess process;
    ASSERT_TRUE(copy.start(process, environment)) << process.readAllStandardError().toStdString();

    // A reset is saved at once; the moment is some 15 seconds away.
    auto resetSaved = [&] {
        return valueOf(test::readBytes(copy.ini()), "LastInReset" + n).startsWith("15/03/2026");
    };
    for (int i = 0; i < 3 && !resetSaved(); ++i)
        testsupport::waitUntil(resetSaved);
    ASSERT_TRUE(testsupport::terminate(process));

    const std::string saved = test::readBytes(copy.ini());
    for (const QByteArray direction : {"In", "Out"}) {
        // The first tick at or after 00:01:00 resets both totals.
        const QByteArray reset = valueOf(saved, "Last" + direction + "Reset" + n);
        EXPECT_TRUE(reset.startsWith("15/03/2026 00:01:0")) << reset.toStdString();
        // Counted afresh: a few seconds of loopback, far from the stored 10^12.
        EXPECT_LT(valueOf(saved, "LastTotal" + direction + n).toLongLong(),
                  1'000'000'000'000LL / 10)
            << direction.toStdString();
    }
}

TEST(EndToEndResume, APortBusyAtStartLeavesTheServerSwitchedOnInTheFile)
{
    const int lo = loopbackPosition();
    ASSERT_GE(lo, 0);
    // The test holds a port on 127.0.0.1, the address the program is to listen on.
    sampling::UniqueFd holder(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(holder.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(holder.get(), 1), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(holder.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    const QByteArray port = QByteArray::number(ntohs(address.sin_port));

    Copy copy;
    test::writeBytes(copy.ini(), ("[Plotter]\r\nFirst=0\r\nWeb=1\r\nServerIP=" +
                                  QByteArray::number(lo) + "\r\nPort=" + port + "\r\n")
                                     .toStdString());
    QProcess process;
    ASSERT_TRUE(copy.start(process, copy.environment()))
        << process.readAllStandardError().toStdString();
    EXPECT_EQ(process.state(), QProcess::Running)
        << "the failed start is told, the program runs on";
    ASSERT_TRUE(testsupport::terminate(process));

    const std::string saved = test::readBytes(copy.ini());
    EXPECT_EQ(valueOf(saved, "Web"), "1") << "the next start tries again";
    EXPECT_EQ(valueOf(saved, "Port"), port);
}

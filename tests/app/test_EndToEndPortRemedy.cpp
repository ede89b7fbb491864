// The real program, headless, run by an ordinary user (nobody) with the
// default port 80: the failure says why and what to do, on standard error,
// and the program keeps running.
#include "ProgramRun.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace flowloom;

TEST(PortRemedyEndToEnd, AnOrdinaryUserIsToldToChooseAPortOf1024OrAbove)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the program as nobody";
    int firstOpenPort = 1024;
    std::ifstream("/proc/sys/net/ipv4/ip_unprivileged_port_start") >> firstOpenPort;
    if (firstOpenPort <= 80)
        GTEST_SKIP() << "this system lets every user open port 80";

    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(QStringLiteral(FLOWLOOM_BINARY), folder.path() + "/flowloom"));
    {
        QFile ini(folder.path() + "/flowloom.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Plotter]\r\nFirst=0\r\nWeb=1\r\nServerIP=0\r\nPort=80\r\n");
    }
    // nobody writes its settings and history beside the program.
    for (const QString& path : {folder.path(), folder.path() + "/flowloom.ini"})
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                        QFileDevice::WriteOther | QFileDevice::ExeOther);
    QProcess program;
    QProcessEnvironment env = testsupport::offscreenEnvironment(folder.path());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.path());
    program.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                              folder.path() + "/flowloom", "--headless"});
    ASSERT_TRUE(program.waitForStarted(10000));
    QByteArray errors;
    const bool told = testsupport::waitUntil([&] {
        program.waitForReadyRead(25);
        errors += program.readAllStandardError();
        return errors.contains("8080");
    });
    EXPECT_TRUE(told) << errors.toStdString();
    program.waitForReadyRead(500); // a second copy would come right after the first
    errors += program.readAllStandardError();
    EXPECT_TRUE(errors.contains("Socket Error # 13")) << errors.toStdString();
    EXPECT_TRUE(errors.contains("Port 80 is below 1024")) << errors.toStdString();
    EXPECT_TRUE(errors.contains("Port=8080"))
        << "the settings file's key: " << errors.toStdString();
    EXPECT_EQ(errors.count("Socket Error # 13"), 1) << "said once: " << errors.toStdString();
    EXPECT_EQ(program.state(), QProcess::Running) << "a failed start does not end the program";
    EXPECT_TRUE(testsupport::terminate(program));
}

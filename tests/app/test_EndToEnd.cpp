// The real program, started from a temporary folder with its own settings
// file, on the offscreen platform.
#include "app/ini/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace flowloom;

namespace {
struct Installed
{
    QTemporaryDir folder;
    QString program() const { return folder.path() + "/flowloom"; }
    QString ini() const { return folder.path() + "/flowloom.ini"; }
    QString help() const { return folder.path() + "/flowloom.html"; }

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
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(installed.folder.path());
    process.start(installed.program(), {});
    if (!process.waitForStarted(10000))
        return false;
    auto ready = [&] { return QFileInfo(installed.help()).size() > 1000; };
    for (int i = 0; i < 400 && !ready(); ++i)
        QThread::msleep(25);
    return ready();
}

bool terminate(QProcess& process)
{
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit;
}
} // namespace

TEST(EndToEnd, FirstRunCreatesTheSettingsFileWithEveryKeyInOrder)
{
    Installed installed;
    QProcess process;
    ASSERT_TRUE(start(process, installed)) << process.readAllStandardError().toStdString();
    EXPECT_FALSE(QFile::exists(installed.ini())) << "nothing is written before the close";
    ASSERT_TRUE(terminate(process));
    EXPECT_FALSE(QFile::exists(installed.help())) << "the guide goes with the program";

    const QList<QByteArray> lines = installed.readIni().split('\n');
    ASSERT_GT(lines.size(), 2);
    EXPECT_EQ(lines[0], "[Plotter]\r");
    std::size_t next = 0;
    for (const QByteArray& line : lines.mid(1)) {
        const QByteArray key = line.left(line.indexOf('='));
        if (key.isEmpty() || key.startsWith("Last"))
            continue;
        ASSERT_LT(next, app::SettingsKeys::table().size());
        EXPECT_EQ(key.toStdString(), app::SettingsKeys::table()[next].name);
        ++next;
    }
    EXPECT_EQ(next, app::SettingsKeys::table().size());
    EXPECT_TRUE(installed.readIni().contains("First=0\r\n"));
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

// How the real program starts: its command line (help, version and a wrong
// option need no display and write nothing) and start at login (a stored
// "on" writes the autostart entry, and that entry starts the program).
#include "DesktopEntryReader.h"
#include "ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace flowloom;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A copy of the program in a folder of its own (portable: its settings beside it).
struct Copy
{
    QTemporaryDir root, home;
    QString folder;
    explicit Copy(const QString& name = QStringLiteral("program"))
        : folder(root.path() + "/" + name)
    {
        QDir().mkpath(folder);
        QFile::copy(QStringLiteral(FLOWLOOM_BINARY), program());
    }
    QString program() const { return folder + "/flowloom"; }
    QString ini() const { return folder + "/flowloom.ini"; }
    QString entry() const
    {
        return home.path() + "/.config/autostart/org.example.flowloom.desktop";
    }
    // Starts `program` on the offscreen platform, working in `workingFolder`.
    bool start(QProcess& process, const QString& program, const QStringList& arguments,
               const QString& workingFolder) const
    {
        process.setProcessEnvironment(testsupport::offscreenEnvironment(home.path()));
        process.setWorkingDirectory(workingFolder);
        process.start(program, arguments);
        return process.waitForStarted(10000);
    }
};

struct Ended
{
    int status = -1;
    QByteArray out, err;
};

// Runs the program to its end with no display at all: no X, no Wayland, no
// platform chosen.
Ended runWithoutDisplay(const Copy& copy, const QStringList& arguments)
{
    QProcessEnvironment env = testsupport::offscreenEnvironment(copy.home.path());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(copy.folder);
    process.start(copy.program(), arguments);
    Ended ended;
    if (process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit)
        ended.status = process.exitCode();
    ended.out = process.readAllStandardOutput();
    ended.err = process.readAllStandardError();
    return ended;
}

} // namespace

TEST(EndToEndStart, HelpVersionAndAWrongOptionEndAtOnceWithTheirStatus)
{
    Copy copy;
    const Ended help = runWithoutDisplay(copy, {"--help"});
    EXPECT_EQ(help.status, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith("Usage: flowloom [OPTION]...\n")) << help.out.toStdString();
    for (const char* option : {"--headless", "--minimized", "--version", "--help"})
        EXPECT_TRUE(help.out.contains(QByteArray(option) + " ")) << option;
    EXPECT_EQ(help.err, "");

    const Ended version = runWithoutDisplay(copy, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "Flowloom " FLOWLOOM_VERSION "\n");

    for (const auto& [arguments, named] :
         std::vector<std::pair<QStringList, QByteArray>>{{{"--bogus"}, "'--bogus'"},
                                                         {{"--minimized", "-x"}, "'-x'"},
                                                         {{"--help", "--hepl"}, "'--hepl'"},
                                                         {{"--headless=1"}, "'--headless'"},
                                                         {{"settings.ini"}, "'settings.ini'"}}) {
        const Ended ended = runWithoutDisplay(copy, arguments);
        SCOPED_TRACE(arguments.join(' ').toStdString() + ": " + ended.err.toStdString());
        EXPECT_EQ(ended.status, 2);
        EXPECT_EQ(ended.out, "");
        EXPECT_EQ(ended.err.count('\n'), 1) << "one line";
        EXPECT_TRUE(ended.err.endsWith("\n"));
        EXPECT_TRUE(ended.err.contains(named));
        EXPECT_TRUE(ended.err.contains("flowloom --help"));
    }
    // None of these runs got as far as the settings, the guide or a window.
    EXPECT_EQ(QDir(copy.folder).entryList(QDir::Files | QDir::Hidden), QStringList{"flowloom"});
}

TEST(EndToEndStart, StartAtLoginWritesAnEntryThatStartsTheProgramMinimised)
{
    // A folder name with a space: the entry must quote the program's path.
    Copy copy(QStringLiteral("my tools"));
    {
        QFile ini(copy.ini());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Plotter]\r\nFirst=0\r\nAutoStart=1\r\n");
    }
    QProcess first;
    ASSERT_TRUE(copy.start(first, copy.program(), {}, copy.folder));
    // The stored "on" writes the entry while the settings are applied.
    ASSERT_TRUE(testsupport::waitUntil([&] { return QFile::exists(copy.entry()); }))
        << first.readAllStandardError().toStdString();
    ASSERT_TRUE(testsupport::terminate(first)) << first.readAllStandardError().toStdString();
    EXPECT_TRUE(readFile(copy.ini()).contains("\r\nAutoStart=1\r\n"));

    const std::string entry = readFile(copy.entry()).toStdString();
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u) << entry;
    const std::optional<std::string> exec = test::rawValue(entry, "Exec");
    ASSERT_TRUE(exec.has_value()) << entry;
    const std::vector<std::string> command = test::execArguments(*exec);
    ASSERT_EQ(command, (std::vector<std::string>{copy.program().toStdString(), "--minimized"}))
        << *exec;

    // What the desktop runs at login starts this program, which runs until
    // asked to close; a portable copy writes its guide beside itself once built.
    QProcess atLogin;
    ASSERT_TRUE(copy.start(atLogin, QString::fromStdString(command[0]),
                           {QString::fromStdString(command[1])}, copy.home.path()));
    EXPECT_TRUE(testsupport::waitUntil(
        [&] { return QFileInfo(copy.folder + "/flowloom.html").size() > 1000; }));
    EXPECT_EQ(atLogin.state(), QProcess::Running) << atLogin.readAllStandardError().toStdString();
    ASSERT_TRUE(testsupport::terminate(atLogin));
    EXPECT_EQ(atLogin.exitCode(), 0) << atLogin.readAllStandardError().toStdString();
}

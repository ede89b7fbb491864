// The Debian package, built by CPack, checked without installing it: its
// files where its listing says, the launcher and metadata validated, and the
// extracted program started from a read-only folder as a user whose HOME is a
// temporary folder.
#include "ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSize>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace flowloom;

namespace {

struct ToolRun
{
    int exitCode = -1;
    QByteArray output;
};

ToolRun runTool(const QString& program, const QStringList& arguments, int timeoutMs = 120000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    ToolRun result;
    if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.output = process.readAll();
    return result;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Width and height from a PNG's IHDR chunk.
QSize pngSize(const QByteArray& png)
{
    if (png.size() < 24 || !png.startsWith("\x89PNG\r\n\x1a\n") || png.mid(12, 4) != "IHDR")
        return {};
    auto be32 = [&](int at) {
        int value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | static_cast<unsigned char>(png[at + i]);
        return value;
    };
    return {be32(16), be32(20)};
}

QString valueOf(const QByteArray& desktopFile, const char* key)
{
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(key),
                                  QRegularExpression::MultilineOption);
    return line.match(QString::fromUtf8(desktopFile)).captured(1);
}

} // namespace

TEST(Package, BuildsInstallsIntoATemporaryRootAndRunsAsAnInstalledProgram)
{
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const ToolRun built = runTool(QStringLiteral(FLOWLOOM_CPACK),
                                  {"-G", "DEB", "--config", QStringLiteral(FLOWLOOM_CPACK_CONFIG),
                                   "-B", work.path() + "/out"});
    ASSERT_EQ(built.exitCode, 0) << built.output.toStdString();
    const QStringList debs = QDir(work.path() + "/out").entryList({"flowloom_*.deb"});
    ASSERT_EQ(debs.size(), 1);
    const QString deb = work.path() + "/out/" + debs[0];

    // Library dependencies from dpkg-shlibdeps, and the graph's font.
    const ToolRun depends = runTool("dpkg-deb", {"-f", deb, "Depends"});
    EXPECT_TRUE(depends.output.contains("libqt6widgets6")) << depends.output.toStdString();
    EXPECT_TRUE(depends.output.contains("libjpeg62-turbo"));
    EXPECT_TRUE(depends.output.contains("fonts-liberation"));

    const ToolRun listing = runTool("dpkg-deb", {"-c", deb});
    ASSERT_EQ(listing.exitCode, 0);
    const QString id = QStringLiteral("org.example.flowloom");
    QStringList expected = {"./usr/bin/flowloom",
                            "./usr/share/applications/" + id + ".desktop",
                            "./usr/share/metainfo/" + id + ".metainfo.xml",
                            "./usr/share/icons/hicolor/scalable/apps/" + id + ".svg",
                            "./usr/share/man/man1/flowloom.1.gz",
                            "./usr/share/doc/flowloom/flowloom.html",
                            "./usr/lib/systemd/system/flowloom.service",
                            "./usr/lib/systemd/user/flowloom.service",
                            "./usr/share/flowloom/flowloom-dashboard.json"};
    const int sizes[] = {16, 32, 48, 64, 128, 256};
    for (const int size : sizes)
        expected << QStringLiteral("./usr/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(id);
    for (const QString& path : expected)
        EXPECT_TRUE(listing.output.contains(" " + path.toUtf8() + "\n")) << path.toStdString();

    const QString root = work.path() + "/root";
    ASSERT_EQ(runTool("dpkg-deb", {"-x", deb, root}).exitCode, 0);
    for (const QString& path : expected)
        EXPECT_TRUE(QFile::exists(root + "/" + path)) << path.toStdString();
    for (const int size : sizes) {
        const QString png =
            root + QStringLiteral("/usr/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(id);
        EXPECT_EQ(pngSize(readFile(png)), QSize(size, size)) << size;
    }

    // Each manager's folder holds its own unit: the system unit runs as a
    // user of its own, the user's unit as the user.
    const QByteArray systemUnit = readFile(root + "/usr/lib/systemd/system/flowloom.service");
    const QByteArray userUnit = readFile(root + "/usr/lib/systemd/user/flowloom.service");
    EXPECT_TRUE(systemUnit.contains("\nDynamicUser=yes\n"));
    EXPECT_TRUE(systemUnit.contains("\nStateDirectory=flowloom\n"));
    EXPECT_FALSE(userUnit.contains("DynamicUser"));
    for (const QByteArray& unit : {systemUnit, userUnit})
        EXPECT_TRUE(unit.contains("\nExecStart=flowloom --headless\n"));

    // The launcher names the icon and the program that the package carries, and
    // the metadata names the launcher.
    const QString launcher = root + "/usr/share/applications/" + id + ".desktop";
    const QString metainfo = root + "/usr/share/metainfo/" + id + ".metainfo.xml";
    const QByteArray desktop = readFile(launcher);
    EXPECT_EQ(valueOf(desktop, "Icon"), id);
    EXPECT_TRUE(QFile::exists(root + "/usr/bin/" + valueOf(desktop, "Exec")));
    EXPECT_TRUE(valueOf(desktop, "Categories").contains("Network;"));
    EXPECT_TRUE(readFile(metainfo).contains("<launchable type=\"desktop-id\">" + id.toUtf8() +
                                            ".desktop</launchable>"));
    const ToolRun desktopCheck = runTool("desktop-file-validate", {launcher});
    EXPECT_EQ(desktopCheck.exitCode, 0) << desktopCheck.output.toStdString();
    EXPECT_TRUE(desktopCheck.output.isEmpty()) << desktopCheck.output.toStdString();
    const ToolRun metaCheck = runTool("appstreamcli", {"validate", "--no-net", metainfo});
    EXPECT_EQ(metaCheck.exitCode, 0) << metaCheck.output.toStdString();

    // Started from its read-only folder (no write bits: read-only for root too).
    const QString bin = root + "/usr/bin";
    ASSERT_EQ(::chmod(bin.toLocal8Bit().constData(), 0555), 0);
    QTemporaryDir home;
    const QString config = home.path() + "/.config/flowloom";
    QProcess program;
    program.setProcessEnvironment(testsupport::offscreenEnvironment(home.path()));
    program.setWorkingDirectory(home.path());
    program.start(bin + "/flowloom", {});
    ASSERT_TRUE(program.waitForStarted(10000));
    // The settings folder is made before the window is built; a close request
    // from then on waits for the window.
    EXPECT_TRUE(testsupport::waitUntil([&] { return QDir(config).exists(); }));
    ASSERT_TRUE(testsupport::terminate(program)) << program.readAllStandardError().toStdString();

    const QByteArray settings = readFile(config + "/flowloom.ini");
    EXPECT_EQ(testsupport::everyKeyInOrder(settings), "");
    EXPECT_TRUE(settings.contains("Folder=" + home.path().toUtf8() + "/Pictures/Flowloom\r\n"));
    EXPECT_TRUE(QDir(home.path() + "/Pictures/Flowloom").exists());
    EXPECT_EQ(QDir(bin).entryList(QDir::Files), QStringList{"flowloom"}) << "nothing beside it";
    EXPECT_FALSE(QFile::exists(config + "/flowloom.html")) << "the installed guide serves";
    EXPECT_TRUE(QFile::exists(root + "/usr/share/doc/flowloom/flowloom.html"));
    ::chmod(bin.toLocal8Bit().constData(), 0755); // let the temporary folder go
}

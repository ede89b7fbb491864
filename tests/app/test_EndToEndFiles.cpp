// The real program against settings files that would hang or kill it: a named
// pipe, and a file-size limit below the file's size.
#include "ProgramRun.h"
#include "support/LoopbackClient.h"
#include "support/LoopbackTraffic.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace flowloom;

namespace {
struct Copy
{
    QTemporaryDir folder;
    QTemporaryDir home;
    QString program() const { return folder.path() + "/flowloom"; }
    QString ini() const { return folder.path() + "/flowloom.ini"; }
    Copy() { QFile::copy(QStringLiteral(FLOWLOOM_BINARY), program()); }
    void start(QProcess& process) const
    {
        process.setProcessEnvironment(testsupport::offscreenEnvironment(home.path()));
        process.setWorkingDirectory(folder.path());
        process.start(program(), {});
    }
};

// SIGTERM, then the time until the program ended by itself, or -1.
qint64 terminateTimed(QProcess& process)
{
    QElapsedTimer clock;
    clock.start();
    return testsupport::terminate(process) ? clock.elapsed() : -1;
}
} // namespace

TEST(EndToEndFiles, ASettingsFileThatIsANamedPipeNeitherHangsStartNorClose)
{
    Copy copy;
    ASSERT_EQ(::mkfifo(QFile::encodeName(copy.ini()).constData(), 0644), 0);
    QProcess process;
    copy.start(process);
    ASSERT_TRUE(process.waitForStarted(10000));
    // Start-up is done once the guide is there; a blocking open never gets that far.
    ASSERT_TRUE(testsupport::waitUntil(
        [&] { return QFileInfo(copy.folder.path() + "/flowloom.html").size() > 1000; }));
    const qint64 took = terminateTimed(process);
    EXPECT_GE(took, 0);
    EXPECT_LT(took, 5000) << "closed within 5 s of SIGTERM";
    EXPECT_TRUE(process.readAllStandardError().contains("Unable to write to " +
                                                        QFile::encodeName(copy.ini())))
        << "the save is refused, as for any file that cannot be read";
    EXPECT_TRUE(QFileInfo(copy.ini()).isFile() == false && QFileInfo::exists(copy.ini()))
        << "the pipe is still the pipe";
}

TEST(EndToEndFiles, ASaveBeyondTheFileSizeLimitIsReportedAndKeepsTheOldFile)
{
    constexpr rlim_t kLimit = 2048;
    const std::uint16_t port = testsupport::freeLoopbackPort();
    Copy copy;
    // Larger than the limit, with the server on so that start-up can be seen
    // although the guide cannot be written under the limit.
    const QByteArray old =
        "[Plotter]\r\nFirst=0\r\nWeb=1\r\nFormat=1\r\nPort=" + QByteArray::number(port) +
        "\r\nMine=" + QByteArray(3000, 'x') + "\r\n";
    {
        QFile file(copy.ini());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(old);
    }
    QProcess process;
    process.setChildProcessModifier([] {
        const rlimit limit{kLimit, kLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    copy.start(process);
    ASSERT_TRUE(process.waitForStarted(10000));
    ASSERT_TRUE(testsupport::waitUntil([&] {
        return !test::LoopbackClient::exchange(port, "GET /formatted.txt HTTP/1.1\r\n\r\n")
                    .bytes.empty();
    })) << "started although the guide could not be written";
    EXPECT_FALSE(QFile::exists(copy.folder.path() + "/flowloom.html")) << "no partial guide";

    EXPECT_GE(terminateTimed(process), 0) << "not killed by the limit";
    EXPECT_TRUE(process.readAllStandardError().contains("Unable to write to " +
                                                        QFile::encodeName(copy.ini())));
    QFile kept(copy.ini());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), old);
    const QStringList left = QDir(copy.folder.path()).entryList(QDir::Files);
    EXPECT_EQ(left, QStringList({"flowloom", "flowloom.ini"})) << "no temporary file is left";
}

// The real program and the one-instance rule: a lock file left by root, a
// stopped first program, and a socket that cannot be listened on.
#include "IniTestSupport.h"
#include "ProgramRun.h"
#include "app/instance/InstanceSocket.h"
#include "sampling/NetlinkSource.h"
#include "support/LoopbackTraffic.h"
#include "support/OtherUser.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace flowloom;
using testsupport::loopbackPosition;
using testsupport::savedDownloadTotal;

namespace {
// A portable copy with a private runtime folder of its own, for root or, with
// `asOtherUser`, for the user 65534: its folders then belong to that user, as
// a user's own folder does.
struct Copy
{
    QTemporaryDir folder, home, runtime;
    bool asOtherUser;

    explicit Copy(bool otherUser = false) : asOtherUser(otherUser)
    {
        QFile::copy(QStringLiteral(FLOWLOOM_BINARY), program());
        ::chmod(QFile::encodeName(program()).constData(), 0755);
        ::chmod(QFile::encodeName(runtime.path()).constData(), 0700);
        if (asOtherUser)
            for (const QString& path : {folder.path(), home.path(), runtime.path()})
                giveToOtherUser(path);
    }
    QString program() const { return folder.path() + "/flowloom"; }
    QString ini() const { return folder.path() + "/flowloom.ini"; }
    QString lock() const { return folder.path() + "/.flowloom.ini.lock"; }
    std::filesystem::path socketFile() const
    {
        return app::instance::socketPathFor(ini().toStdString(), runtime.path().toStdString());
    }
    static void giveToOtherUser(const QString& path)
    {
        [[maybe_unused]] const int changed =
            ::chown(QFile::encodeName(path).constData(), test::kOtherUser, test::kOtherGroup);
    }
    void writeIni(const QByteArray& text) const
    {
        test::writeBytes(ini().toStdString(), text.toStdString());
        if (asOtherUser)
            giveToOtherUser(ini());
    }
    QByteArray readIni() const
    {
        return QByteArray::fromStdString(test::readBytes(ini().toStdString()));
    }
    void start(QProcess& process) const
    {
        QProcessEnvironment env = testsupport::offscreenEnvironment(home.path());
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(folder.path());
        if (asOtherUser)
            process.start("setpriv",
                          {"--reuid=65534", "--regid=65534", "--clear-groups", program()});
        else
            process.start(program(), {});
    }
    // Starts the program and waits until start-up is done (the guide is written).
    bool startFirst(QProcess& process) const
    {
        start(process);
        return process.waitForStarted(10000) && testsupport::waitUntil([&] {
                   return QFileInfo(folder.path() + "/flowloom.html").size() > 1000;
               });
    }
};

} // namespace

// After one start as root, a lock file of root's (0644) lies in the user's
// folder. The user's two starts still exclude each other.
TEST(EndToEndInstance, RootsLockFileStillKeepsTheUsersSecondStartOut)
{
    if (!test::canSwitchUser())
        GTEST_SKIP() << "needs root to leave a lock file of root's and run as another user";
    const int lo = loopbackPosition();
    ASSERT_GE(lo, 0);
    Copy copy(true);
    test::writeBytes(copy.lock().toStdString(), "");
    ::chmod(QFile::encodeName(copy.lock()).constData(), 0644);
    copy.writeIni(QStringLiteral("[Plotter]\r\nFirst=0\r\nURL=%1\r\nRun=1\r\n").arg(lo).toLatin1());
    QProcess first;
    ASSERT_TRUE(copy.startFirst(first)) << first.readAllStandardError().toStdString();
    constexpr long long kBytes = 3 * 1024 * 1024;
    ASSERT_EQ(testsupport::pushThroughLoopback(kBytes), static_cast<std::size_t>(kBytes));

    QProcess second;
    copy.start(second);
    ASSERT_TRUE(second.waitForFinished(5000)) << "the second program ends by itself";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(second.exitCode(), 0);
    const QByteArray said = second.readAllStandardError();
    EXPECT_TRUE(said.contains("already running with the settings file " +
                              QFile::encodeName(copy.ini()) +
                              "; its window was brought to the front."))
        << said.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);

    std::this_thread::sleep_for(std::chrono::seconds(3)); // a few ticks count the bytes
    ASSERT_TRUE(testsupport::terminate(first));
    EXPECT_GE(savedDownloadTotal(copy.readIni(), lo), kBytes) << "the first one's totals";
    struct stat lock
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(copy.lock()).constData(), &lock), 0);
    EXPECT_EQ(lock.st_uid, 0u) << "root's lock file is left as it was";
    EXPECT_EQ(lock.st_mode & 07777, 0644u);
}

TEST(EndToEndInstance, ASecondStartBesideAStoppedFirstOneGivesUpInTime)
{
    Copy copy;
    QProcess first;
    ASSERT_TRUE(copy.startFirst(first));
    const auto firstId = static_cast<pid_t>(first.processId());
    ASSERT_EQ(::kill(firstId, SIGSTOP), 0);
    auto resume = qScopeGuard([&] { ::kill(firstId, SIGCONT); }); // also when a check gives up
    // Earlier starts that gave up left their requests in its queue, until it
    // is full: a blocking connect would now wait for the stopped program.
    const std::string socketFile = copy.socketFile();
    std::vector<sampling::UniqueFd> queued;
    bool full = false;
    while (!full && queued.size() < 64) {
        sampling::UniqueFd client(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        socketFile.copy(address.sun_path, sizeof address.sun_path - 1);
        if (::connect(client.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            full = errno == EAGAIN;
        else
            queued.push_back(std::move(client));
    }
    ASSERT_TRUE(full) << "the stopped program's queue filled";

    QElapsedTimer clock;
    clock.start();
    QProcess second;
    copy.start(second);
    QByteArray said;
    testsupport::waitUntil([&] {
        second.waitForReadyRead(25);
        said += second.readAllStandardError();
        return said.contains('\n') || second.state() == QProcess::NotRunning;
    });
    const qint64 took = clock.elapsed();
    EXPECT_TRUE(said.contains("already running with the settings file " +
                              QFile::encodeName(copy.ini()) + ", but it does not answer."))
        << said.toStdString();
    EXPECT_LT(took, 5000) << "the second start said so within 5 s";
    // It shows that in a box too; a close request closes the box, and it ends.
    if (second.state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(second.processId()), SIGTERM);
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 1);

    resume.dismiss();
    ASSERT_EQ(::kill(firstId, SIGCONT), 0);
    EXPECT_TRUE(testsupport::terminate(first)) << "the first one closes as usual";
    EXPECT_EQ(testsupport::everyKeyInOrder(copy.readIni()), "") << "and saves its settings";
}

TEST(EndToEndInstance, AFailureToListenIsReportedAndTheProgramRunsOn)
{
    Copy copy;
    const std::filesystem::path socketFile = copy.socketFile();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString((socketFile / "in-the-way").string())));
    QProcess process;
    ASSERT_TRUE(copy.startFirst(process));
    EXPECT_EQ(process.state(), QProcess::Running);
    ASSERT_TRUE(testsupport::terminate(process));
    const QByteArray said = process.readAllStandardError();
    EXPECT_TRUE(said.contains("Flowloom cannot listen on " +
                              QByteArray::fromStdString(socketFile.string())))
        << said.toStdString();
}

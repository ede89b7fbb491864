// The one-instance rule's Qt side: who is first, who may make the first
// program show its window, and what is reported.
#include "IniTestSupport.h"
#include "app/instance/InstanceLock.h"
#include "app/instance/InstanceSocket.h"
#include "app/shell/SingleInstance.h"
#include "support/OtherUser.h"

#include <QCoreApplication>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>

using flowloom::test::TempFolder;
namespace fs = std::filesystem;
namespace app = flowloom::app;
namespace instance = flowloom::app::instance;

namespace {
// Runs `work` on a thread while this thread serves the event loop, as the
// first program does while a second start waits for it.
template <typename Work> auto whileServing(Work work)
{
    std::atomic<bool> done = false;
    decltype(work()) result{};
    std::thread worker([&] {
        result = work();
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    worker.join();
    QCoreApplication::processEvents();
    return result;
}

// What a connection as another user gets: 0 closed without an answer,
// 1 answered, 2 no end within ten seconds, 3 could not connect.
int connectionAsOtherUser(const fs::path& socketFile)
{
    return flowloom::test::runAsOtherUser([&] {
        const flowloom::sampling::UniqueFd client(::socket(AF_UNIX, SOCK_STREAM, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        socketFile.native().copy(address.sun_path, sizeof address.sun_path - 1);
        if (::connect(client.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return 3;
        pollfd entry{client.get(), POLLIN, 0};
        if (::poll(&entry, 1, 10000) != 1)
            return 2;
        char answer;
        return ::recv(client.get(), &answer, 1, 0) == 1 ? 1 : 0;
    });
}
} // namespace

// Each test's own private $XDG_RUNTIME_DIR and settings file.
class SingleInstance : public ::testing::Test
{
protected:
    SingleInstance() { ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1); }
    ~SingleInstance() override { ::unsetenv("XDG_RUNTIME_DIR"); }

    TempFolder runtime; // 0700, made by mkdtemp
    TempFolder folder;
    const fs::path settings = folder / "flowloom.ini";
    const fs::path socketFile = instance::socketPathFor(settings, runtime.path());
};

TEST_F(SingleInstance, TheSecondProgramAsksTheFirstToShowItsWindow)
{
    app::SingleInstance first(settings);
    ASSERT_TRUE(first.isFirst());
    EXPECT_EQ(first.listenProblem(), "");
    int shown = 0;
    QObject::connect(&first, &app::SingleInstance::showRequested, [&] { ++shown; });
    EXPECT_TRUE(fs::is_socket(socketFile));

    const app::SingleInstance second(settings);
    EXPECT_FALSE(second.isFirst());
    EXPECT_EQ(second.lockProblem(), "") << "the lock is simply held";
    EXPECT_TRUE(whileServing([&] { return second.askFirstToShow(); }));
    EXPECT_EQ(shown, 1);
}

TEST_F(SingleInstance, AnotherUsersConnectionHasNoEffect)
{
    if (!flowloom::test::canSwitchUser())
        GTEST_SKIP() << "needs root to act as another user";
    app::SingleInstance first(settings);
    ASSERT_TRUE(first.isFirst());
    int shown = 0;
    QObject::connect(&first, &app::SingleInstance::showRequested, [&] { ++shown; });
    // The private folder keeps others out; opened here so that the program's
    // own check of the peer is what is tested.
    ::chmod(runtime.path().c_str(), 0711);
    ::chmod(socketFile.c_str(), 0777);
    EXPECT_EQ(whileServing([&] { return connectionAsOtherUser(socketFile); }), 0)
        << "closed without an answer";
    EXPECT_EQ(shown, 0);

    ::chmod(runtime.path().c_str(), 0700);
    const app::SingleInstance second(settings);
    EXPECT_TRUE(whileServing([&] { return second.askFirstToShow(); })) << "still listening";
    EXPECT_EQ(shown, 1);
}

TEST_F(SingleInstance, ALockFileThatCannotBeUsedMeansNotTheFirst)
{
    fs::create_directory(instance::lockPathFor(settings));
    const app::SingleInstance start(settings);
    EXPECT_FALSE(start.isFirst());
    EXPECT_NE(start.lockProblem().find(instance::lockPathFor(settings).string()),
              std::string::npos);
    EXPECT_FALSE(start.askFirstToShow()) << "nobody answers";
}

TEST_F(SingleInstance, AFailureToListenIsReportedAndTheProgramStaysFirst)
{
    fs::create_directories(socketFile / "in-the-way");
    const app::SingleInstance first(settings);
    EXPECT_TRUE(first.isFirst());
    EXPECT_NE(first.listenProblem().find(socketFile.string()), std::string::npos)
        << first.listenProblem();
    const app::SingleInstance second(settings);
    EXPECT_FALSE(second.isFirst()) << "the lock still holds";
}

TEST_F(SingleInstance, TheSocketFileGoesWithTheFirstProgram)
{
    {
        const app::SingleInstance first(settings);
        ASSERT_TRUE(fs::is_socket(socketFile));
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(socketFile)));
}

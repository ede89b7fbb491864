// The socket of the one-program-per-settings-file rule: its private folder,
// its name, and the second start's request with its deadline.
#include "IniTestSupport.h"
#include "app/instance/InstanceSocket.h"
#include "support/OtherUser.h"

#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>

using namespace flowloom::app::instance;
using flowloom::sampling::UniqueFd;
using flowloom::test::TempFolder;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {
sockaddr_un addressOf(const fs::path& file)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", file.c_str());
    return address;
}

// A listener that accepts nothing, as a stopped first program.
UniqueFd silentListener(const fs::path& file, int backlog)
{
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_un address = addressOf(file);
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), backlog) != 0)
        return {};
    return listener;
}

// Accepts one connection on `listener` within ten seconds and answers
// `answer` (the asker may have gone already); false when none came.
bool answerOnce(int listener, char answer)
{
    pollfd entry{listener, POLLIN, 0};
    if (::poll(&entry, 1, 10000) != 1)
        return false;
    const UniqueFd peer(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (!peer.valid())
        return false;
    [[maybe_unused]] const ssize_t sent = ::send(peer.get(), &answer, 1, MSG_NOSIGNAL);
    return true;
}
} // namespace

TEST(InstanceSocket, TheRuntimeFolderIsXdgWhenPrivateElseAFolderOfOurOwn)
{
    const uid_t me = ::geteuid();
    TempFolder shared;
    TempFolder xdg; // made 0700 by mkdtemp
    const fs::path own = shared / ("flowloom-" + std::to_string(me));
    fs::create_directory(shared / "open");
    ::chmod((shared / "open").c_str(), 0755);
    fs::create_symlink(xdg.path(), shared / "link");
    const fs::path deep = xdg.path() / std::string(90, 'd');
    fs::create_directory(deep);
    ::chmod(deep.c_str(), 0700);
    const std::string open = (shared / "open").string(), link = (shared / "link").string();
    for (const auto& [what, xdgValue, expected] :
         std::vector<std::tuple<const char*, const char*, fs::path>>{
             {"private", xdg.path().c_str(), xdg.path()},
             {"unset", nullptr, own},
             {"relative", "run/user", own},
             {"open to others", open.c_str(), own},
             {"a symbolic link", link.c_str(), own},
             {"too long for a socket address", deep.c_str(), own},
         }) {
        const RuntimeFolder folder = privateRuntimeFolder(xdgValue, me, shared.path());
        EXPECT_EQ(folder.path, expected) << what;
        EXPECT_EQ(folder.problem, "") << what;
    }
    struct stat status
    {
    };
    ASSERT_EQ(::lstat(own.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u) << "made private";
}

TEST(InstanceSocket, AFolderOfOurOwnThatIsNotPrivateIsRefused)
{
    const uid_t me = ::geteuid();
    TempFolder shared, elsewhere;
    const fs::path own = shared / ("flowloom-" + std::to_string(me));
    auto expectRefused = [&](uid_t user, const std::string& named, const char* what) {
        const RuntimeFolder folder = privateRuntimeFolder(nullptr, user, shared.path());
        EXPECT_EQ(folder.path, fs::path()) << what;
        EXPECT_NE(folder.problem.find(named), std::string::npos) << what << ": " << folder.problem;
    };
    fs::create_directory(own);
    ::chmod(own.c_str(), 0755);
    expectRefused(me, own.string(), "open to others");
    fs::remove(own);
    fs::create_symlink(elsewhere.path(), own); // another user's trap in /tmp
    expectRefused(me, own.string(), "a symbolic link");
    fs::remove(own);
    // Made by someone else before us: the uid it is checked against differs.
    expectRefused(me + 1, "owned by another user", "another user's");
}

TEST(InstanceSocket, TheSocketIsNamedAfterTheSettingsFile)
{
    TempFolder folder;
    const fs::path a = socketPathFor(folder / "a.ini", "/run/x");
    EXPECT_EQ(a.parent_path(), fs::path("/run/x"));
    EXPECT_EQ(a.filename().string().rfind("flowloom-", 0), 0u);
    EXPECT_EQ(a.filename().string().size(), 25u) << "flowloom- and 16 hexadecimal digits";
    EXPECT_EQ(socketPathFor(folder.path() / "x" / ".." / "a.ini", "/run/x"), a);
    EXPECT_NE(socketPathFor(folder / "b.ini", "/run/x"), a);
}

TEST(InstanceSocket, ListeningReplacesALeftSocketAndReportsWhatIsInTheWay)
{
    TempFolder folder;
    const fs::path file = folder / "flowloom-left";
    ASSERT_TRUE(silentListener(file, 1).valid()); // a crashed program's socket file stays
    ASSERT_TRUE(fs::exists(fs::symlink_status(file)));
    const Listener listener = listenAt(file);
    EXPECT_TRUE(listener.socket.valid()) << listener.problem;

    fs::create_directories(folder / "in-the-way" / "x");
    EXPECT_FALSE(listenAt(folder / "in-the-way").socket.valid());
    EXPECT_NE(listenAt(folder / "in-the-way").problem, "");
    EXPECT_NE(listenAt(folder.path() / std::string(120, 'n')).problem, "");
}

TEST(InstanceSocket, AnAnswerFromThisUserIsHeard)
{
    TempFolder folder;
    const fs::path file = folder / "flowloom-test";
    const Listener listener = listenAt(file);
    ASSERT_TRUE(listener.socket.valid());
    bool answered = false;
    std::thread first([&] { answered = answerOnce(listener.socket.get(), kShownAnswer); });
    EXPECT_TRUE(askToShow(file, std::chrono::seconds(10)));
    first.join();
    EXPECT_TRUE(answered);
    EXPECT_FALSE(askToShow(folder / "nobody-listens", std::chrono::seconds(10)));
}

TEST(InstanceSocket, AStoppedFirstProgramIsGivenUpInTime)
{
    TempFolder folder;
    constexpr auto kLimit = std::chrono::milliseconds(400);
    // Connected but never answered.
    const fs::path waiting = folder / "waiting";
    const UniqueFd quiet = silentListener(waiting, 4);
    ASSERT_TRUE(quiet.valid());
    // A full listen queue: a blocking connect would wait for a place in it.
    const fs::path full = folder / "full";
    const UniqueFd stuffed = silentListener(full, 0);
    ASSERT_TRUE(stuffed.valid());
    const sockaddr_un fullAddress = addressOf(full);
    std::vector<UniqueFd> queued;
    for (int i = 0; i < 16; ++i) {
        UniqueFd client(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (::connect(client.get(), reinterpret_cast<const sockaddr*>(&fullAddress),
                      sizeof fullAddress) != 0)
            break;
        queued.push_back(std::move(client));
    }
    ASSERT_LT(queued.size(), 16u) << "the queue filled";

    for (const fs::path& file : {waiting, full}) {
        const auto start = Clock::now();
        EXPECT_FALSE(askToShow(file, kLimit)) << file;
        const auto took = Clock::now() - start;
        EXPECT_GE(took, kLimit - std::chrono::milliseconds(50)) << file << ": waited for it";
        // Generous: the machine may be loaded. Without a deadline it never returns.
        EXPECT_LT(took, std::chrono::seconds(5)) << file;
    }
}

// Another user who could reach the socket (through a folder that is not
// private) and answers that it showed the window is not believed.
TEST(InstanceSocket, AnAnswerFromAnotherUserIsNotBelieved)
{
    if (!flowloom::test::canSwitchUser())
        GTEST_SKIP() << "needs root to act as another user";
    TempFolder folder;
    ::chmod(folder.path().c_str(), 0777);
    const fs::path file = folder / "flowloom-squatted";
    const fs::path binding = folder / "binding";
    int status = -1;
    std::thread squatter([&] {
        status = flowloom::test::runAsOtherUser([&] {
            // Listening before the name appears, so that a connect never
            // meets a socket that does not listen yet.
            const UniqueFd listener = silentListener(binding, 4);
            if (!listener.valid() || ::rename(binding.c_str(), file.c_str()) != 0)
                return 1;
            return answerOnce(listener.get(), kShownAnswer) ? 0 : 2;
        });
    });
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (!fs::exists(fs::symlink_status(file)) && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(askToShow(file, std::chrono::seconds(10)));
    squatter.join();
    EXPECT_EQ(status, 0) << "the other user's program was reached";
}

// The lock of the one-program-per-settings-file rule: who holds it, and what
// a lock file that cannot be used means.
#include "IniTestSupport.h"
#include "app/instance/InstanceLock.h"
#include "support/OtherUser.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace flowloom::app::instance;
using flowloom::test::TempFolder;

namespace {
mode_t modeOf(const std::filesystem::path& path)
{
    struct stat status
    {
    };
    ::stat(path.c_str(), &status);
    return status.st_mode & 07777;
}
} // namespace

TEST(InstanceLock, TheLockFileSitsHiddenBesideTheSettingsFile)
{
    TempFolder folder;
    EXPECT_EQ(lockPathFor(folder / "flowloom.ini"), folder / ".flowloom.ini.lock");
    EXPECT_EQ(lockPathFor(folder.path() / "sub" / ".." / "flowloom.ini"),
              folder / ".flowloom.ini.lock")
        << "two spellings of one file share one lock";
}

TEST(InstanceLock, OneHolderAtATime)
{
    TempFolder folder;
    const auto path = folder / ".flowloom.ini.lock";
    InstanceLock first = takeInstanceLock(path);
    ASSERT_EQ(first.outcome, LockOutcome::Held);
    EXPECT_EQ(takeInstanceLock(path).outcome, LockOutcome::HeldElsewhere);
    first.file.reset(); // as when the first program ends, however it ends
    EXPECT_EQ(takeInstanceLock(path).outcome, LockOutcome::Held);
}

TEST(InstanceLock, ALockFileThatCannotBeOpenedIsNeverIgnored)
{
    TempFolder folder;
    std::filesystem::create_directory(folder / "folder.lock");
    std::filesystem::create_symlink(folder / "gone" / "target", folder / "dangling.lock");
    struct Case
    {
        const char* name;
        LockOutcome outcome;
        int error;
    };
    for (const Case& c : {
             Case{"folder.lock", LockOutcome::Unusable, EISDIR},
             Case{"dangling.lock", LockOutcome::Unusable, ENOENT},
             // Only where no lock file is and none can be made does the
             // program run without one: nothing is saved there either.
             Case{"missing/x.lock", LockOutcome::NowhereToKeep, ENOENT},
         }) {
        const InstanceLock lock = takeInstanceLock(folder / c.name);
        EXPECT_EQ(lock.outcome, c.outcome) << c.name;
        EXPECT_EQ(lock.error, c.error) << c.name;
        EXPECT_FALSE(lock.file.valid()) << c.name;
    }
}

// A lock file left by root (one start with sudo) in a folder of the user's.
TEST(InstanceLock, AnotherUsersLockFileIsLockedReadOnlyOrCountsAsHeld)
{
    if (!flowloom::test::canSwitchUser())
        GTEST_SKIP() << "needs root to act as another user";
    TempFolder folder;
    const auto own = folder / "own";
    std::filesystem::create_directory(own);
    ASSERT_EQ(::chown(own.c_str(), flowloom::test::kOtherUser, flowloom::test::kOtherGroup), 0);
    ::chmod(folder.path().c_str(), 0755);
    const auto readable = own / ".readable.lock", closed = own / ".closed.lock";
    for (const auto& [file, mode] : {std::pair{readable, 0644}, std::pair{closed, 0600}}) {
        flowloom::test::writeBytes(file, "");
        ::chmod(file.c_str(), mode);
    }
    auto expectAsOtherUser = [](const std::filesystem::path& path, LockOutcome outcome) {
        EXPECT_EQ(flowloom::test::runAsOtherUser(
                      [&] { return static_cast<int>(takeInstanceLock(path).outcome); }),
                  static_cast<int>(outcome))
            << path;
    };

    expectAsOtherUser(readable, LockOutcome::Held); // flock needs no write access
    EXPECT_EQ(modeOf(readable), 0644u) << "root's file is left as it is";
    {
        const InstanceLock held = takeInstanceLock(readable);
        ASSERT_EQ(held.outcome, LockOutcome::Held);
        expectAsOtherUser(readable, LockOutcome::HeldElsewhere);
    }
    // A lock file that cannot be opened is not a free lock.
    expectAsOtherUser(closed, LockOutcome::Unusable);
    // Root's own folder, with no lock file: nowhere to keep one.
    expectAsOtherUser(folder / ".none.lock", LockOutcome::NowhereToKeep);
}

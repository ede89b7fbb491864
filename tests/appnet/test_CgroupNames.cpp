#include "appnet/CgroupNames.h"
#include "appnet/ProcessSockets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace flowloom::appnet;

namespace {

struct NameCase
{
    const char* text;
    const char* program; // nullptr: none
};

template <std::size_t N, typename Reader>
void expectPrograms(const NameCase (&cases)[N], Reader read)
{
    for (const NameCase& c : cases) {
        const std::optional<std::string> program = read(c.text);
        if (c.program == nullptr)
            EXPECT_FALSE(program.has_value()) << c.text << " gave " << program.value_or("");
        else
            EXPECT_EQ(program.value_or("(none)"), c.program) << c.text;
    }
}

TEST(CgroupNames, UnitsToPrograms)
{
    const NameCase cases[] = {
        // Desktop launches: app-<launcher>-<id>-<random>.scope
        {"app-gnome-firefox-4711.scope", "firefox"},
        {"app-gnome-org.gnome.Terminal-12345.scope", "org.gnome.Terminal"},
        {"app-kde-org.kde.konsole-abcdef.scope", "org.kde.konsole"},
        // An id with dashes is escaped.
        {"app-gnome-org.gnome.Evolution\\x2dalarm\\x2dnotify-2345.scope",
         "org.gnome.Evolution-alarm-notify"},
        // Without a launcher.
        {"app-firefox-99.scope", "firefox"},
        {"app-flatpak-org.mozilla.firefox-123456.scope", "org.mozilla.firefox"},
        // Services of the desktop: app-<launcher>-<id>@<random>.service, app-<id>.service
        {"app-gnome-org.gnome.Evolution@autostart.service", "org.gnome.Evolution"},
        {"app-org.example.Sync.service", "org.example.Sync"},
        // System and user services.
        {"ssh.service", "ssh"},
        {"apt\\x2ddaily.service", "apt-daily"},
        {"getty@tty1.service", "getty"},
        {"pipewire.service", "pipewire"},
        // Units that name no program.
        {"user@1000.service", nullptr},
        {"user-runtime-dir@1000.service", nullptr},
        {"session-3.scope", nullptr},
        {"init.scope", nullptr},
        {"user.slice", nullptr},
        {"app.slice", nullptr},
        {"app-4711.scope", nullptr}, // only the random part
        {"app-.scope", nullptr},
        {".service", nullptr},
        {"plain-directory", nullptr},
        {"", nullptr},
        // A broken escape is kept as it stands.
        {"odd\\x2.service", "odd\\x2"},
    };
    expectPrograms(cases, applicationOfUnit);
}

TEST(CgroupNames, PathsAreReadFromTheirDeepestUnitUp)
{
    const NameCase cases[] = {
        {"user.slice/user-1000.slice/user@1000.service/app.slice/"
         "app-gnome-firefox-4711.scope",
         "firefox"},
        // A program that makes cgroups of its own below its unit.
        {"system.slice/docker.service/worker/inner", "docker"},
        {"user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-x-1.scope/tab-3", "x"},
        // A terminal's session: nothing names a program.
        {"user.slice/user-1000.slice/session-2.scope", nullptr},
        {"user.slice/user-1000.slice/user@1000.service/init.scope", nullptr},
        {"system.slice/cron.service", "cron"},
        {"/system.slice/cron.service", "cron"},
        {"", nullptr},
        {"/", nullptr},
    };
    expectPrograms(cases, applicationOfCgroupPath);
}

class FakeTree : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/flowloom-cgroups-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(m_root); }

    // Makes the directory and gives its inode number, the id of such a cgroup.
    std::uint64_t make(const std::string& relative)
    {
        std::filesystem::create_directories(m_root + "/" + relative);
        struct stat info
        {
        };
        EXPECT_EQ(::stat((m_root + "/" + relative).c_str(), &info), 0);
        return info.st_ino;
    }

    std::string m_root;
};

TEST_F(FakeTree, IdsAreTheInodesOfTheTreesDirectories)
{
    const std::uint64_t firefox =
        make("user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-firefox-77.scope");
    const std::uint64_t session = make("user.slice/user-1000.slice/session-4.scope");
    const std::uint64_t ssh = make("system.slice/ssh.service");

    CgroupNames names(m_root);
    EXPECT_FALSE(CgroupNames::isCgroup2(m_root));
    EXPECT_EQ(names.nameOf(firefox).value_or("(none)"), "firefox");
    EXPECT_EQ(names.nameOf(ssh).value_or("(none)"), "ssh");
    EXPECT_FALSE(names.nameOf(session).has_value());
    EXPECT_FALSE(names.nameOf(0).has_value());
    EXPECT_EQ(names.walks(), 1u) << "one walk learns the whole tree";

    // A program started later: its id is unknown until the tree is walked
    // again, which happens at most once per permission.
    const std::uint64_t later = make("system.slice/app-gnome-org.example.Chat-5.scope");
    names.allowRescan();
    EXPECT_EQ(names.nameOf(later).value_or("(none)"), "org.example.Chat");
    EXPECT_EQ(names.walks(), 2u);
    const std::uint64_t gone = 0xFFFFFFFFFFull; // no directory has it
    EXPECT_FALSE(names.nameOf(gone).has_value());
    EXPECT_FALSE(names.nameOf(gone).has_value());
    EXPECT_EQ(names.walks(), 2u) << "an unknown id does not walk the tree on every look";
}

TEST(ProcessSockets, LinkTextsAndExecutableNames)
{
    EXPECT_EQ(socketInodeOfLink("socket:[12345]"), std::optional<std::uint32_t>(12345));
    EXPECT_EQ(socketInodeOfLink("socket:[4294967295]"), std::optional<std::uint32_t>(4294967295u));
    for (const char* text : {"socket:[4294967296]", "socket:[]", "socket:[12a]", "socket:12",
                             "pipe:[12345]", "/dev/null", "socket:[1", ""})
        EXPECT_FALSE(socketInodeOfLink(text).has_value()) << text;

    EXPECT_EQ(programNameOfExecutable("/usr/bin/curl"), "curl");
    EXPECT_EQ(programNameOfExecutable("/opt/app/bin/my app (deleted)"), "my app");
    EXPECT_EQ(programNameOfExecutable("curl"), "curl");
}

TEST(ProcessSockets, FindsTheProgramHoldingASocketInAFakeProc)
{
    char pattern[] = "/tmp/flowloom-proc-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    namespace fs = std::filesystem;
    fs::create_directories(root + "/41/fd");
    fs::create_symlink("/usr/bin/wget", root + "/41/exe");
    fs::create_symlink("socket:[900]", root + "/41/fd/3");
    fs::create_symlink("/dev/null", root + "/41/fd/0");
    fs::create_directories(root + "/42/fd"); // exe unreadable: the short name
    std::FILE* comm = std::fopen((root + "/42/comm").c_str(), "w");
    ASSERT_NE(comm, nullptr);
    std::fputs("kworker\n", comm);
    std::fclose(comm);
    fs::create_symlink("socket:[901]", root + "/42/fd/7");
    fs::create_directories(root + "/self/fd"); // not a process number
    fs::create_symlink("socket:[902]", root + "/self/fd/1");

    ProcessSockets sockets(root);
    EXPECT_FALSE(sockets.programOf(900).has_value()) << "nothing before the first scan";
    sockets.scan();
    EXPECT_EQ(sockets.programOf(900).value_or("(none)"), "wget");
    EXPECT_EQ(sockets.programOf(901).value_or("(none)"), "kworker");
    EXPECT_FALSE(sockets.programOf(902).has_value());
    EXPECT_EQ(sockets.scans(), 1u);
    fs::remove_all(root);
}

} // namespace

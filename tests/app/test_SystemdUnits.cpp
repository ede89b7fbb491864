// The systemd units the package ships: systemd's own checker accepts both,
// both start the program without a window by a command line it takes, and
// the system unit's settings land in its state folder by the program's rule
// of where an installed program keeps its files.
//
// "systemd-analyze verify" checks that ExecStart's program exists, and the
// units name it by its bare name (found on systemd's search path once
// installed). So a copy is verified whose ExecStart names the built program
// instead, the only line that differs; MANPATH holds the manual page that
// Documentation= names, which the checker looks up with man.
#include "IniTestSupport.h"
#include "app/ini/FileLocations.h"
#include "app/startup/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;
using flowloom::test::readBytes;
using flowloom::test::TempFolder;
using flowloom::test::writeBytes;

namespace {

const fs::path kInstallFolder = FLOWLOOM_INSTALL_DIR;

struct Unit
{
    const char* file; // in app/install
    bool user;        // for the user's manager (systemctl --user)
};
const Unit kUnits[] = {{"flowloom.service", false}, {"flowloom-user.service", true}};

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        result.push_back(text.substr(at, end - at));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return result;
}

// Every value of `key` in the unit, in order.
std::vector<std::string> values(const std::string& unit, const std::string& key)
{
    std::vector<std::string> found;
    for (const std::string& line : lines(unit))
        if (line.rfind(key + "=", 0) == 0)
            found.push_back(line.substr(key.size() + 1));
    return found;
}

std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
        const std::size_t end = text.find(' ', at);
        result.push_back(text.substr(at, end - at));
        at = end;
    }
    return result;
}

struct ToolRun
{
    int status = -1;
    std::string output;
};

ToolRun runShell(const std::string& command)
{
    ToolRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        run.output += buffer;
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

} // namespace

TEST(SystemdUnits, SystemdsCheckerAcceptsBothUnits)
{
    TempFolder work;
    fs::create_directories(work / "man" / "man1");
    fs::copy_file(kInstallFolder / "flowloom.1", work / "man" / "man1" / "flowloom.1");
    // The user manager's checker wants a runtime folder of the user's own.
    fs::create_directory(work / "run");
    fs::permissions(work / "run", fs::perms::owner_all);

    for (const Unit& unit : kUnits) {
        const std::string text = readBytes(kInstallFolder / unit.file);
        ASSERT_FALSE(text.empty()) << unit.file;
        const std::vector<std::string> starts = values(text, "ExecStart");
        ASSERT_EQ(starts, std::vector<std::string>{"flowloom --headless"}) << unit.file;

        // The copy, installed under the name both units carry.
        std::string copy;
        for (const std::string& line : lines(text))
            copy += (line.rfind("ExecStart=", 0) == 0
                         ? "ExecStart=" + std::string(FLOWLOOM_BINARY) + " --headless"
                         : line) +
                    "\n";
        const fs::path folder = work / (unit.user ? "user" : "system");
        fs::create_directories(folder);
        writeBytes(folder / "flowloom.service", copy);

        const ToolRun check =
            runShell("env MANPATH=" + quoted(work / "man") +
                     " XDG_RUNTIME_DIR=" + quoted(work / "run") + " systemd-analyze verify" +
                     (unit.user ? " --user " : " ") + quoted(folder / "flowloom.service"));
        EXPECT_EQ(check.status, 0) << unit.file << "\n" << check.output;
        // Unknown keys and bad values are only warnings to the checker.
        EXPECT_EQ(check.output, "") << unit.file;
    }
}

TEST(SystemdUnits, BothRunTheProgramWithoutAWindowAndCloseItInOrder)
{
    for (const Unit& unit : kUnits) {
        const std::string text = readBytes(kInstallFolder / unit.file);
        const std::vector<std::string> command = words(values(text, "ExecStart").at(0));
        ASSERT_GE(command.size(), 1u);
        EXPECT_EQ(command[0], "flowloom") << unit.file;
        std::vector<std::string_view> arguments(command.begin() + 1, command.end());
        const flowloom::app::CommandLine line = flowloom::app::parseCommandLine(arguments);
        EXPECT_EQ(line.action, flowloom::app::CommandLineAction::Run) << unit.file;
        EXPECT_TRUE(line.headless) << unit.file;
        // SIGTERM is one of the program's close requests (systemd's default too).
        EXPECT_EQ(values(text, "KillSignal"), std::vector<std::string>{"SIGTERM"}) << unit.file;
        EXPECT_EQ(values(text, "WantedBy"),
                  std::vector<std::string>{unit.user ? "default.target" : "multi-user.target"})
            << unit.file;
    }
}

TEST(SystemdUnits, TheSystemUnitsSettingsLiveInItsStateFolder)
{
    const std::string text = readBytes(kInstallFolder / "flowloom.service");
    EXPECT_EQ(values(text, "DynamicUser"), std::vector<std::string>{"yes"});
    const std::vector<std::string> state = values(text, "StateDirectory");
    ASSERT_EQ(state, std::vector<std::string>{"flowloom"});

    // The environment the unit gives the program, with systemd's %S: the
    // system manager's state root, /var/lib.
    std::string xdgConfigHome;
    std::string home;
    bool configHomeSet = false;
    for (const std::string& environment : values(text, "Environment"))
        for (std::string assignment : words(environment)) {
            for (std::size_t at; (at = assignment.find("%S")) != std::string::npos;)
                assignment.replace(at, 2, "/var/lib");
            if (assignment.rfind("XDG_CONFIG_HOME=", 0) == 0) {
                xdgConfigHome = assignment.substr(16);
                configHomeSet = true;
            }
            if (assignment.rfind("HOME=", 0) == 0)
                home = assignment.substr(5);
        }
    ASSERT_TRUE(configHomeSet);
    const fs::path stateFolder = fs::path("/var/lib") / state[0];

    // The packaged program: /usr/bin, not writable for the service's user,
    // beside its launcher.
    flowloom::app::FileEnvironment env;
    env.programFile = "/usr/bin/flowloom";
    env.programFolderWritable = false;
    env.home = home;
    env.xdgConfigHome = xdgConfigHome;
    env.fileExists = [](const fs::path& path) {
        return path == "/usr/share/applications/org.example.flowloom.desktop" ||
               path == "/usr/share/doc/flowloom/flowloom.html";
    };
    const flowloom::app::FileLocations files = flowloom::app::fileLocations(env);
    EXPECT_FALSE(files.portable);
    EXPECT_EQ(files.settingsFile, "/var/lib/flowloom/flowloom.ini");
    EXPECT_EQ(files.settingsFile.parent_path(), stateFolder);
    // Whatever the program puts under its home stays in the state folder too.
    EXPECT_EQ(fs::path(home), stateFolder);
    EXPECT_EQ(files.filesFolder.string().rfind(stateFolder.string() + "/", 0), 0u)
        << files.filesFolder;
}

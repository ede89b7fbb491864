// The systemd units the package ships: systemd's own checker accepts both,
// both start the program without a window by a command line it takes, and
// the system unit's settings land in its state folder by the program's rule
// of where an installed program keeps its files.
#include "DesktopEntryReader.h"
#include "IniTestSupport.h"
#include "app/ini/FileLocations.h"
#include "app/startup/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;
using flowloom::test::rawValues;
using flowloom::test::readBytes;
using flowloom::test::TempFolder;
using flowloom::test::writeBytes;
using Strings = std::vector<std::string>;

namespace {

const fs::path kInstallFolder = FLOWLOOM_INSTALL_DIR;

struct Unit
{
    const char* file; // in app/install
    bool user;        // for the user's manager (systemctl --user)
};
const Unit kUnits[] = {{"flowloom.service", false}, {"flowloom-user.service", true}};

Strings words(const std::string& text)
{
    Strings result;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        result.push_back(word);
    return result;
}

// The exit status of `command` (-1 when it did not end normally) and all it wrote.
std::pair<int, std::string> runShell(const std::string& command)
{
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return {-1, ""};
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

} // namespace

// "systemd-analyze verify" checks that ExecStart's program exists, and the
// units name it by its bare name (found on systemd's search path once
// installed). So a copy is verified whose ExecStart names the built program
// instead, the only line that differs; MANPATH holds the manual page that
// Documentation= names, which the checker looks up with man.
TEST(SystemdUnits, SystemdsCheckerAcceptsBothUnits)
{
    TempFolder work;
    fs::create_directories(work / "man" / "man1");
    fs::copy_file(kInstallFolder / "flowloom.1", work / "man" / "man1" / "flowloom.1");
    // The user manager's checker wants a runtime folder of the user's own.
    fs::create_directory(work / "run");
    fs::permissions(work / "run", fs::perms::owner_all);

    for (const Unit& unit : kUnits) {
        SCOPED_TRACE(unit.file);
        const std::string text = readBytes(kInstallFolder / unit.file);
        ASSERT_FALSE(text.empty());
        ASSERT_EQ(rawValues(text, "ExecStart"), Strings{"flowloom --headless"});
        std::string copy = text;
        copy.replace(copy.find("\nExecStart=flowloom "), 20,
                     "\nExecStart=" + std::string(FLOWLOOM_BINARY) + " ");
        const fs::path folder = work / (unit.user ? "user" : "system");
        fs::create_directories(folder);
        writeBytes(folder / "flowloom.service", copy);

        const auto [status, output] =
            runShell("env MANPATH=" + quoted(work / "man") +
                     " XDG_RUNTIME_DIR=" + quoted(work / "run") + " systemd-analyze verify" +
                     (unit.user ? " --user " : " ") + quoted(folder / "flowloom.service"));
        EXPECT_EQ(status, 0) << output;
        // Unknown keys and bad values are only warnings to the checker.
        EXPECT_EQ(output, "");
    }
}

TEST(SystemdUnits, BothRunTheProgramWithoutAWindowAndCloseItInOrder)
{
    for (const Unit& unit : kUnits) {
        SCOPED_TRACE(unit.file);
        const std::string text = readBytes(kInstallFolder / unit.file);
        const Strings command = words(rawValues(text, "ExecStart").at(0));
        ASSERT_GE(command.size(), 1u);
        EXPECT_EQ(command[0], "flowloom");
        const std::vector<std::string_view> arguments(command.begin() + 1, command.end());
        const flowloom::app::CommandLine line = flowloom::app::parseCommandLine(arguments);
        EXPECT_EQ(line.action, flowloom::app::CommandLineAction::Run);
        EXPECT_TRUE(line.headless);
        // SIGTERM is one of the program's close requests (systemd's default too).
        EXPECT_EQ(rawValues(text, "KillSignal"), Strings{"SIGTERM"});
        EXPECT_EQ(rawValues(text, "WantedBy"),
                  Strings{unit.user ? "default.target" : "multi-user.target"});
    }
}

TEST(SystemdUnits, TheSystemUnitsSettingsLiveInItsStateFolder)
{
    const std::string text = readBytes(kInstallFolder / "flowloom.service");
    EXPECT_EQ(rawValues(text, "DynamicUser"), Strings{"yes"});
    const Strings state = rawValues(text, "StateDirectory");
    ASSERT_EQ(state, Strings{"flowloom"});
    const fs::path stateFolder = fs::path("/var/lib") / state[0];

    // The environment the unit gives the program, with systemd's %S: the
    // system manager's state root, /var/lib.
    std::map<std::string, std::string> environment;
    for (const std::string& line : rawValues(text, "Environment"))
        for (std::string assignment : words(line)) {
            for (std::size_t at; (at = assignment.find("%S")) != std::string::npos;)
                assignment.replace(at, 2, "/var/lib");
            const std::size_t equals = assignment.find('=');
            environment[assignment.substr(0, equals)] = assignment.substr(equals + 1);
        }
    ASSERT_EQ(environment.count("XDG_CONFIG_HOME"), 1u);

    // The packaged program: /usr/bin, not writable for the service's user,
    // beside its launcher.
    flowloom::app::FileEnvironment env;
    env.programFile = "/usr/bin/flowloom";
    env.programFolderWritable = false;
    env.home = environment["HOME"];
    env.xdgConfigHome = environment["XDG_CONFIG_HOME"];
    env.fileExists = [](const fs::path& path) {
        return path == "/usr/share/applications/org.example.flowloom.desktop" ||
               path == "/usr/share/doc/flowloom/flowloom.html";
    };
    const flowloom::app::FileLocations files = flowloom::app::fileLocations(env);
    EXPECT_FALSE(files.portable);
    EXPECT_EQ(files.settingsFile, "/var/lib/flowloom/flowloom.ini");
    EXPECT_EQ(files.settingsFile.parent_path(), stateFolder);
    // Whatever the program puts under its home stays in the state folder too.
    EXPECT_EQ(fs::path(environment["HOME"]), stateFolder);
    EXPECT_EQ(files.filesFolder.string().rfind(stateFolder.string() + "/", 0), 0u)
        << files.filesFolder;
}

// The command line: what each argument list asks for, and the one-line error
// of a wrong one.
#include "app/startup/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

using flowloom::app::CommandLine;
using flowloom::app::CommandLineAction;
using flowloom::app::parseCommandLine;

namespace {

struct Case
{
    std::vector<std::string_view> arguments;
    CommandLineAction action;
    bool headless = false;
    bool minimized = false;
    std::string error; // the whole line when the action is Wrong
};

std::string join(const std::vector<std::string_view>& arguments)
{
    std::string text;
    for (const std::string_view argument : arguments)
        text += "[" + std::string(argument) + "]";
    return text;
}

const std::string kSeeHelp = "; see 'flowloom --help'";

} // namespace

TEST(CommandLine, EachArgumentListAsksForOneThing)
{
    using A = CommandLineAction;
    const std::vector<Case> cases = {
        // Nothing: the window, as always.
        {{}, A::Run, false, false, ""},
        {{"--headless"}, A::Run, true, false, ""},
        {{"--minimized"}, A::Run, false, true, ""},
        {{"--minimized", "--headless"}, A::Run, true, true, ""},
        {{"--headless", "--headless"}, A::Run, true, false, ""},
        {{"--help"}, A::ShowHelp, false, false, ""},
        {{"-h"}, A::ShowHelp, false, false, ""},
        {{"--version"}, A::ShowVersion, false, false, ""},
        // Help before the version, both before running.
        {{"--version", "--help"}, A::ShowHelp, false, false, ""},
        {{"--headless", "--version"}, A::ShowVersion, true, false, ""},
        // Qt's own options, with their values, are left to Qt; the session
        // restarts a program with "-session <id>".
        {{"-session", "1a2b3c", "--minimized"}, A::Run, false, true, ""},
        {{"-style", "fusion", "-reverse"}, A::Run, false, false, ""},
        {{"--platform=offscreen", "--headless"}, A::Run, true, false, ""},
        {{"-platform", "--help"}, A::Run, false, false, ""}, // "--help" names the platform
        // Wrong: the first wrong argument, named exactly as given.
        {{"--bogus"}, A::Wrong, false, false, "flowloom: unknown option '--bogus'" + kSeeHelp},
        {{"--headless", "-x", "--bogus"},
         A::Wrong,
         true,
         false,
         "flowloom: unknown option '-x'" + kSeeHelp},
        // A wrong option is reported also beside "--help".
        {{"--help", "--hepl"},
         A::Wrong,
         false,
         false,
         "flowloom: unknown option '--hepl'" + kSeeHelp},
        // Ours are long options; one dash is not one of them.
        {{"-headless"}, A::Wrong, false, false, "flowloom: unknown option '-headless'" + kSeeHelp},
        {{"--h"}, A::Wrong, false, false, "flowloom: unknown option '--h'" + kSeeHelp},
        {{"--Headless"},
         A::Wrong,
         false,
         false,
         "flowloom: unknown option '--Headless'" + kSeeHelp},
        {{"--minimised"},
         A::Wrong,
         false,
         false,
         "flowloom: unknown option '--minimised'" + kSeeHelp},
        {{"--headless=yes"},
         A::Wrong,
         false,
         false,
         "flowloom: option '--headless' takes no value" + kSeeHelp},
        {{"-h=1"}, A::Wrong, false, false, "flowloom: option '-h' takes no value" + kSeeHelp},
        {{"-reverse=1"},
         A::Wrong,
         false,
         false,
         "flowloom: option '-reverse' takes no value" + kSeeHelp},
        {{"--minimized", "-style"},
         A::Wrong,
         false,
         true,
         "flowloom: option '-style' needs a value" + kSeeHelp},
        {{"report.txt"},
         A::Wrong,
         false,
         false,
         "flowloom: unexpected argument 'report.txt'" + kSeeHelp},
        {{"-"}, A::Wrong, false, false, "flowloom: unexpected argument '-'" + kSeeHelp},
        {{"--"}, A::Wrong, false, false, "flowloom: unexpected argument '--'" + kSeeHelp},
        {{""}, A::Wrong, false, false, "flowloom: unexpected argument ''" + kSeeHelp},
    };
    for (const Case& c : cases) {
        const CommandLine line = parseCommandLine(c.arguments);
        const std::string name = join(c.arguments);
        EXPECT_EQ(line.action, c.action) << name;
        EXPECT_EQ(line.headless, c.headless) << name;
        EXPECT_EQ(line.minimized, c.minimized) << name;
        EXPECT_EQ(line.error, c.error) << name;
        EXPECT_EQ(line.error.find('\n'), std::string::npos) << "one line: " << name;
    }
}

TEST(CommandLine, MainsArgumentsSkipTheProgramName)
{
    const char* const argv[] = {"/usr/bin/flowloom", "--minimized", nullptr};
    const CommandLine line = parseCommandLine(2, argv);
    EXPECT_EQ(line.action, CommandLineAction::Run);
    EXPECT_TRUE(line.minimized);
    // The program's own name is never read as an argument.
    const char* const alone[] = {"--bogus", nullptr};
    EXPECT_EQ(parseCommandLine(1, alone).action, CommandLineAction::Run);
}

TEST(CommandLine, HelpListsEveryOptionOnALineOfItsOwn)
{
    const std::string help = flowloom::app::helpText();
    EXPECT_EQ(help.rfind("Usage: flowloom [OPTION]...\n", 0), 0u);
    for (const std::string_view option : {"--headless", "--minimized", "--version", "--help"}) {
        // Each listed option is one the parser takes.
        const std::vector<std::string_view> alone = {option};
        EXPECT_NE(parseCommandLine(alone).action, CommandLineAction::Wrong) << option;
        const std::size_t at = help.find(std::string(option) + " ");
        ASSERT_NE(at, std::string::npos) << option;
        const std::size_t lineStart = help.rfind('\n', at) + 1;
        const std::size_t lineEnd = help.find('\n', at);
        const std::string line = help.substr(lineStart, lineEnd - lineStart);
        EXPECT_EQ(line.rfind("  ", 0), 0u) << "indented: " << line;
        // The descriptions line up in one column after the option names.
        EXPECT_EQ(line.find_first_not_of(' ', line.find(option) + option.size()), 19u) << line;
        EXPECT_LE(line.size(), 80u) << line;
    }
    EXPECT_NE(help.find("  -h, --help"), std::string::npos);
    EXPECT_EQ(help.back(), '\n');
}

TEST(CommandLine, VersionNamesTheProgramAndItsVersion)
{
    EXPECT_EQ(flowloom::app::versionText(), std::string("Flowloom ") + FLOWLOOM_VERSION);
    EXPECT_EQ(flowloom::app::kWrongUsageStatus, 2);
}

TEST(CommandLine, TheReportTakesItsSpanInterfaceFormAndAlert)
{
    using flowloom::app::ReportSpan;
    struct ReportCase
    {
        std::vector<std::string_view> arguments;
        ReportSpan span;
        int count;
        std::string interface;
        bool json;
        std::optional<int> alert;
    };
    const std::vector<ReportCase> cases = {
        {{"--report"}, ReportSpan::Period, 0, "", false, std::nullopt},
        {{"--report", "--days", "7"}, ReportSpan::Days, 7, "", false, std::nullopt},
        {{"--days=31", "--report"}, ReportSpan::Days, 31, "", false, std::nullopt},
        {{"--report", "--months", "12", "--json"}, ReportSpan::Months, 12, "", true, std::nullopt},
        {{"--report", "--period", "--interface", "eth0", "--alert", "80"},
         ReportSpan::Period,
         0,
         "eth0",
         false,
         80},
        {{"--report", "--interface=wlan 0", "--alert=150"},
         ReportSpan::Period,
         0,
         "wlan 0",
         false,
         150},
    };
    for (const ReportCase& c : cases) {
        const CommandLine line = parseCommandLine(c.arguments);
        const std::string name = join(c.arguments);
        ASSERT_EQ(line.action, CommandLineAction::Report) << name << ": " << line.error;
        EXPECT_EQ(line.report.span, c.span) << name;
        EXPECT_EQ(line.report.count, c.count) << name;
        EXPECT_EQ(line.report.interface, c.interface) << name;
        EXPECT_EQ(line.report.json, c.json) << name;
        EXPECT_EQ(line.report.alertPercent, c.alert) << name;
    }
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> wrongs = {
        {{"--json"}, "option '--json' goes only with --report"},
        {{"--days", "3"}, "option '--days' goes only with --report"},
        {{"--report", "--days"}, "option '--days' needs a value"},
        {{"--report", "--days", "0"}, "option '--days' needs a whole number from 1 to 9999"},
        {{"--report", "--months", "x"}, "option '--months' needs a whole number from 1 to 9999"},
        {{"--report", "--days", "3", "--months", "2"}, "only one of --days, --months and --period"},
        {{"--report", "--period", "--period"}, "only one of --days, --months and --period"},
        {{"--report", "--alert", "-5"},
         "option '--alert' needs a whole number of percent from 1 to 10000"},
        {{"--report", "--interface="}, "option '--interface' needs an interface's name"},
        {{"--report", "--json=1"}, "option '--json' takes no value"},
        {{"--report=1"}, "option '--report' takes no value"},
    };
    for (const auto& [arguments, error] : wrongs) {
        const CommandLine line = parseCommandLine(arguments);
        EXPECT_EQ(line.action, CommandLineAction::Wrong) << join(arguments);
        EXPECT_EQ(line.error, "flowloom: " + error + kSeeHelp) << join(arguments);
    }
    // Help still comes first, and lists the report's options.
    const std::vector<std::string_view> helpToo = {"--report", "--help"};
    EXPECT_EQ(parseCommandLine(helpToo).action, CommandLineAction::ShowHelp);
    for (const char* option : {"--report", "--days N", "--months N", "--period", "--interface NAME",
                               "--json", "--alert PERCENT"})
        EXPECT_NE(flowloom::app::helpText().find(std::string("      ") + option), std::string::npos)
            << option;
}

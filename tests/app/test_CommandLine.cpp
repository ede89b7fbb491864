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

using Arguments = std::vector<std::string_view>;

std::string join(const Arguments& arguments)
{
    std::string text;
    for (const std::string_view argument : arguments)
        text += "[" + std::string(argument) + "]";
    return text;
}

void expectParsed(const Arguments& arguments, CommandLineAction action, bool headless,
                  bool minimized, const std::string& error)
{
    const CommandLine line = parseCommandLine(arguments);
    const std::string name = join(arguments);
    EXPECT_EQ(line.action, action) << name;
    EXPECT_EQ(line.headless, headless) << name;
    EXPECT_EQ(line.minimized, minimized) << name;
    EXPECT_EQ(line.error, error) << name;
    EXPECT_EQ(line.error.find('\n'), std::string::npos) << "one line: " << name;
}

} // namespace

TEST(CommandLine, EachArgumentListAsksForOneThing)
{
    using A = CommandLineAction;
    struct Accepted
    {
        Arguments arguments;
        CommandLineAction action;
        bool headless, minimized;
    };
    for (const Accepted& c : std::vector<Accepted>{
             {{}, A::Run, false, false}, // nothing: the window, as always
             {{"--headless"}, A::Run, true, false},
             {{"--minimized"}, A::Run, false, true},
             {{"--minimized", "--headless"}, A::Run, true, true},
             {{"--headless", "--headless"}, A::Run, true, false},
             {{"--help"}, A::ShowHelp, false, false},
             {{"-h"}, A::ShowHelp, false, false},
             {{"--version"}, A::ShowVersion, false, false},
             // Help before the version, both before running.
             {{"--version", "--help"}, A::ShowHelp, false, false},
             {{"--headless", "--version"}, A::ShowVersion, true, false},
             // Qt's own options, with their values, are left to Qt; the session
             // restarts a program with "-session <id>".
             {{"-session", "1a2b3c", "--minimized"}, A::Run, false, true},
             {{"-style", "fusion", "-reverse"}, A::Run, false, false},
             {{"--platform=offscreen", "--headless"}, A::Run, true, false},
             {{"-platform", "--help"}, A::Run, false, false}, // "--help" names the platform
         })
        expectParsed(c.arguments, c.action, c.headless, c.minimized, "");

    // Wrong: the first wrong argument, named exactly as given, in one line.
    struct Wrong
    {
        Arguments arguments;
        std::string complaint; // between "flowloom: " and the pointer to --help
        bool headless = false, minimized = false;
    };
    for (const Wrong& c : std::vector<Wrong>{
             {{"--bogus"}, "unknown option '--bogus'"},
             {{"--headless", "-x", "--bogus"}, "unknown option '-x'", true},
             {{"--help", "--hepl"}, "unknown option '--hepl'"}, // also beside "--help"
             // Ours are long options; one dash is not one of them.
             {{"-headless"}, "unknown option '-headless'"},
             {{"--h"}, "unknown option '--h'"},
             {{"--Headless"}, "unknown option '--Headless'"},
             {{"--minimised"}, "unknown option '--minimised'"},
             {{"--headless=yes"}, "option '--headless' takes no value"},
             {{"-h=1"}, "option '-h' takes no value"},
             {{"-reverse=1"}, "option '-reverse' takes no value"},
             {{"--minimized", "-style"}, "option '-style' needs a value", false, true},
             {{"report.txt"}, "unexpected argument 'report.txt'"},
             {{"-"}, "unexpected argument '-'"},
             {{"--"}, "unexpected argument '--'"},
             {{""}, "unexpected argument ''"},
         })
        expectParsed(c.arguments, A::Wrong, c.headless, c.minimized,
                     "flowloom: " + c.complaint + "; see 'flowloom --help'");
}

TEST(CommandLine, MainsArgumentsSkipTheProgramName)
{
    const char* const argv[] = {"/usr/bin/flowloom", "--minimized", nullptr};
    const CommandLine line = parseCommandLine(2, argv);
    EXPECT_EQ(line.action, CommandLineAction::Run);
    EXPECT_TRUE(line.minimized);
    const char* const alone[] = {"--bogus", nullptr}; // argv[0] is never an argument
    EXPECT_EQ(parseCommandLine(1, alone).action, CommandLineAction::Run);
}

TEST(CommandLine, HelpListsEveryOptionOnALineOfItsOwnAndVersionNamesTheProgram)
{
    const std::string help = flowloom::app::helpText();
    EXPECT_EQ(help.rfind("Usage: flowloom [OPTION]...\n", 0), 0u);
    for (const std::string_view option : {"--headless", "--minimized", "--version", "--help"}) {
        // Each listed option is one the parser takes.
        EXPECT_NE(parseCommandLine(Arguments{option}).action, CommandLineAction::Wrong) << option;
        const std::size_t at = help.find(std::string(option) + " ");
        ASSERT_NE(at, std::string::npos) << option;
        const std::size_t lineStart = help.rfind('\n', at) + 1;
        const std::string line = help.substr(lineStart, help.find('\n', at) - lineStart);
        EXPECT_EQ(line.rfind("  ", 0), 0u) << "indented: " << line;
        // The descriptions line up in one column after the option names.
        EXPECT_EQ(line.find_first_not_of(' ', line.find(option) + option.size()), 19u) << line;
        EXPECT_LE(line.size(), 80u) << line;
    }
    EXPECT_NE(help.find("  -h, --help"), std::string::npos);
    EXPECT_EQ(help.back(), '\n');

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
        EXPECT_EQ(line.error, "flowloom: " + error + "; see 'flowloom --help'") << join(arguments);
    }
    // Help still comes first, and lists the report's options.
    const std::vector<std::string_view> helpToo = {"--report", "--help"};
    EXPECT_EQ(parseCommandLine(helpToo).action, CommandLineAction::ShowHelp);
    for (const char* option : {"--report", "--days N", "--months N", "--period", "--interface NAME",
                               "--json", "--alert PERCENT"})
        EXPECT_NE(flowloom::app::helpText().find(std::string("      ") + option), std::string::npos)
            << option;
}

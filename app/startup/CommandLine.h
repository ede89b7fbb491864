#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace flowloom::app {

// What the program was asked to do on its command line.
enum class CommandLineAction {
    Run,         // start: with a window, or without one (headless)
    ShowHelp,    // print helpText() and end with status 0
    ShowVersion, // print versionText() and end with status 0
    Report,      // print the usage report (no display, no window) and end
    Wrong,       // print `error` on standard error and end with kWrongUsageStatus
};

// The exit status of a wrong command line, as command-line programs use it.
inline constexpr int kWrongUsageStatus = 2;

// What the usage report covers.
enum class ReportSpan {
    Period, // the current billing period, day by day (the default)
    Days,   // the last `count` days, today included
    Months, // the last `count` calendar months, this one included
};

// "--report" and the options that only go with it.
struct ReportOptions
{
    ReportSpan span = ReportSpan::Period;
    int count = 0;         // days or months
    std::string interface; // --interface; empty: the one the data cap measures
    bool json = false;     // --json: the JSON API's schema instead of a table
    // --alert: end with status 1 when the billing period used at least this
    // share of the data cap (percent), else 0.
    std::optional<int> alertPercent;
};

struct CommandLine
{
    CommandLineAction action = CommandLineAction::Run;
    ReportOptions report;
    bool headless = false;  // --headless: no display, no window
    bool minimized = false; // --minimized: the window starts minimised
    // One line, without its line end: the option that is wrong and where help is.
    std::string error;
};

// Reads the arguments after the program's name. Read before the application
// object is made: a run without a window must not need a display, and Qt
// takes its own options out of the arguments it is given.
//
// Options are long ("--name"); "-h" is short for "--help". Qt's own options
// ("-style fusion", "-session <id>", "--platform=offscreen", ...) are left to
// Qt: the desktop session restarts a program with "-session <id>". Any other
// argument is wrong, and the first wrong one is reported, even beside
// "--help". "--help" goes before "--version", both before running.
CommandLine parseCommandLine(std::span<const std::string_view> arguments);
// The same from main()'s own arguments (argv[0] is the program's name).
CommandLine parseCommandLine(int argc, const char* const* argv);

// The text that "--help" prints: usage and every option, one per line.
std::string helpText();
// "Flowloom <version>".
std::string versionText();
// "<version>" alone, as documents for other programs carry it.
std::string versionNumber();

} // namespace flowloom::app

#pragma once

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
    Wrong,       // print `error` on standard error and end with kWrongUsageStatus
};

// The exit status of a wrong command line, as command-line programs use it.
inline constexpr int kWrongUsageStatus = 2;

struct CommandLine
{
    CommandLineAction action = CommandLineAction::Run;
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

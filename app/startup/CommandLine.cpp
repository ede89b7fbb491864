#include "app/startup/CommandLine.h"

#include <array>
#include <charconv>
#include <optional>

namespace flowloom::app {

namespace {

// What an option of ours does to the command line it is part of.
enum class OptionEffect {
    Help,
    Version,
    Headless,
    Minimized,
    Report,
    Days,
    Months,
    Period,
    Interface,
    Json,
    Alert,
};

struct Option
{
    std::string_view name; // without its leading dashes
    std::string_view shortName;
    OptionEffect effect;
    std::string_view help;           // its line in the text "--help" prints
    std::string_view valueName = {}; // what follows it ("--days N"); empty: no value
    bool reportOnly = false;         // only beside --report
};

// The program's options. An option that takes a value ("--days N") gets a
// field for it in CommandLine and a row here.
constexpr std::array kOptions = {
    Option{"headless",
           {},
           OptionEffect::Headless,
           "run without a display or a window: counting and web server"},
    Option{"minimized",
           {},
           OptionEffect::Minimized,
           "start with the window minimised, as the start at login does"},
    Option{"report", {}, OptionEffect::Report, "print the usage history and end; needs no display"},
    Option{"days", {}, OptionEffect::Days, "with --report: the last N days", "N", true},
    Option{"months", {}, OptionEffect::Months, "with --report: the last N months", "N", true},
    Option{"period",
           {},
           OptionEffect::Period,
           "with --report: the current billing period (the default)",
           {},
           true},
    Option{"interface",
           {},
           OptionEffect::Interface,
           "with --report: that interface (default: the data cap's)",
           "NAME",
           true},
    Option{"json", {}, OptionEffect::Json, "with --report: JSON, as the web API has it", {}, true},
    Option{"alert",
           {},
           OptionEffect::Alert,
           "with --report: status 1 once PERCENT of the data cap is used",
           "PERCENT",
           true},
    Option{"version", {}, OptionEffect::Version, "print the version and end"},
    Option{"help", "h", OptionEffect::Help, "print this help and end"},
};

// Qt's own options, read by the application object; some take a value, given
// as the next argument or after "=".
struct QtOption
{
    std::string_view name;
    bool takesValue;
};

constexpr std::array kQtOptions = {
    QtOption{"platform", true},        QtOption{"platformpluginpath", true},
    QtOption{"platformtheme", true},   QtOption{"plugin", true},
    QtOption{"qwindowgeometry", true}, QtOption{"qwindowicon", true},
    QtOption{"qwindowtitle", true},    QtOption{"reverse", false},
    QtOption{"session", true},         QtOption{"display", true},
    QtOption{"geometry", true},        QtOption{"style", true},
    QtOption{"stylesheet", true},      QtOption{"widgetcount", false},
};

const Option* findOption(std::string_view name, bool longForm)
{
    for (const Option& option : kOptions)
        if (longForm ? option.name == name
                     : (!option.shortName.empty() && option.shortName == name))
            return &option;
    return nullptr;
}

const QtOption* findQtOption(std::string_view name)
{
    for (const QtOption& option : kQtOptions)
        if (option.name == name)
            return &option;
    return nullptr;
}

// Where the options' descriptions start in the help text.
constexpr std::size_t kHelpColumn = 19;

std::string wrong(std::string_view what)
{
    return "flowloom: " + std::string(what) + "; see 'flowloom --help'";
}

// A whole number from 1 to `largest`, or nothing.
std::optional<int> wholeNumber(std::string_view text, int largest)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > largest)
        return std::nullopt;
    return value;
}

constexpr int kLargestCount = 9999;    // days or months: more than the history keeps
constexpr int kLargestPercent = 10000; // a hundred times the cap

} // namespace

CommandLine parseCommandLine(std::span<const std::string_view> arguments)
{
    CommandLine line;
    bool help = false;
    bool version = false;
    bool report = false;
    int spans = 0;
    std::string reportOnly; // the last option given that goes only with --report
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const bool longForm = argument.starts_with("--");
        const std::size_t dashes = longForm ? 2 : (argument.starts_with("-") ? 1 : 0);
        std::string_view name = argument.substr(dashes);
        std::optional<std::string_view> value;
        if (const std::size_t equals = name.find('='); equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (dashes == 0 || name.empty()) {
            line.error = wrong("unexpected argument '" + std::string(argument) + "'");
            break;
        }
        if (const Option* option = findOption(name, longForm)) {
            const std::string shown = std::string(argument.substr(0, dashes)) + std::string(name);
            if (value && option->valueName.empty()) {
                line.error = wrong("option '" + shown + "' takes no value");
                break;
            }
            if (!value && !option->valueName.empty()) {
                if (i + 1 == arguments.size()) {
                    line.error = wrong("option '" + shown + "' needs a value");
                    break;
                }
                value = arguments[++i];
            }
            if (option->reportOnly)
                reportOnly = shown;
            const auto count = [&](ReportSpan span) {
                if (spans++ > 0)
                    line.error = wrong("only one of --days, --months and --period");
                line.report.span = span;
                if (span == ReportSpan::Period)
                    return;
                const std::optional<int> number = wholeNumber(*value, kLargestCount);
                if (!number)
                    line.error = wrong("option '" + shown + "' needs a whole number from 1 to " +
                                       std::to_string(kLargestCount));
                line.report.count = number.value_or(0);
            };
            switch (option->effect) {
            case OptionEffect::Help:
                help = true;
                break;
            case OptionEffect::Version:
                version = true;
                break;
            case OptionEffect::Headless:
                line.headless = true;
                break;
            case OptionEffect::Minimized:
                line.minimized = true;
                break;
            case OptionEffect::Report:
                report = true;
                break;
            case OptionEffect::Days:
                count(ReportSpan::Days);
                break;
            case OptionEffect::Months:
                count(ReportSpan::Months);
                break;
            case OptionEffect::Period:
                count(ReportSpan::Period);
                break;
            case OptionEffect::Interface:
                line.report.interface = std::string(*value);
                if (line.report.interface.empty())
                    line.error = wrong("option '" + shown + "' needs an interface's name");
                break;
            case OptionEffect::Json:
                line.report.json = true;
                break;
            case OptionEffect::Alert:
                line.report.alertPercent = wholeNumber(*value, kLargestPercent);
                if (!line.report.alertPercent)
                    line.error =
                        wrong("option '" + shown + "' needs a whole number of percent from 1 to " +
                              std::to_string(kLargestPercent));
                break;
            }
            if (!line.error.empty())
                break;
            continue;
        }
        // Qt accepts its options with one dash or two.
        if (const QtOption* qt = findQtOption(name)) {
            if (qt->takesValue && !value) {
                if (i + 1 == arguments.size()) {
                    line.error = wrong("option '" + std::string(argument) + "' needs a value");
                    break;
                }
                ++i; // the value is Qt's
            } else if (!qt->takesValue && value) {
                line.error = wrong("option '" + std::string(argument.substr(0, dashes)) +
                                   std::string(name) + "' takes no value");
                break;
            }
            continue;
        }
        line.error = wrong("unknown option '" + std::string(argument) + "'");
        break;
    }
    if (line.error.empty() && !report && !reportOnly.empty())
        line.error = wrong("option '" + reportOnly + "' goes only with --report");
    if (!line.error.empty())
        line.action = CommandLineAction::Wrong;
    else if (help)
        line.action = CommandLineAction::ShowHelp;
    else if (version)
        line.action = CommandLineAction::ShowVersion;
    else if (report)
        line.action = CommandLineAction::Report;
    return line;
}

CommandLine parseCommandLine(int argc, const char* const* argv)
{
    std::vector<std::string_view> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return parseCommandLine(arguments);
}

std::string helpText()
{
    std::string text = "Usage: flowloom [OPTION]...\n"
                       "Flowloom, a bandwidth monitor: the rates and totals of the network "
                       "interfaces.\n\nOptions:\n";
    for (const Option& option : kOptions) {
        std::string names = option.shortName.empty() ? "      --" + std::string(option.name)
                                                     : "  -" + std::string(option.shortName) +
                                                           ", --" + std::string(option.name);
        if (!option.valueName.empty())
            names += " " + std::string(option.valueName);
        // A name too long for the column has its description on the next line.
        if (names.size() >= kHelpColumn) {
            text += names + "\n";
            names.clear();
        }
        names.resize(kHelpColumn, ' ');
        text += names + std::string(option.help) + "\n";
    }
    text += "\nQt's own options (-style, -platform, -session, ...) are passed on to Qt.\n"
            "Without options the program opens its window.\n";
    return text;
}

std::string versionText()
{
    return "Flowloom " FLOWLOOM_VERSION;
}

std::string versionNumber()
{
    return FLOWLOOM_VERSION;
}

} // namespace flowloom::app

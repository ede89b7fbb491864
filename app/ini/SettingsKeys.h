#pragma once

#include "web/http/Port.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace flowloom::app {

// Every key of the settings file except the per-interface ones, in the order
// they are written. The enumerator names follow the key texts.
enum class Key : std::uint8_t {
    First,
    URL,
    ServerIP,
    Stop,
    Restart,
    Points,
    Max,
    Bytes,
    KB,
    Peak,
    Avg,
    Auto,
    Btn3D,
    Default,
    Line,
    Area,
    Steps,
    Ramp,
    Run,
    Folder,
    Capture,
    Label,
    Title,
    Pages,
    Minimize,
    Web,
    Temp,
    Lower,
    Auth,
    User,
    Pass,
    Port,
    Border,
    Plot,
    PlotUp,
    Back,
    Height,
    Width,
    HTTP,
    Cap,
    Clip,
    Print,
    RbPercent,
    RbPixels,
    SpPercent,
    Left,
    Grid,
    Colour,
    FontName,
    FontSize,
    FontStyle,
    Append,
    JPG,
    GIF,
    BMP,
    PNG,
    Gray,
    Vertical,
    Horizontal,
    Stay,
    DoPlot,
    DoPlotUp,
    CSV,
    Format,
    Image,
    WebStats,
    Formatt,
    Imaget,
    WebColour,
    WebSize,
    WebStyle,
    WebName,
    Alpha,
    StartMin,
    Month,
    Time,
    Reset,
    // Later additions, after every key of the first files.
    DataCap,
    CapSize,
    CapUnit,
    CapCounts,
    CapShare,
    History,
    HistoryName,
    CapScope,
    AutoStart,
    Fit,
    Kbits,
    Mbits,
    Metrics,
    JsonApi,
    AppTraffic,
    LivePage,
    Count
};

inline constexpr std::size_t kKeyCount = static_cast<std::size_t>(Key::Count);

constexpr std::size_t keyIndex(Key key)
{
    return static_cast<std::size_t>(key);
}

enum class ValueType : std::uint8_t {
    Bool,
    Int,
    Text,
    TitleText,     // spaces stored as "^"
    ScrambledText, // stored through EnDeCrypt
    Colour,
    FontStyle,
    DateTime,
};

// Defaults that only the running program knows.
enum class RuntimeDefault : std::uint8_t {
    None,
    FilesFolder, // the program's folder, or the installed program's pictures folder
    GraphHeight, // the graph's on-screen size in pixels
    GraphWidth,
    Now, // the current date and time (the reset times of the cumulative totals)
};

// What holds a setting while the program runs, and so how a loaded value is
// put into it.
enum class Control : std::uint8_t {
    CheckBox,
    RadioButton, // a true value checks it, a false one only unchecks it
    ToolToggle,  // set down or up without running its action
    SpinBox,     // limited to its range unless unlimited
    TrackBar,    // limited to its range
    ListIndex,   // an index outside the list selects nothing
    Edit,
    TimePicker, // only the time of day is taken
    Variable,   // a program-wide variable of the main window
    GraphAxesTextColour,
    GraphTitleFont,
};

enum class RadioGroup : std::uint8_t {
    None,
    PageLimit,        // Stop, Restart
    Units,            // Bytes, KB, Kbits, Mbits
    AxisFollows,      // Peak, Avg, Fit
    SeriesType,       // Line, Area
    Drawing,          // Steps, Ramp
    ImageSize,        // rbPercent, rbPixels
    ImageType,        // JPG, GIF, BMP, PNG
    LabelOrientation, // Vertical, Horizontal
};

struct KeyEntry
{
    Key key;
    std::string_view name; // the key text in the file
    ValueType type;
    // Bool, Int, Colour and FontStyle defaults; Text, TitleText (in stored
    // form), ScrambledText (plain) and DateTime defaults are texts.
    std::int64_t defaultNumber = 0;
    std::string_view defaultText;
    RuntimeDefault runtimeDefault = RuntimeDefault::None;
    std::string_view owner; // the control's objectName, or the variable's name
    Control control = Control::Variable;
    RadioGroup group = RadioGroup::None;
    bool limited = false; // SpinBox, TrackBar, ListIndex: minimum..maximum apply
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
};

// The four keys of one interface row, written together in this order.
enum class InterfaceKey : std::uint8_t {
    LastTotalIn,
    LastInReset,
    LastTotalOut,
    LastOutReset,
};

struct InterfaceKeyEntry
{
    InterfaceKey key;
    std::string_view word; // followed by the row number in decimal
    ValueType type;
    RuntimeDefault runtimeDefault;
};

namespace keytable {

constexpr KeyEntry checkBox(Key key, std::string_view name, bool on, std::string_view owner)
{
    return {key, name, ValueType::Bool, on, {}, RuntimeDefault::None, owner, Control::CheckBox};
}

constexpr KeyEntry radio(Key key, std::string_view name, bool on, std::string_view owner,
                         RadioGroup group)
{
    return {key,  name, ValueType::Bool, on, {}, RuntimeDefault::None, owner, Control::RadioButton,
            group};
}

constexpr KeyEntry toolToggle(Key key, std::string_view name, bool down, std::string_view owner)
{
    return {key, name, ValueType::Bool, down, {}, RuntimeDefault::None, owner, Control::ToolToggle};
}

constexpr KeyEntry spin(Key key, std::string_view name, std::int64_t value, std::string_view owner,
                        std::int32_t minimum, std::int32_t maximum,
                        RuntimeDefault runtime = RuntimeDefault::None)
{
    return {key,
            name,
            ValueType::Int,
            value,
            {},
            runtime,
            owner,
            Control::SpinBox,
            RadioGroup::None,
            true,
            minimum,
            maximum};
}

constexpr KeyEntry edit(Key key, std::string_view name, ValueType type, std::string_view text,
                        std::string_view owner, RuntimeDefault runtime = RuntimeDefault::None)
{
    return {key, name, type, 0, text, runtime, owner, Control::Edit};
}

constexpr KeyEntry variable(Key key, ValueType type, std::int64_t number, std::string_view name)
{
    return {key, name, type, number, {}, RuntimeDefault::None, name, Control::Variable};
}

constexpr KeyEntry variableText(Key key, ValueType type, std::string_view text,
                                std::string_view name)
{
    return {key, name, type, 0, text, RuntimeDefault::None, name, Control::Variable};
}

constexpr KeyEntry graph(Key key, std::string_view name, ValueType type, std::int64_t number,
                         std::string_view text, Control control)
{
    return {key, name, type, number, text, RuntimeDefault::None, "Chart1", control};
}

constexpr std::int64_t kBlack = 0x00000000;
constexpr std::int64_t kLime = 0x0000FF00;
constexpr std::int64_t kYellow = 0x0000FFFF;
constexpr std::int64_t kWhite = 0x00FFFFFF;
constexpr std::int64_t kGray = 0x00808080;

using VT = ValueType;
using RG = RadioGroup;

// clang-format off
inline constexpr std::array<KeyEntry, kKeyCount> kTable = {{
    variable(Key::First, VT::Bool, 1, "First"),
    variable(Key::URL, VT::Int, 0, "URL"),           // applied to cbURL once the list exists
    variable(Key::ServerIP, VT::Int, 0, "ServerIP"), // applied to cbServerIP likewise
    radio(Key::Stop, "Stop", true, "rbStop", RG::PageLimit),
    radio(Key::Restart, "Restart", false, "rbRestart", RG::PageLimit),
    spin(Key::Points, "Points", 400, "spPoints", 10, 10000),
    {Key::Max, "Max", VT::Int, 800, {}, RuntimeDefault::None, "spMax", Control::SpinBox},
    radio(Key::Bytes, "Bytes", false, "rbBytes", RG::Units),
    radio(Key::KB, "KB", true, "rbKBytes", RG::Units),
    radio(Key::Peak, "Peak", true, "rbPeak", RG::AxisFollows),
    radio(Key::Avg, "Avg", false, "rbAvg", RG::AxisFollows),
    checkBox(Key::Auto, "Auto", true, "cbAuto"),
    toolToggle(Key::Btn3D, "btn3D", false, "btn3D"),
    variable(Key::Default, VT::Bool, 1, "Default"),
    radio(Key::Line, "Line", false, "rbLine", RG::SeriesType),
    radio(Key::Area, "Area", true, "rbArea", RG::SeriesType),
    radio(Key::Steps, "Steps", false, "rbSteps", RG::Drawing),
    radio(Key::Ramp, "Ramp", true, "rbRamp", RG::Drawing),
    toolToggle(Key::Run, "Run", false, "btnStart"),
    edit(Key::Folder, "Folder", VT::Text, {}, "edFolder", RuntimeDefault::FilesFolder),
    checkBox(Key::Capture, "Capture", false, "cbCapture"),
    edit(Key::Label, "Label", VT::Text, "KBytes / sec", "edLabel"),
    edit(Key::Title, "Title", VT::TitleText, "Bandwidth graph of^", "edTitle"),
    spin(Key::Pages, "Pages", 50, "spPages", 0, 255),
    checkBox(Key::Minimize, "Minimize", false, "cbMinimize"),
    checkBox(Key::Web, "Web", false, "cbWeb"),
    edit(Key::Temp, "Temp", VT::Text, "flowloom.jpg", "edTemp"),
    variable(Key::Lower, VT::Bool, 0, "Lower"), // reserved: read and written back unchanged
    variable(Key::Auth, VT::Bool, 0, "Auth"),
    variableText(Key::User, VT::Text, {}, "User"),
    variableText(Key::Pass, VT::ScrambledText, {}, "Pass"),
    variable(Key::Port, VT::Int, web::kDefaultPort, "Port"),
    variable(Key::Border, VT::Colour, kBlack, "Border"),
    variable(Key::Plot, VT::Colour, kLime, "Plot"),
    variable(Key::PlotUp, VT::Colour, kYellow, "PlotUp"),
    variable(Key::Back, VT::Colour, kBlack, "Back"),
    spin(Key::Height, "Height", 0, "spGrHeight", 150, 2000, RuntimeDefault::GraphHeight),
    spin(Key::Width, "Width", 0, "spGrWidth", 150, 2000, RuntimeDefault::GraphWidth),
    checkBox(Key::HTTP, "HTTP", true, "cbHTTP"),
    checkBox(Key::Cap, "Cap", true, "cbCaptured"),
    checkBox(Key::Clip, "Clip", true, "cbClip"),
    checkBox(Key::Print, "Print", true, "cbPrint"),
    radio(Key::RbPercent, "rbPercent", true, "rbPercent", RG::ImageSize),
    radio(Key::RbPixels, "rbPixels", false, "rbPixels", RG::ImageSize),
    spin(Key::SpPercent, "spPercent", 100, "spPercent", 20, 200),
    graph(Key::Left, "Left", VT::Colour, kWhite, {}, Control::GraphAxesTextColour),
    variable(Key::Grid, VT::Colour, kGray, "Grid"),
    graph(Key::Colour, "Colour", VT::Colour, kWhite, {}, Control::GraphTitleFont),
    graph(Key::FontName, "FontName", VT::Text, 0, "Arial", Control::GraphTitleFont),
    graph(Key::FontSize, "FontSize", VT::Int, 10, {}, Control::GraphTitleFont),
    graph(Key::FontStyle, "FontStyle", VT::FontStyle, 0, {}, Control::GraphTitleFont),
    checkBox(Key::Append, "Append", true, "cbAppend"),
    radio(Key::JPG, "JPG", true, "rbJPG", RG::ImageType),
    radio(Key::GIF, "GIF", false, "rbGIF", RG::ImageType),
    radio(Key::BMP, "BMP", false, "rbBMP", RG::ImageType),
    radio(Key::PNG, "PNG", false, "rbPNG", RG::ImageType),
    checkBox(Key::Gray, "Gray", false, "cbGray"),
    radio(Key::Vertical, "Vertical", false, "rbVertical", RG::LabelOrientation),
    radio(Key::Horizontal, "Horizontal", true, "rbHorizontal", RG::LabelOrientation),
    toolToggle(Key::Stay, "Stay", false, "btnStay"),
    // The per-interface keys are written here, row by row.
    checkBox(Key::DoPlot, "DoPlot", true, "cbDoPlot"),
    checkBox(Key::DoPlotUp, "DoPlotUp", true, "cbDoPlotUp"),
    checkBox(Key::CSV, "CSV", false, "cbCSV"),
    checkBox(Key::Format, "Format", true, "cbFormat"),
    checkBox(Key::Image, "Image", false, "cbImage"),
    edit(Key::WebStats, "WebStats", VT::Text, "netstats.txt", "edWebStats"),
    edit(Key::Formatt, "Formatt", VT::Text, "formatted.txt", "edFormat"),
    edit(Key::Imaget, "Imaget", VT::Text, "netstats.jpg", "edImage"),
    variable(Key::WebColour, VT::Colour, kBlack, "WebColour"),
    variable(Key::WebSize, VT::Int, 10, "WebSize"),
    variable(Key::WebStyle, VT::FontStyle, 0, "WebStyle"),
    variableText(Key::WebName, VT::Text, "Arial", "WebName"),
    {Key::Alpha, "Alpha", VT::Int, 255, {}, RuntimeDefault::None, "tb1", Control::TrackBar,
     RG::None, true, 80, 255},
    checkBox(Key::StartMin, "StartMin", false, "cbStartMin"),
    {Key::Month, "Month", VT::Int, 0, {}, RuntimeDefault::None, "cbMonth", Control::ListIndex,
     RG::None, true, 0, 28},
    {Key::Time, "Time", VT::DateTime, 0, "00:01:00", RuntimeDefault::None, "DateTimePicker1",
     Control::TimePicker},
    checkBox(Key::Reset, "Reset", false, "cbReset"),
    // The data-cap warning and the history document; a file without these
    // keys reads as before, with the warning and the document off.
    checkBox(Key::DataCap, "DataCap", false, "cbDataCap"),
    spin(Key::CapSize, "CapSize", 50, "spCapSize", 1, 999999),
    {Key::CapUnit, "CapUnit", VT::Int, 1, {}, RuntimeDefault::None, "cbCapUnit", Control::ListIndex,
     RG::None, true, 0, 1},
    {Key::CapCounts, "CapCounts", VT::Int, 0, {}, RuntimeDefault::None, "cbCapCounts",
     Control::ListIndex, RG::None, true, 0, 2},
    spin(Key::CapShare, "CapShare", 80, "spCapShare", 1, 100),
    checkBox(Key::History, "History", false, "cbHistory"),
    edit(Key::HistoryName, "HistoryName", VT::Text, "history.csv", "edHistory"),
    // What the cap and the billing period measure: the selected interface
    // (as before), or the sum of the physical interfaces.
    {Key::CapScope, "CapScope", VT::Int, 0, {}, RuntimeDefault::None, "cbCapScope",
     Control::ListIndex, RG::None, true, 0, 1},
    // Start at login (an autostart entry); off unless the user turns it on.
    checkBox(Key::AutoStart, "AutoStart", false, "cbAutoStart"),
    // The automatic maximum may follow the visible page instead of the
    // session's peak or average; off unless chosen.
    radio(Key::Fit, "Fit", false, "rbFit", RG::AxisFollows),
    // Rates shown in bits per second (1000 bits a kbit), as bandwidth is sold.
    radio(Key::Kbits, "Kbits", false, "rbKbits", RG::Units),
    radio(Key::Mbits, "Mbits", false, "rbMbits", RG::Units),
    // The documents for other programs: /metrics for Prometheus and the JSON
    // API; off unless the user turns them on.
    checkBox(Key::Metrics, "Metrics", false, "cbMetrics"),
    checkBox(Key::JsonApi, "JsonApi", false, "cbJsonApi"),
    // Traffic per application (polling the TCP sockets each tick); on unless
    // the user turns it off.
    checkBox(Key::AppTraffic, "AppTraffic", true, "cbAppTraffic"),
    // The live page at "/" of the web server; on unless the user turns it off.
    checkBox(Key::LivePage, "LivePage", true, "cbLivePage"),
}};

// The order in which start-up reads and applies the keys: where several
// radio buttons of a group are stored as 1, the one read last wins. The
// units are read before "Label", so that a label the user wrote survives
// the unit button's preset.
inline constexpr std::array<Key, kKeyCount> kReadOrder = {{
    Key::URL, Key::First, Key::Stop, Key::Restart, Key::Points, Key::Max, Key::Bytes, Key::KB,
    Key::Kbits, Key::Mbits, Key::Peak, Key::Avg, Key::Fit, Key::Auto, Key::Btn3D, Key::Default,
    Key::Line, Key::Area, Key::Steps, Key::Ramp, Key::Run, Key::Capture, Key::Folder, Key::Label,
    Key::Title, Key::Pages,
    Key::Minimize, Key::Web, Key::Temp, Key::Auth, Key::Lower, Key::User, Key::Pass, Key::Port,
    Key::Border, Key::Plot, Key::PlotUp, Key::Back, Key::Left, Key::Grid, Key::Height,
    Key::Width, Key::HTTP, Key::Cap, Key::Clip, Key::Print, Key::RbPercent, Key::RbPixels,
    Key::SpPercent, Key::Colour, Key::FontName, Key::FontSize, Key::FontStyle, Key::JPG,
    Key::GIF, Key::BMP, Key::PNG, Key::Gray, Key::Append, Key::Vertical, Key::Horizontal,
    Key::Stay, Key::DoPlot, Key::DoPlotUp, Key::CSV, Key::Format, Key::Image, Key::WebStats,
    Key::Formatt, Key::Imaget, Key::WebColour, Key::WebSize, Key::WebStyle, Key::WebName,
    Key::Alpha, Key::StartMin, Key::Month, Key::Time, Key::Reset, Key::ServerIP,
    Key::DataCap, Key::CapSize, Key::CapUnit, Key::CapCounts, Key::CapShare, Key::History,
    Key::HistoryName, Key::CapScope, Key::AutoStart, Key::Metrics, Key::JsonApi, Key::AppTraffic,
    Key::LivePage,
}};
// clang-format on

inline constexpr std::array<InterfaceKeyEntry, 4> kInterfaceKeys = {{
    {InterfaceKey::LastTotalIn, "LastTotalIn", ValueType::Int, RuntimeDefault::None},
    {InterfaceKey::LastInReset, "LastInReset", ValueType::DateTime, RuntimeDefault::Now},
    {InterfaceKey::LastTotalOut, "LastTotalOut", ValueType::Int, RuntimeDefault::None},
    {InterfaceKey::LastOutReset, "LastOutReset", ValueType::DateTime, RuntimeDefault::Now},
}};

// The per-interface keys stand right after this key.
inline constexpr Key kInterfaceKeysAfter = Key::Stay;

constexpr bool tableIsInEnumOrder()
{
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        if (keyIndex(kTable[i].key) != i)
            return false;
    }
    return true;
}

constexpr bool readOrderIsPermutation()
{
    std::array<bool, kKeyCount> seen{};
    for (const Key key : kReadOrder) {
        if (key >= Key::Count || seen[keyIndex(key)])
            return false;
        seen[keyIndex(key)] = true;
    }
    return true;
}

constexpr char foldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldCase(a[i]) != foldCase(b[i]))
            return false;
    }
    return true;
}

// The file matches names without case, so two keys must differ by more.
constexpr bool namesAreDistinct()
{
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        for (std::size_t j = i + 1; j < kTable.size(); ++j) {
            if (sameName(kTable[i].name, kTable[j].name))
                return false;
        }
    }
    return true;
}

constexpr bool entriesAreConsistent()
{
    for (const KeyEntry& e : kTable) {
        const bool isRadio = e.control == Control::RadioButton;
        if (isRadio != (e.group != RadioGroup::None))
            return false;
        if (isRadio && e.type != ValueType::Bool)
            return false;
        if (e.limited && (e.type != ValueType::Int || e.minimum > e.maximum))
            return false;
        if ((e.control == Control::TrackBar || e.control == Control::ListIndex) && !e.limited)
            return false;
        if (e.name.empty() || e.owner.empty())
            return false;
    }
    return true;
}

static_assert(kTable.size() == 93, "the settings file has 93 keys besides the per-interface ones");
static_assert(kReadOrder.size() == kTable.size());
static_assert(tableIsInEnumOrder(), "kTable must list the keys in the order of enum Key");
static_assert(readOrderIsPermutation(), "kReadOrder must name every key exactly once");
static_assert(namesAreDistinct());
static_assert(entriesAreConsistent());

} // namespace keytable

// Look-ups over the key table and the pure rules of applying a value.
class SettingsKeys
{
public:
    static constexpr const KeyEntry& entry(Key key) { return keytable::kTable[keyIndex(key)]; }
    static constexpr const std::array<KeyEntry, kKeyCount>& table() { return keytable::kTable; }
    static constexpr const std::array<Key, kKeyCount>& readOrder() { return keytable::kReadOrder; }
    static constexpr const std::array<InterfaceKeyEntry, 4>& interfaceKeys()
    {
        return keytable::kInterfaceKeys;
    }

    // A key's first-run value, for whatever holds it before the settings are
    // applied: the controls as they are made and the program variables.
    static constexpr bool defaultOn(Key key) { return entry(key).defaultNumber != 0; }
    static constexpr int defaultInt(Key key) { return static_cast<int>(entry(key).defaultNumber); }
    static constexpr std::uint32_t defaultColour(Key key)
    {
        return static_cast<std::uint32_t>(entry(key).defaultNumber);
    }
    // As stored: a TitleText keeps its "^" for spaces.
    static constexpr std::string_view defaultText(Key key) { return entry(key).defaultText; }
    // A number box's minimum and maximum.
    static constexpr std::pair<int, int> range(Key key)
    {
        return {entry(key).minimum, entry(key).maximum};
    }

    // The key of that text, compared without case.
    static std::optional<Key> find(std::string_view name);
    // "LastTotalIn" and row 3 give "LastTotalIn3".
    static std::string interfaceKeyName(InterfaceKey key, std::size_t row);

    // A number box's or the track bar's value limited to its range; keys
    // without a range keep their value.
    static std::int64_t limitToRange(Key key, std::int64_t value);
    // The list entry to select for a stored index: -1 (none) when the index
    // lies outside a list of `count` entries.
    static int listSelection(std::int64_t index, int count);
};

} // namespace flowloom::app

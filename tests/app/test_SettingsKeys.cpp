#include "app/ini/SettingsKeys.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

using flowloom::app::Control;
using flowloom::app::InterfaceKey;
using flowloom::app::Key;
using flowloom::app::RadioGroup;
using flowloom::app::SettingsKeys;
using flowloom::app::ValueType;

TEST(SettingsKeys, WriteAndReadOrdersAreThoseOfTheFile)
{
    // Files already written hold exactly these names, in this order.
    const std::vector<std::string_view> writeOrder = {
        "First", "URL", "ServerIP", "Stop", "Restart", "Points", "Max", "Bytes", "KB", "Peak",
        "Avg", "Auto", "btn3D", "Default", "Line", "Area", "Steps", "Ramp", "Run", "Folder",
        "Capture", "Label", "Title", "Pages", "Minimize", "Web", "Temp", "Lower", "Auth", "User",
        "Pass", "Port", "Border", "Plot", "PlotUp", "Back", "Height", "Width", "HTTP", "Cap",
        "Clip", "Print", "rbPercent", "rbPixels", "spPercent", "Left", "Grid", "Colour", "FontName",
        "FontSize", "FontStyle", "Append", "JPG", "GIF", "BMP", "PNG", "Gray", "Vertical",
        "Horizontal", "Stay", "DoPlot", "DoPlotUp", "CSV", "Format", "Image", "WebStats", "Formatt",
        "Imaget", "WebColour", "WebSize", "WebStyle", "WebName", "Alpha", "StartMin", "Month",
        "Time", "Reset",
        // added later, after all of the above
        "DataCap", "CapSize", "CapUnit", "CapCounts", "CapShare", "History", "HistoryName",
        "CapScope", "AutoStart", "Fit", "Kbits", "Mbits", "Metrics", "JsonApi", "AppTraffic",
        "LivePage"};
    const std::vector<std::string_view> readOrder = {
        "URL",        "First",    "Stop",        "Restart",   "Points",     "Max",      "Bytes",
        "KB",         "Kbits",    "Mbits",       "Peak",      "Avg",        "Fit",      "Auto",
        "btn3D",      "Default",  "Line",        "Area",      "Steps",      "Ramp",     "Run",
        "Capture",    "Folder",   "Label",       "Title",     "Pages",      "Minimize", "Web",
        "Temp",       "Auth",     "Lower",       "User",      "Pass",       "Port",     "Border",
        "Plot",       "PlotUp",   "Back",        "Left",      "Grid",       "Height",   "Width",
        "HTTP",       "Cap",      "Clip",        "Print",     "rbPercent",  "rbPixels", "spPercent",
        "Colour",     "FontName", "FontSize",    "FontStyle", "JPG",        "GIF",      "BMP",
        "PNG",        "Gray",     "Append",      "Vertical",  "Horizontal", "Stay",     "DoPlot",
        "DoPlotUp",   "CSV",      "Format",      "Image",     "WebStats",   "Formatt",  "Imaget",
        "WebColour",  "WebSize",  "WebStyle",    "WebName",   "Alpha",      "StartMin", "Month",
        "Time",       "Reset",    "ServerIP",    "DataCap",   "CapSize",    "CapUnit",  "CapCounts",
        "CapShare",   "History",  "HistoryName", "CapScope",  "AutoStart",  "Metrics",  "JsonApi",
        "AppTraffic", "LivePage"};
    ASSERT_EQ(SettingsKeys::table().size(), writeOrder.size());
    for (std::size_t i = 0; i < writeOrder.size(); ++i)
        EXPECT_EQ(SettingsKeys::table()[i].name, writeOrder[i]);
    ASSERT_EQ(SettingsKeys::readOrder().size(), readOrder.size());
    for (std::size_t i = 0; i < readOrder.size(); ++i)
        EXPECT_EQ(SettingsKeys::entry(SettingsKeys::readOrder()[i]).name, readOrder[i]);

    EXPECT_EQ(SettingsKeys::interfaceKeyName(InterfaceKey::LastTotalIn, 0), "LastTotalIn0");
    EXPECT_EQ(SettingsKeys::interfaceKeyName(InterfaceKey::LastOutReset, 12), "LastOutReset12");
}

TEST(SettingsKeys, EntriesNameTheirControlsAndRanges)
{
    const auto& points = SettingsKeys::entry(Key::Points);
    EXPECT_EQ(points.owner, "spPoints");
    EXPECT_EQ(points.control, Control::SpinBox);
    EXPECT_EQ(points.defaultNumber, 400);
    EXPECT_EQ(SettingsKeys::entry(Key::KB).owner, "rbKBytes");
    EXPECT_EQ(SettingsKeys::entry(Key::KB).group, RadioGroup::Units);
    EXPECT_EQ(SettingsKeys::entry(Key::Cap).owner, "cbCaptured");
    EXPECT_EQ(SettingsKeys::entry(Key::Formatt).owner, "edFormat");
    EXPECT_EQ(SettingsKeys::entry(Key::Run).control, Control::ToolToggle);
    EXPECT_EQ(SettingsKeys::entry(Key::Port).control, Control::Variable);
    EXPECT_EQ(SettingsKeys::entry(Key::Title).type, ValueType::TitleText);
    EXPECT_EQ(SettingsKeys::entry(Key::Title).defaultText, "Bandwidth graph of^");
    EXPECT_EQ(SettingsKeys::entry(Key::Pass).type, ValueType::ScrambledText);
    EXPECT_EQ(SettingsKeys::entry(Key::Time).owner, "DateTimePicker1");
    // Start at login is opt-in: a file without the key leaves it off.
    EXPECT_EQ(SettingsKeys::entry(Key::AutoStart).owner, "cbAutoStart");
    EXPECT_EQ(SettingsKeys::entry(Key::AutoStart).control, Control::CheckBox);
    EXPECT_FALSE(SettingsKeys::defaultOn(Key::AutoStart));
    // The fitted axis and the bit units join their radio groups, off at first.
    EXPECT_EQ(SettingsKeys::entry(Key::Fit).owner, "rbFit");
    EXPECT_EQ(SettingsKeys::entry(Key::Fit).group, RadioGroup::AxisFollows);
    EXPECT_FALSE(SettingsKeys::defaultOn(Key::Fit));
    EXPECT_EQ(SettingsKeys::entry(Key::Kbits).owner, "rbKbits");
    EXPECT_EQ(SettingsKeys::entry(Key::Mbits).owner, "rbMbits");
    EXPECT_EQ(SettingsKeys::entry(Key::Kbits).group, RadioGroup::Units);
    EXPECT_EQ(SettingsKeys::entry(Key::Mbits).group, RadioGroup::Units);
    EXPECT_FALSE(SettingsKeys::defaultOn(Key::Kbits));
    EXPECT_FALSE(SettingsKeys::defaultOn(Key::Mbits));
    // The documents for other programs are opt-in, each with its own switch.
    EXPECT_EQ(SettingsKeys::entry(Key::Metrics).owner, "cbMetrics");
    EXPECT_EQ(SettingsKeys::entry(Key::JsonApi).owner, "cbJsonApi");
    EXPECT_EQ(SettingsKeys::entry(Key::Metrics).control, Control::CheckBox);
    EXPECT_EQ(SettingsKeys::entry(Key::JsonApi).control, Control::CheckBox);
    EXPECT_FALSE(SettingsKeys::defaultOn(Key::Metrics));
    EXPECT_FALSE(SettingsKeys::defaultOn(Key::JsonApi));
    // Traffic per application is on unless turned off.
    EXPECT_EQ(SettingsKeys::entry(Key::AppTraffic).owner, "cbAppTraffic");
    EXPECT_EQ(SettingsKeys::entry(Key::AppTraffic).control, Control::CheckBox);
    EXPECT_TRUE(SettingsKeys::defaultOn(Key::AppTraffic));
    // The live page at "/" is served unless turned off.
    EXPECT_EQ(SettingsKeys::entry(Key::LivePage).owner, "cbLivePage");
    EXPECT_EQ(SettingsKeys::entry(Key::LivePage).control, Control::CheckBox);
    EXPECT_TRUE(SettingsKeys::defaultOn(Key::LivePage));

    EXPECT_EQ(SettingsKeys::find("points"), Key::Points);
    EXPECT_EQ(SettingsKeys::find("BTN3D"), Key::Btn3D);
    EXPECT_EQ(SettingsKeys::find("LastTotalIn0"), std::nullopt);
    EXPECT_EQ(SettingsKeys::find("Point"), std::nullopt);
}

TEST(SettingsKeys, ValuesAreLimitedToTheirControls)
{
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Points, 5), 10);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Points, 20000), 10000);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Points, 400), 400);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Pages, 300), 255);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Pages, -1), 0);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Alpha, 0), 80);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::SpPercent, 201), 200);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Height, 149), 150);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Width, 2001), 2000);
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Max, -50), -50); // no limit
    EXPECT_EQ(SettingsKeys::limitToRange(Key::Port, 99999), 99999);

    // "Month" 40 selects no day, and so does "URL" -1 for the interface list.
    EXPECT_EQ(SettingsKeys::listSelection(40, 29), -1);
    EXPECT_EQ(SettingsKeys::listSelection(29, 29), -1);
    EXPECT_EQ(SettingsKeys::listSelection(28, 29), 28);
    EXPECT_EQ(SettingsKeys::listSelection(-1, 3), -1);
    EXPECT_EQ(SettingsKeys::listSelection(0, 0), -1);
    EXPECT_EQ(SettingsKeys::listSelection(0, 3), 0);
}

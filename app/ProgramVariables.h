#pragma once

#include "app/ini/SettingsKeys.h"

#include <cstdint>
#include <string>

namespace flowloom::app {

// Settings held by the main window outside its controls, at their first-run
// values from the key table until the settings are applied.
struct ProgramVariables
{
    using K = SettingsKeys;

    int URL = K::defaultInt(Key::URL);           // saved interface position
    int ServerIP = K::defaultInt(Key::ServerIP); // saved listening-address position
    bool First = K::defaultOn(Key::First);
    bool Default = K::defaultOn(Key::Default); // series in their initial drawing order
    bool Lower = K::defaultOn(Key::Lower);     // reserved: read and written back unchanged
    bool Auth = K::defaultOn(Key::Auth);
    std::string User{K::defaultText(Key::User)};
    std::string Pass{K::defaultText(Key::Pass)}; // plain in memory
    int Port = K::defaultInt(Key::Port);
    // "Web" as the user left "Activate server". A start that fails unticks the
    // box but leaves this on, so a port busy for a moment does not switch the
    // server off for good: the next start tries again.
    bool WebWanted = K::defaultOn(Key::Web);
    std::uint32_t Border = K::defaultColour(Key::Border);
    std::uint32_t Plot = K::defaultColour(Key::Plot);
    std::uint32_t PlotUp = K::defaultColour(Key::PlotUp);
    std::uint32_t Back = K::defaultColour(Key::Back);
    std::uint32_t Grid = K::defaultColour(Key::Grid);
    std::uint32_t WebColour = K::defaultColour(Key::WebColour);
    int WebSize = K::defaultInt(Key::WebSize);
    int WebStyle = K::defaultInt(Key::WebStyle);
    std::string WebName{K::defaultText(Key::WebName)};
    // Held by the graph: axes text colour and title font.
    std::uint32_t Left = K::defaultColour(Key::Left);
    std::uint32_t TitleColour = K::defaultColour(Key::Colour);
    std::string FontName{K::defaultText(Key::FontName)};
    int FontSize = K::defaultInt(Key::FontSize);
    int FontStyle = K::defaultInt(Key::FontStyle);
};

} // namespace flowloom::app

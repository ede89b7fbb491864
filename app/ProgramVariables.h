#pragma once

#include <cstdint>
#include <string>

namespace flowloom::app {

// Settings held by the main window outside its controls.
struct ProgramVariables
{
    int URL = 0;      // saved interface position
    int ServerIP = 0; // saved listening-address position
    bool First = true;
    bool Default = true; // series in their initial drawing order
    bool Lower = false;  // reserved: read and written back unchanged
    bool Auth = false;
    std::string User;
    std::string Pass; // plain in memory
    int Port = 80;
    std::uint32_t Border = 0x000000;
    std::uint32_t Plot = 0x00FF00;
    std::uint32_t PlotUp = 0x00FFFF;
    std::uint32_t Back = 0x000000;
    std::uint32_t Grid = 0x808080;
    std::uint32_t WebColour = 0x000000;
    int WebSize = 10;
    int WebStyle = 0;
    std::string WebName = "Arial";
    // Held by the graph: axes text colour and title font.
    std::uint32_t Left = 0xFFFFFF;
    std::uint32_t TitleColour = 0xFFFFFF;
    std::string FontName = "Arial";
    int FontSize = 10;
    int FontStyle = 0;
};

} // namespace flowloom::app

#pragma once

#include <cstdint>
#include <string>

namespace flowloom::web {

// The font the statistics image is drawn with, as the settings file keeps it.
struct WebFont
{
    std::string name = "Arial";
    int pointSize = 10;
    int style = 0;            // 1 bold, 2 italic, 4 underline, 8 strike-out
    std::uint32_t colour = 0; // 0x00BBGGRR
};

} // namespace flowloom::web

#pragma once

#include "web/documents/WebFont.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>

namespace flowloom::web {

// The formatted statistics drawn as a picture in the web font, ready for the
// image encoders.
class StatisticsImage
{
public:
    struct Drawing
    {
        QImage image;   // Format_RGB32, white background
        QString label1; // "[W x H]   [W x H]" for the tab's Label1
    };

    // formattedText: the formatted statistics document; downloadSince: the
    // download total's since-text, which sets the width. Nothing when the
    // picture cannot be made (a font too large for any sensible bitmap, or no
    // memory for it).
    static std::optional<Drawing> draw(const WebFont& font, std::string_view formattedText,
                                       std::string_view downloadSince);

    // The web font as Qt sees it: style bits 1 bold, 2 italic, 4 underline,
    // 8 strike-out.
    static QFont qFont(const WebFont& font);
    // A stored 0x00BBGGRR colour.
    static QColor qColor(std::uint32_t colour);
};

} // namespace flowloom::web

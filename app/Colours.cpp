#include "app/Colours.h"

#include <QGuiApplication>
#include <QPalette>

namespace flowloom::app {

QColor toQColor(std::uint32_t colour)
{
    if ((colour & 0xFF000000u) == 0xFF000000u) {
        const QPalette palette = QGuiApplication::palette();
        switch (colour & 0xFFu) {
        case 5:  // window
        case 24: // info background
            return palette.color(QPalette::Base);
        case 8:  // window text
        case 7:  // menu text
        case 18: // button text
        case 23: // info text
            return palette.color(QPalette::Text);
        case 13:
            return palette.color(QPalette::Highlight);
        case 14:
            return palette.color(QPalette::HighlightedText);
        case 17:
            return palette.color(QPalette::PlaceholderText);
        default:
            return palette.color(QPalette::Button);
        }
    }
    if (colour == 0x1FFFFFFFu || colour == 0x20000000u) // none, default
        return QColor(Qt::transparent);
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

std::uint32_t fromQColor(const QColor& colour)
{
    return static_cast<std::uint32_t>(colour.red()) |
           static_cast<std::uint32_t>(colour.green()) << 8 |
           static_cast<std::uint32_t>(colour.blue()) << 16;
}

QFont makeFont(const std::string& name, int pointSize, int bits)
{
    QFont font(QString::fromStdString(name), pointSize > 0 ? pointSize : 10);
    font.setBold((bits & 1) != 0);
    font.setItalic((bits & 2) != 0);
    font.setUnderline((bits & 4) != 0);
    font.setStrikeOut((bits & 8) != 0);
    return font;
}

int styleBits(const QFont& font)
{
    return (font.bold() ? 1 : 0) | (font.italic() ? 2 : 0) | (font.underline() ? 4 : 0) |
           (font.strikeOut() ? 8 : 0);
}

} // namespace flowloom::app

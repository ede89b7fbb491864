#include "app/ini/ValueCodec.h"

#include "sampling/DateTimeText.h"
#include "sampling/IntegerText.h"

#include <array>
#include <cstdio>
#include <span>

namespace flowloom::app {

namespace {

struct NamedColour
{
    std::string_view name;
    Colour value;
};

// The plain colours: the only names the program writes.
constexpr std::array<NamedColour, 20> kPlainColours = {{
    {"clBlack", 0x00000000}, {"clMaroon", 0x00000080},     {"clGreen", 0x00008000},
    {"clOlive", 0x00008080}, {"clNavy", 0x00800000},       {"clPurple", 0x00800080},
    {"clTeal", 0x00808000},  {"clGray", 0x00808080},       {"clSilver", 0x00C0C0C0},
    {"clRed", 0x000000FF},   {"clLime", 0x0000FF00},       {"clYellow", 0x0000FFFF},
    {"clBlue", 0x00FF0000},  {"clFuchsia", 0x00FF00FF},    {"clAqua", 0x00FFFF00},
    {"clWhite", 0x00FFFFFF}, {"clMoneyGreen", 0x00C0DCC0}, {"clSkyBlue", 0x00F0CAA6},
    {"clCream", 0x00F0FBFF}, {"clMedGray", 0x00A4A0A0},
}};

constexpr Colour kSystemColour = 0xFF000000;

// Names accepted on reading only: the two special values and the desktop's
// system colours (0xFF000000 plus the system colour number).
constexpr std::array<NamedColour, 32> kOtherColours = {{
    {"clNone", kColourNone},
    {"clDefault", kColourDefault},
    {"clScrollBar", kSystemColour + 0},
    {"clBackground", kSystemColour + 1},
    {"clActiveCaption", kSystemColour + 2},
    {"clInactiveCaption", kSystemColour + 3},
    {"clMenu", kSystemColour + 4},
    {"clWindow", kSystemColour + 5},
    {"clWindowFrame", kSystemColour + 6},
    {"clMenuText", kSystemColour + 7},
    {"clWindowText", kSystemColour + 8},
    {"clCaptionText", kSystemColour + 9},
    {"clActiveBorder", kSystemColour + 10},
    {"clInactiveBorder", kSystemColour + 11},
    {"clAppWorkSpace", kSystemColour + 12},
    {"clHighlight", kSystemColour + 13},
    {"clHighlightText", kSystemColour + 14},
    {"clBtnFace", kSystemColour + 15},
    {"clBtnShadow", kSystemColour + 16},
    {"clGrayText", kSystemColour + 17},
    {"clBtnText", kSystemColour + 18},
    {"clInactiveCaptionText", kSystemColour + 19},
    {"clBtnHighlight", kSystemColour + 20},
    {"cl3DDkShadow", kSystemColour + 21},
    {"cl3DLight", kSystemColour + 22},
    {"clInfoText", kSystemColour + 23},
    {"clInfoBk", kSystemColour + 24},
    {"clHotLight", kSystemColour + 26},
    {"clGradientActiveCaption", kSystemColour + 27},
    {"clGradientInactiveCaption", kSystemColour + 28},
    {"clMenuHighlight", kSystemColour + 29},
    {"clMenuBar", kSystemColour + 30},
}};

bool sameNameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

std::optional<std::int32_t> ValueCodec::readInt(std::string_view text)
{
    return sampling::IntegerText::readInt(text);
}

std::optional<std::uint64_t> ValueCodec::readTotal(std::string_view text)
{
    return sampling::IntegerText::readTotal(text);
}

std::optional<bool> ValueCodec::readBool(std::string_view text)
{
    const auto value = readInt(text);
    if (!value)
        return std::nullopt;
    return *value != 0;
}

std::optional<int> ValueCodec::readFontStyle(std::string_view text)
{
    const auto value = readInt(text);
    if (!value)
        return std::nullopt;
    return *value & 15;
}

std::optional<Colour> ValueCodec::readColour(std::string_view text)
{
    for (const auto& table : {std::span<const NamedColour>(kPlainColours),
                              std::span<const NamedColour>(kOtherColours)}) {
        for (const NamedColour& named : table) {
            if (sameNameIgnoringCase(named.name, text))
                return named.value;
        }
    }
    const auto value = readInt(text);
    if (!value)
        return std::nullopt;
    return static_cast<Colour>(*value);
}

std::optional<sampling::DateTime> ValueCodec::readDateTime(std::string_view text)
{
    return sampling::DateTimeText::fromText(text);
}

std::string ValueCodec::writeInt(std::int64_t value)
{
    return std::to_string(value);
}

std::string ValueCodec::writeTotal(std::uint64_t value)
{
    return std::to_string(value);
}

std::string ValueCodec::writeBool(bool value)
{
    return value ? "1" : "0";
}

std::string ValueCodec::writeFontStyle(int style)
{
    return std::to_string(style & 15);
}

std::optional<std::string_view> ValueCodec::colourName(Colour colour)
{
    for (const NamedColour& named : kPlainColours) {
        if (named.value == colour)
            return named.name;
    }
    return std::nullopt;
}

std::string ValueCodec::writeColour(Colour colour)
{
    if (const auto name = colourName(colour))
        return std::string(*name);
    char text[16];
    std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(colour));
    return text;
}

std::string ValueCodec::writeDateTime(const sampling::DateTime& dt)
{
    return sampling::DateTimeText::toText(dt);
}

std::string ValueCodec::titleToStored(std::string_view title)
{
    std::string stored(title);
    for (char& c : stored) {
        if (c == ' ')
            c = '^';
    }
    return stored;
}

std::string ValueCodec::titleFromStored(std::string_view stored)
{
    std::string title(stored);
    for (char& c : title) {
        if (c == '^')
            c = ' ';
    }
    return title;
}

std::string ValueCodec::EnDeCrypt(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(255 - static_cast<unsigned char>(c));
    return result;
}

} // namespace flowloom::app

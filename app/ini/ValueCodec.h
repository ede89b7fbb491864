#pragma once

#include "sampling/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flowloom::app {

// A colour as the settings file knows it: 0x00BBGGRR for plain colours (red
// in the low byte), 0xFF0000nn for the desktop's system colour n, and the two
// special values below.
using Colour = std::uint32_t;

inline constexpr Colour kColourNone = 0x1FFFFFFF;
inline constexpr Colour kColourDefault = 0x20000000;

// Bits of a stored font style.
enum class FontStyleBit : int {
    Bold = 1,
    Italic = 2,
    Underline = 4,
    StrikeOut = 8,
};

// The texts of the settings file's values, both ways. Readers return nothing
// for text they cannot convert; the caller then uses the key's default.
class ValueCodec
{
public:
    // The integer rule: optional sign, then decimal digits, or hexadecimal
    // digits after "$" or after "0x"/"0X" (the prefix alone is no number).
    // Decimal must fit 32 signed bits; hexadecimal may use all 32 bits and is
    // taken as their two's complement ("$FFFFFFFF" is -1).
    static std::optional<std::int32_t> readInt(std::string_view text);
    // A stored cumulative total by the integer rule, unsigned 64-bit. A value
    // past the 64-bit range is the largest total; a negative one, which only an
    // older file whose 32-bit total wrapped past 2 GiB can hold, is its 32-bit
    // unsigned value (-5 is 4,294,967,291). Nothing for text that is no integer.
    static std::optional<std::uint64_t> readTotal(std::string_view text);
    // Read by the integer rule; any non-zero value is true.
    static std::optional<bool> readBool(std::string_view text);
    // Read by the integer rule; the four lowest bits are the style.
    static std::optional<int> readFontStyle(std::string_view text);
    // A colour name of the colour table (any case), or a number: decimal in
    // 32 signed bits, or hexadecimal by the integer rule.
    static std::optional<Colour> readColour(std::string_view text);
    static std::optional<sampling::DateTime> readDateTime(std::string_view text);

    static std::string writeInt(std::int64_t value);
    static std::string writeTotal(std::uint64_t value);
    static std::string writeBool(bool value);
    static std::string writeFontStyle(int style);
    // A name of the plain colour table when the value is one of them, else
    // "$" and 8 upper-case hexadecimal digits.
    static std::string writeColour(Colour colour);
    static std::string writeDateTime(const sampling::DateTime& dt);

    // The title is stored with its spaces as "^".
    static std::string titleToStored(std::string_view title);
    static std::string titleFromStored(std::string_view stored);

    // The password's scrambling, its own inverse: each byte c becomes 255 - c.
    static std::string EnDeCrypt(std::string_view text);

    // The name a colour is written with, if it has one.
    static std::optional<std::string_view> colourName(Colour colour);
};

} // namespace flowloom::app

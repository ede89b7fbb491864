#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace flowloom::sampling {

// The integer rule of stored and typed numbers: optional sign, then decimal
// digits, or hexadecimal digits after "$" or after "0x"/"0X" (the prefix
// alone is no number). Nothing for text that is no integer.
class IntegerText
{
public:
    // Decimal must fit 32 signed bits; hexadecimal may use all 32 bits and is
    // taken as their two's complement ("$FFFFFFFF" is -1).
    static std::optional<std::int32_t> readInt(std::string_view text);
    // Unsigned 64-bit. A value past the 64-bit range is the largest; a
    // negative one is its 32-bit unsigned value (-5 is 4,294,967,291).
    static std::optional<std::uint64_t> readTotal(std::string_view text);
};

} // namespace flowloom::sampling

#include "sampling/IntegerText.h"

#include <limits>

namespace flowloom::sampling {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct Number
{
    bool negative = false;
    bool hexadecimal = false;
    std::uint64_t magnitude = 0;
    bool overflowed = false;     // the digits went past 64 bits; magnitude is then the largest
    std::uint32_t low32Bits = 0; // the magnitude modulo 2^32, exact even past 64 bits
};

// Sign, prefix and digits; nothing when a character is left over, or (unless
// `saturate`) when the magnitude would not fit 64 unsigned bits.
std::optional<Number> scanNumber(std::string_view text, bool saturate = false)
{
    Number number;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        number.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.starts_with('$')) {
        number.hexadecimal = true;
        text.remove_prefix(1);
    } else if (text.size() > 2 && (text.starts_with("0x") || text.starts_with("0X"))) {
        number.hexadecimal = true;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    const unsigned base = number.hexadecimal ? 16 : 10;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    for (const char c : text) {
        const int digit = hexDigit(c);
        if (digit < 0 || static_cast<unsigned>(digit) >= base)
            return std::nullopt;
        number.low32Bits = number.low32Bits * base + static_cast<unsigned>(digit);
        if (number.overflowed)
            continue;
        if (number.magnitude > (kMax - static_cast<unsigned>(digit)) / base) {
            if (!saturate)
                return std::nullopt;
            number.overflowed = true;
            number.magnitude = kMax;
            continue;
        }
        number.magnitude = number.magnitude * base + static_cast<unsigned>(digit);
    }
    return number;
}

// Decimal within [min, max] of the signed type; hexadecimal within the
// unsigned type of the same width, taken as its two's complement.
template <typename Signed, typename Unsigned> std::optional<Signed> toSigned(const Number& number)
{
    if (number.hexadecimal) {
        if (number.magnitude > std::numeric_limits<Unsigned>::max())
            return std::nullopt;
        Unsigned bits = static_cast<Unsigned>(number.magnitude);
        if (number.negative)
            bits = static_cast<Unsigned>(Unsigned{0} - bits);
        return static_cast<Signed>(bits);
    }
    const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<Signed>::max());
    if (number.negative) {
        if (number.magnitude > limit + 1)
            return std::nullopt;
        return number.magnitude == limit + 1
                   ? std::numeric_limits<Signed>::min()
                   : static_cast<Signed>(-static_cast<Signed>(number.magnitude));
    }
    if (number.magnitude > limit)
        return std::nullopt;
    return static_cast<Signed>(number.magnitude);
}

} // namespace

std::optional<std::int32_t> IntegerText::readInt(std::string_view text)
{
    const auto number = scanNumber(text);
    if (!number)
        return std::nullopt;
    return toSigned<std::int32_t, std::uint32_t>(*number);
}

std::optional<std::uint64_t> IntegerText::readTotal(std::string_view text)
{
    const auto number = scanNumber(text, /*saturate=*/true);
    if (!number)
        return std::nullopt;
    if (number->negative)
        return std::uint32_t{0} - number->low32Bits;
    return number->magnitude;
}

} // namespace flowloom::sampling

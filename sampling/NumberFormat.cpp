#include "sampling/NumberFormat.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>

namespace flowloom::sampling {

namespace {
long double powerOfTen(int n)
{
    long double p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

int integerDigits(long double magnitude)
{
    int digits = 1;
    for (long double limit = 10; magnitude >= limit && digits < 40; limit *= 10)
        ++digits;
    return digits;
}
} // namespace

std::string fmt(long double x, int decimals)
{
    if (!std::isfinite(x))
        return "0";
    decimals = std::clamp(decimals, 0, 18);
    const bool negative = x < 0;
    const long double magnitude = std::fabs(x);
    const int shownDecimals = std::clamp(12 - integerDigits(std::round(magnitude)), 0, decimals);
    const long double scale = powerOfTen(shownDecimals);
    const long double scaled = std::round(magnitude * scale); // half away from zero

    // Integer digits without printf's long double path, which is most of a
    // hidden window's tick; only values past 64 bits take it.
    char digits[64];
    if (scaled < 18446744073709551616.0L) {
        const auto result = std::to_chars(digits, digits + sizeof digits - 1,
                                          static_cast<std::uint64_t>(scaled));
        *result.ptr = '\0';
    } else {
        std::snprintf(digits, sizeof digits, "%.0Lf", scaled);
    }
    std::string all = digits;
    if (static_cast<int>(all.size()) <= shownDecimals)
        all.insert(0, static_cast<std::size_t>(shownDecimals + 1) - all.size(), '0');
    const std::string whole = all.substr(0, all.size() - static_cast<std::size_t>(shownDecimals));
    std::string fraction = all.substr(whole.size());
    fraction.append(static_cast<std::size_t>(decimals - shownDecimals), '0');

    std::string text;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0)
            text += ',';
        text += whole[i];
    }
    if (decimals > 0)
        text += '.' + fraction;
    const bool isZero = std::all_of(all.begin(), all.end(), [](char c) { return c == '0'; });
    if (negative && !isZero)
        text.insert(0, 1, '-');
    return text;
}

std::string withoutThousands(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (char c : text)
        if (c != ',')
            result += c;
    return result;
}

} // namespace flowloom::sampling

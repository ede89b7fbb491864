#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace flowloom::sampling {

// The unit a rate is shown in. Bytes and KBytes are the graph's original
// units (a KB is 1024 bytes); kbit/s and Mbit/s count decimal bits (1000 and
// 1,000,000 bits a second), the way providers sell bandwidth.
enum class RateUnit : std::uint8_t { Bytes, KBytes, Kbits, Mbits };

constexpr bool isBitUnit(RateUnit unit)
{
    return unit == RateUnit::Kbits || unit == RateUnit::Mbits;
}

// Bytes a second that make one of the unit: 1, 1024, 125 (1000 bits / 8) and
// 125,000. A rate in bytes a second divided by it is the shown value.
double bytesPerUnit(RateUnit unit);

// The unit's short name after a rate: "B/s", "KB/s", "kbit/s", "Mbit/s".
std::string_view rateSuffix(RateUnit unit);

// The vertical axis label for the unit: "Bytes / sec", "KBytes / sec",
// "kbit / sec", "Mbit / sec".
std::string_view axisLabel(RateUnit unit);

// A rate given in bytes a second, shown in the unit with thousands separators,
// its decimals (none for bytes, 1 for KB/s and kbit/s, 2 for Mbit/s) and
// suffix: 2048 bytes a second is "2.0 KB/s", "16.4 kbit/s" or "0.02 Mbit/s".
std::string rateText(long double bytesPerSecond, RateUnit unit);

// The longest rate text the unit can produce: a 32-bit counter difference at
// its largest. A panel this wide never cuts a rate.
std::string widestRateText(RateUnit unit);

} // namespace flowloom::sampling

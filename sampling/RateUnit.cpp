#include "sampling/RateUnit.h"

#include "sampling/ByteUnits.h"
#include "sampling/NumberFormat.h"

#include <limits>

namespace flowloom::sampling {

namespace {
int decimalsOf(RateUnit unit)
{
    switch (unit) {
    case RateUnit::Bytes:
        return 0;
    case RateUnit::KBytes:
    case RateUnit::Kbits:
        return 1;
    case RateUnit::Mbits:
        return 2;
    }
    return 0;
}
} // namespace

double bytesPerUnit(RateUnit unit)
{
    switch (unit) {
    case RateUnit::Bytes:
        return 1.0;
    case RateUnit::KBytes:
        return static_cast<double>(kKiB);
    case RateUnit::Kbits:
        return 1000.0 / 8.0;
    case RateUnit::Mbits:
        return 1000000.0 / 8.0;
    }
    return 1.0;
}

std::string_view rateSuffix(RateUnit unit)
{
    switch (unit) {
    case RateUnit::Bytes:
        return "B/s";
    case RateUnit::KBytes:
        return "KB/s";
    case RateUnit::Kbits:
        return "kbit/s";
    case RateUnit::Mbits:
        return "Mbit/s";
    }
    return "B/s";
}

std::string_view axisLabel(RateUnit unit)
{
    switch (unit) {
    case RateUnit::Bytes:
        return "Bytes / sec";
    case RateUnit::KBytes:
        return "KBytes / sec";
    case RateUnit::Kbits:
        return "kbit / sec";
    case RateUnit::Mbits:
        return "Mbit / sec";
    }
    return "Bytes / sec";
}

std::string rateText(long double bytesPerSecond, RateUnit unit)
{
    return fmt(bytesPerSecond / static_cast<long double>(bytesPerUnit(unit)), decimalsOf(unit)) +
           " " + std::string(rateSuffix(unit));
}

std::string widestRateText(RateUnit unit)
{
    return rateText(static_cast<long double>(std::numeric_limits<std::uint32_t>::max()), unit);
}

} // namespace flowloom::sampling

#include "chart/TimeLabel.h"

namespace flowloom::chart {

TimeLabel TimeLabel::fromHms(int hour, int minute, int second)
{
    const long total = static_cast<long>(hour) * 3600 + static_cast<long>(minute) * 60 + second;
    const long day = static_cast<long>(secondsPerDay);
    return TimeLabel(static_cast<std::uint32_t>(((total % day) + day) % day));
}

std::string TimeLabel::text() const
{
    const std::uint32_t h = m_seconds / 3600;
    const std::uint32_t m = (m_seconds / 60) % 60;
    const std::uint32_t s = m_seconds % 60;
    std::string out = "  00:00:00  ";
    out[2] = static_cast<char>('0' + h / 10);
    out[3] = static_cast<char>('0' + h % 10);
    out[5] = static_cast<char>('0' + m / 10);
    out[6] = static_cast<char>('0' + m % 10);
    out[8] = static_cast<char>('0' + s / 10);
    out[9] = static_cast<char>('0' + s % 10);
    return out;
}

} // namespace flowloom::chart

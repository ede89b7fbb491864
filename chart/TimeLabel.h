#pragma once

#include <cstdint>
#include <string>

namespace flowloom::chart {

// The label of a point: its time of addition as seconds since midnight. The
// text is made only when a label is drawn, so a point stores four bytes
// instead of a string.
class TimeLabel
{
public:
    static constexpr std::uint32_t secondsPerDay = 24 * 60 * 60;

    constexpr TimeLabel() = default;
    // Seconds beyond one day wrap, so any stored value reads as a valid time.
    constexpr explicit TimeLabel(std::uint32_t secondsOfDay)
        : m_seconds(secondsOfDay % secondsPerDay)
    {}
    static TimeLabel fromHms(int hour, int minute, int second);

    constexpr std::uint32_t secondsOfDay() const { return m_seconds; }
    // Two spaces, hh:mm:ss, two spaces; hours 00 to 23.
    std::string text() const;

    constexpr bool operator==(const TimeLabel&) const = default;

private:
    std::uint32_t m_seconds = 0;
};

} // namespace flowloom::chart

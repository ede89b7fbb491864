#pragma once

#include <compare>
#include <cstdint>

namespace flowloom::sampling {

// A local wall-clock date and time to the second. Wall time is used only for
// labels, names, reset stamps and the monthly reset; intervals use steady_clock.
struct DateTime
{
    int year = 1899;
    int month = 12; // 1..12
    int day = 30;   // 1..31
    int hour = 0;   // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..59

    auto operator<=>(const DateTime&) const = default;
};

bool isLeapYear(int year);
int daysInMonth(int year, int month);
// 0 = Sunday .. 6 = Saturday.
int dayOfWeek(const DateTime& dt);
bool isValid(const DateTime& dt);
// Seconds since 1970-01-01 00:00:00 of the same calendar (no time zone involved).
std::int64_t toSerialSeconds(const DateTime& dt);
DateTime fromSerialSeconds(std::int64_t seconds);

// Source of the local date and time, and of the time between two events (a
// steady count that wall-clock steps do not move); tests inject a manual one.
class WallClock
{
public:
    virtual ~WallClock() = default;
    virtual DateTime now() const = 0;
    virtual std::int64_t steadyMilliseconds() const = 0;
};

class SystemWallClock final : public WallClock
{
public:
    DateTime now() const override;
    std::int64_t steadyMilliseconds() const override;
};

} // namespace flowloom::sampling

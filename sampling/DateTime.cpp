#include "sampling/DateTime.h"

#include <chrono>
#include <ctime>

namespace flowloom::sampling {

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

namespace {
// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
} // namespace

int dayOfWeek(const DateTime& dt)
{
    const std::int64_t days = daysFromCivil(dt.year, dt.month, dt.day);
    // 1970-01-01 was a Thursday (4).
    return static_cast<int>(((days % 7) + 7 + 4) % 7);
}

bool isValid(const DateTime& dt)
{
    return dt.month >= 1 && dt.month <= 12 && dt.day >= 1 &&
           dt.day <= daysInMonth(dt.year, dt.month) && dt.hour >= 0 && dt.hour <= 23 &&
           dt.minute >= 0 && dt.minute <= 59 && dt.second >= 0 && dt.second <= 59;
}

std::int64_t toSerialSeconds(const DateTime& dt)
{
    return daysFromCivil(dt.year, dt.month, dt.day) * 86400 + dt.hour * 3600 + dt.minute * 60 +
           dt.second;
}

DateTime fromSerialSeconds(std::int64_t seconds)
{
    std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    std::int64_t rest = seconds - days * 86400;
    // Inverse of daysFromCivil.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    DateTime dt;
    dt.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    dt.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    dt.year = static_cast<int>(yoe + era * 400 + (dt.month <= 2));
    dt.hour = static_cast<int>(rest / 3600);
    dt.minute = static_cast<int>(rest / 60 % 60);
    dt.second = static_cast<int>(rest % 60);
    return dt;
}

DateTime SystemWallClock::now() const
{
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                    local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::int64_t SystemWallClock::steadyMilliseconds() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace flowloom::sampling

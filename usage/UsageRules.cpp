#include "usage/UsageRules.h"

#include "sampling/RunControl.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace flowloom::usage {

std::string dayKey(const DateTime& local)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local.year % 10000, local.month % 100,
                  local.day % 100);
    return text;
}

std::string monthKey(std::string_view day)
{
    return std::string(day.substr(0, 7));
}

std::optional<DateTime> parseDayKey(std::string_view key)
{
    if (key.size() != 10 || key[4] != '-' || key[7] != '-')
        return std::nullopt;
    auto number = [&](std::size_t from, std::size_t count) {
        int value = 0;
        for (std::size_t i = from; i < from + count; ++i) {
            if (key[i] < '0' || key[i] > '9')
                return -1;
            value = value * 10 + (key[i] - '0');
        }
        return value;
    };
    const DateTime date{number(0, 4), number(5, 2), number(8, 2), 0, 0, 0};
    if (date.year < 0 || !sampling::isValid(date))
        return std::nullopt;
    return date;
}

DateTime addDays(const DateTime& local, int days)
{
    const DateTime midnight{local.year, local.month, local.day, 0, 0, 0};
    return sampling::fromSerialSeconds(sampling::toSerialSeconds(midnight) +
                                       std::int64_t{days} * 86400);
}

std::string momentKey(const DateTime& local)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.year % 10000,
                  local.month % 100, local.day % 100, local.hour % 100, local.minute % 100,
                  local.second % 100);
    return text;
}

std::int64_t SystemZone::toInstant(const DateTime& local) const
{
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1; // whichever applies at that moment
    return static_cast<std::int64_t>(std::mktime(&tm));
}

DateTime SystemZone::toLocal(std::int64_t instant) const
{
    const std::time_t t = static_cast<std::time_t>(instant);
    std::tm local{};
    localtime_r(&t, &local);
    return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                    local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::int64_t secondsBetween(const LocalZone& zone, const DateTime& from, const DateTime& to)
{
    return zone.toInstant(to) - zone.toInstant(from);
}

namespace {

DateTime startInMonth(const BillingRule& rule, int year, int month)
{
    if (!rule.automatic)
        return DateTime{year, month, 1, 0, 0, 0};
    const int day = sampling::resetDayOfMonth(rule.dayItem, year, month);
    return DateTime{year, month, day > 0 ? day : 1, rule.hour, rule.minute, rule.second};
}

void stepMonth(int& year, int& month, int by)
{
    const int index = year * 12 + (month - 1) + by;
    year = index / 12;
    month = index % 12 + 1;
}

} // namespace

BillingPeriod billingPeriodAt(const BillingRule& rule, const DateTime& now)
{
    int year = now.year;
    int month = now.month;
    DateTime start = startInMonth(rule, year, month);
    if (now < start) {
        stepMonth(year, month, -1);
        start = startInMonth(rule, year, month);
    }
    stepMonth(year, month, 1);
    return {start, startInMonth(rule, year, month)};
}

BillingPeriod previousPeriod(const BillingRule& rule, const BillingPeriod& period)
{
    return billingPeriodAt(
        rule, sampling::fromSerialSeconds(sampling::toSerialSeconds(period.start) - 1));
}

std::uint64_t projectToEnd(std::uint64_t used, std::int64_t elapsedSeconds,
                           std::int64_t lengthSeconds)
{
    if (elapsedSeconds <= 0 || lengthSeconds <= elapsedSeconds)
        return used;
    const long double projected = static_cast<long double>(used) *
                                  static_cast<long double>(lengthSeconds) /
                                  static_cast<long double>(elapsedSeconds);
    if (projected >= 18446744073709551615.0L)
        return UINT64_MAX;
    return static_cast<std::uint64_t>(projected + 0.5L);
}

double shareOfDayFrom(const LocalZone& zone, const DateTime& start)
{
    const DateTime midnight{start.year, start.month, start.day, 0, 0, 0};
    const double day = static_cast<double>(secondsBetween(zone, midnight, addDays(midnight, 1)));
    const double before = static_cast<double>(secondsBetween(zone, midnight, start));
    if (day <= 0.0)
        return 1.0;
    return std::clamp((day - before) / day, 0.0, 1.0);
}

} // namespace flowloom::usage

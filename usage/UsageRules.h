#pragma once

#include "sampling/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flowloom::usage {

using sampling::DateTime;

// The day a local moment's bytes are recorded under: "yyyy-mm-dd". A day runs
// from local midnight to local midnight, so it lasts 23 or 25 hours when the
// clocks change.
std::string dayKey(const DateTime& local);
// "yyyy-mm" of a day key or a local moment.
std::string monthKey(std::string_view dayKey);
// Midnight of a day key; nothing for text that is not a valid "yyyy-mm-dd".
std::optional<DateTime> parseDayKey(std::string_view dayKey);
// The calendar day `days` days after (or before) the date of `local`, at midnight.
DateTime addDays(const DateTime& local, int days);
// The moment as stored with a period: "yyyy-mm-dd hh:nn:ss".
std::string momentKey(const DateTime& local);

// Local date-times and real instants (seconds since 1970 UTC). The system
// zone follows the process's time zone; tests use a fixed one.
class LocalZone
{
public:
    virtual ~LocalZone() = default;
    virtual std::int64_t toInstant(const DateTime& local) const = 0;
    virtual DateTime toLocal(std::int64_t instant) const = 0;
};

class SystemZone final : public LocalZone
{
public:
    std::int64_t toInstant(const DateTime& local) const override;
    DateTime toLocal(std::int64_t instant) const override;
};

// A zone without clock changes whose local time is UTC (tests, benchmarks).
class UtcZone final : public LocalZone
{
public:
    std::int64_t toInstant(const DateTime& local) const override
    {
        return sampling::toSerialSeconds(local);
    }
    DateTime toLocal(std::int64_t instant) const override
    {
        return sampling::fromSerialSeconds(instant);
    }
};

// Real seconds from one local moment to another (a day with a clock change
// has 82,800 or 90,000 of them).
std::int64_t secondsBetween(const LocalZone& zone, const DateTime& from, const DateTime& to);

// When a billing period begins: with "Reset automatically" on, the chosen day
// of each month ("1st" .. "28th", "last day") at the chosen time of day;
// otherwise at midnight of the first of each calendar month.
struct BillingRule
{
    bool automatic = false;
    int dayItem = 0; // 0..27 for "1st" .. "28th", 28 for "last day"
    int hour = 0;
    int minute = 1;
    int second = 0;

    bool operator==(const BillingRule&) const = default;
};

// From start (included) to end (excluded).
struct BillingPeriod
{
    DateTime start;
    DateTime end;

    bool contains(const DateTime& moment) const { return start <= moment && moment < end; }
    bool operator==(const BillingPeriod&) const = default;
};

// The period that `now` falls in.
BillingPeriod billingPeriodAt(const BillingRule& rule, const DateTime& now);
// The period just before `period`.
BillingPeriod previousPeriod(const BillingRule& rule, const BillingPeriod& period);

// The period's usage at its end if it goes on at the rate it had so far; the
// usage itself while no time has passed.
std::uint64_t projectToEnd(std::uint64_t used, std::int64_t elapsedSeconds,
                           std::int64_t lengthSeconds);

// The share of the day of `start` that lies at or after it (0 < share <= 1):
// how much of that day's recorded bytes to count for a period beginning then,
// when nothing finer is known.
double shareOfDayFrom(const LocalZone& zone, const DateTime& start);

// Sum that stays at the largest value instead of wrapping.
inline std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b)
{
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

} // namespace flowloom::usage

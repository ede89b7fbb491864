#pragma once

#include "sampling/DateTime.h"

#include <cstdint>
#include <optional>

namespace flowloom::sampling {

// Items of the reset-day list: "1st" .. "28th" are 0..27, "last day" is 28.
inline constexpr int kLastDayItem = 28;

// Day of the month on which the chosen reset day falls in the given month, or 0.
int resetDayOfMonth(int dayItem, int year, int month);

// The automatic monthly reset of the cumulative totals. It fires on the first
// tick at or after the chosen moment of the chosen day: when that moment lies
// after the previous tick and at or before this one. Comparing texts to the
// second instead would skip the reset whenever a tick (a little longer than a
// second, and absent while plotting is stopped or the graph is held) jumps over
// that second, losing a whole month's reset.
class MonthlyReset
{
public:
    explicit MonthlyReset(const DateTime& startedAt) : m_previousTick(startedAt) {}

    // Called on every tick; the chosen moment when the reset is due on this
    // tick. A total whose last reset is at or after that moment is already
    // reset for it (resetCovers), so a clock stepped back and forward again,
    // or a restart, never resets one period twice.
    std::optional<DateTime> tick(bool enabled, int dayItem, int hour, int minute, int second,
                                 const DateTime& now);

private:
    DateTime m_previousTick;
    std::optional<DateTime> m_lastResetDay; // at most one reset per day
};

// Whether a total last reset at `lastReset` is already reset for `moment`.
inline bool resetCovers(const DateTime& lastReset, const DateTime& moment)
{
    return lastReset >= moment;
}

// The run stops or restarts when pages > 0 and pages × points < StopCount.
bool pageLimitReached(int pages, int pointsPerPage, std::int32_t stopCount);

} // namespace flowloom::sampling

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
    // tick. A total whose last reset lies between that moment and now is
    // already reset for it (resetCovers), so a clock stepped back and forward
    // again, or a restart, never resets one period twice.
    std::optional<DateTime> tick(bool enabled, int dayItem, int hour, int minute, int second,
                                 const DateTime& now);

private:
    DateTime m_previousTick;
    std::optional<DateTime> m_lastResetDay; // at most one reset per day
};

// Whether a total last reset at `lastReset` is already reset for `moment`, a
// reset moment that has come by `now`. A reset at or after the moment covers
// it, so a clock stepped back and forward again, or a restart, never resets one
// period twice; a reset stamped after `now` (under a clock that was ahead, or
// read from a file) is no reset of this period, since it has not happened yet.
inline bool resetCovers(const DateTime& lastReset, const DateTime& moment, const DateTime& now)
{
    return lastReset >= moment && lastReset <= now;
}

// A stored reset time this far after the clock is taken as no time at all.
inline constexpr std::int64_t kResetTimeAheadLimitSeconds = 24 * 60 * 60;

// Whether a reset time read from the settings lies more than a day after
// `now`: such a time comes from a clock that was wrong, or from an edited
// file, and is read as if it were missing.
bool resetTimeTooFarAhead(const DateTime& stored, const DateTime& now);

// The run stops or restarts when pages > 0 and pages × points < StopCount.
bool pageLimitReached(int pages, int pointsPerPage, std::int32_t stopCount);

} // namespace flowloom::sampling

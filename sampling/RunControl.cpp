#include "sampling/RunControl.h"

namespace flowloom::sampling {

int resetDayOfMonth(int dayItem, int year, int month)
{
    if (dayItem >= 0 && dayItem < kLastDayItem)
        return dayItem + 1;
    if (dayItem == kLastDayItem)
        return daysInMonth(year, month);
    return 0;
}

std::optional<DateTime> MonthlyReset::tick(bool enabled, int dayItem, int hour, int minute,
                                           int second, const DateTime& now)
{
    const DateTime previous = m_previousTick;
    m_previousTick = now;
    if (!enabled || now <= previous)
        return std::nullopt;
    const DateTime today{now.year, now.month, now.day, 0, 0, 0};
    if (m_lastResetDay && *m_lastResetDay == today)
        return std::nullopt;

    // Walk the months from the previous tick's to this one's (bounded: a gap of
    // more than a year still yields at most one reset).
    int year = previous.year;
    int month = previous.month;
    const int monthsApart = (now.year - year) * 12 + (now.month - month);
    if (monthsApart > 12) {
        const int start = now.year * 12 + (now.month - 1) - 12;
        year = start / 12;
        month = start % 12 + 1;
    }
    for (;;) {
        const int day = resetDayOfMonth(dayItem, year, month);
        if (day > 0) {
            const DateTime moment{year, month, day, hour, minute, second};
            if (previous < moment && moment <= now) {
                m_lastResetDay = today;
                return moment;
            }
        }
        if (year == now.year && month == now.month)
            return std::nullopt;
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
}

bool resetTimeTooFarAhead(const DateTime& stored, const DateTime& now)
{
    return toSerialSeconds(stored) - toSerialSeconds(now) > kResetTimeAheadLimitSeconds;
}

bool pageLimitReached(int pages, int pointsPerPage, std::int32_t stopCount)
{
    return pages > 0 &&
           static_cast<std::int64_t>(pages) * static_cast<std::int64_t>(pointsPerPage) < stopCount;
}

} // namespace flowloom::sampling

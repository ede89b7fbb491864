#include "sampling/RunControl.h"

#include <gtest/gtest.h>

using namespace flowloom::sampling;

namespace {
DateTime at(int y, int mo, int d, int h, int mi, int s)
{
    return DateTime{y, mo, d, h, mi, s};
}

// Ticks once a second from `from` for `seconds`, returning how many resets fired.
int runTicks(MonthlyReset& reset, int dayItem, DateTime from, int seconds, int stepSeconds = 1)
{
    int fired = 0;
    std::int64_t t = toSerialSeconds(from);
    for (int i = 0; i < seconds; i += stepSeconds, t += stepSeconds)
        fired += reset.tick(true, dayItem, 0, 1, 0, fromSerialSeconds(t)) ? 1 : 0;
    return fired;
}
} // namespace

TEST(MonthlyReset, FiresOnTheChosenDayOnly)
{
    MonthlyReset on15th(at(2026, 3, 15, 0, 0, 0));
    EXPECT_EQ(runTicks(on15th, 14, at(2026, 3, 15, 0, 0, 30), 120), 1); // "15th"
    MonthlyReset on14th(at(2026, 3, 14, 0, 0, 0));
    EXPECT_EQ(runTicks(on14th, 14, at(2026, 3, 14, 0, 0, 30), 120), 0);
    // Switched off: nothing.
    MonthlyReset off(at(2026, 3, 15, 0, 0, 0));
    EXPECT_FALSE(off.tick(false, 14, 0, 1, 0, at(2026, 3, 15, 0, 1, 0)));
}

TEST(MonthlyReset, LastDayFollowsTheMonthLength)
{
    auto firesOn = [](int y, int m, int d) {
        MonthlyReset reset(at(y, m, d, 0, 0, 50));
        return runTicks(reset, kLastDayItem, at(y, m, d, 0, 0, 55), 10) == 1;
    };
    EXPECT_TRUE(firesOn(2026, 1, 31));
    EXPECT_FALSE(firesOn(2026, 1, 29));
    EXPECT_TRUE(firesOn(2026, 2, 28));
    EXPECT_FALSE(firesOn(2028, 2, 28));
    EXPECT_TRUE(firesOn(2028, 2, 29)); // leap year
    EXPECT_TRUE(firesOn(2026, 4, 30));
    EXPECT_FALSE(firesOn(2026, 4, 29));
}

TEST(MonthlyReset, TickThatJumpsOverTheSecondStillResetsOnce)
{
    MonthlyReset reset(at(2026, 5, 15, 0, 0, 0));
    // Ticks two seconds apart straddle 00:01:00 without landing on it.
    EXPECT_EQ(runTicks(reset, 14, at(2026, 5, 15, 0, 0, 59), 30, 2), 1);
    // Plotting stopped over the moment: the first tick after it resets.
    MonthlyReset paused(at(2026, 5, 15, 0, 0, 10));
    EXPECT_TRUE(paused.tick(true, 14, 0, 1, 0, at(2026, 5, 15, 3, 20, 0)));
    EXPECT_FALSE(paused.tick(true, 14, 0, 1, 0, at(2026, 5, 15, 3, 20, 1)));
    // A clock set back over the moment does not reset twice in one day.
    EXPECT_FALSE(paused.tick(true, 14, 0, 1, 0, at(2026, 5, 15, 0, 0, 30)));
    EXPECT_FALSE(paused.tick(true, 14, 0, 1, 0, at(2026, 5, 15, 0, 1, 30)));
}

TEST(MonthlyReset, ALastResetCoversTheMomentOnlyWhenItLiesBetweenTheMomentAndNow)
{
    const DateTime moment = at(2026, 7, 1, 0, 1, 0);
    const DateTime now = at(2026, 7, 1, 0, 1, 2);
    struct Case
    {
        const char* what;
        DateTime lastReset;
        bool covers;
    };
    const Case cases[] = {
        {"the month before", at(2026, 6, 1, 0, 1, 0), false},
        {"a second before the moment", at(2026, 7, 1, 0, 0, 59), false},
        {"at the moment", moment, true},
        {"between the moment and now", at(2026, 7, 1, 0, 1, 1), true},
        {"at now", now, true},
        {"a second after now", at(2026, 7, 1, 0, 1, 3), false},
        {"later that month, under a clock that ran ahead", at(2026, 7, 20, 9, 0, 0), false},
        {"years ahead", at(2031, 6, 15, 8, 0, 0), false},
        {"the file's far future", at(9999, 1, 1, 23, 59, 59), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resetCovers(c.lastReset, moment, now), c.covers) << c.what;
}

TEST(MonthlyReset, AStoredResetTimeMoreThanADayAheadIsTooFarAhead)
{
    const DateTime now = at(2026, 12, 31, 23, 0, 0);
    struct Case
    {
        DateTime stored;
        bool tooFar;
    };
    const Case cases[] = {
        {at(2026, 12, 1, 0, 1, 0), false}, {now, false},
        {at(2027, 1, 1, 23, 0, 0), false}, // exactly a day, across the year's end
        {at(2027, 1, 1, 23, 0, 1), true},  // a day and a second
        {at(2031, 6, 15, 8, 0, 0), true},  {at(9999, 1, 1, 23, 59, 59), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(resetTimeTooFarAhead(c.stored, now), c.tooFar)
            << c.stored.year << "-" << c.stored.month << "-" << c.stored.day << " " << c.stored.hour
            << ":" << c.stored.minute << ":" << c.stored.second;
}

TEST(PageLimit, StopsWhenTheCountPassesPagesTimesPoints)
{
    EXPECT_FALSE(pageLimitReached(2, 100, 200));
    EXPECT_TRUE(pageLimitReached(2, 100, 201));
    EXPECT_FALSE(pageLimitReached(0, 100, 1'000'000));
    EXPECT_TRUE(pageLimitReached(255, 10000, 2'550'001)); // no 32-bit overflow in the product
}

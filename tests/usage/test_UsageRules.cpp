#include "usage/CapWarning.h"
#include "usage/UsageRules.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

using namespace flowloom::usage;
using flowloom::sampling::toSerialSeconds;

namespace {
// Central European time with its clock changes (last Sunday of March at
// 02:00 → 03:00, last Sunday of October at 03:00 → 02:00), set for one test.
struct CentralEuropeanTime
{
    std::string previous;
    CentralEuropeanTime()
    {
        if (const char* tz = std::getenv("TZ"))
            previous = tz;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    ~CentralEuropeanTime()
    {
        if (previous.empty())
            unsetenv("TZ");
        else
            setenv("TZ", previous.c_str(), 1);
        tzset();
    }
};

std::int64_t utc(int y, int mo, int d, int h, int mi, int s)
{
    return toSerialSeconds(DateTime{y, mo, d, h, mi, s});
}

BillingPeriod period(const BillingRule& rule, DateTime now)
{
    return billingPeriodAt(rule, now);
}

constexpr DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return DateTime{y, mo, d, h, mi, s};
}
} // namespace

TEST(UsageRules, DaysEndAtLocalMidnightAlsoWhenTheClocksChange)
{
    CentralEuropeanTime cet;
    const SystemZone zone;
    auto dayOf = [&](std::int64_t instant) { return dayKey(zone.toLocal(instant)); };
    // Spring: 23:00 UTC on the 30th is local midnight (UTC+1) of the 31st.
    EXPECT_EQ(dayOf(utc(2024, 3, 30, 22, 59, 59)), "2024-03-30");
    EXPECT_EQ(dayOf(utc(2024, 3, 30, 23, 0, 0)), "2024-03-31");
    // After the change the day ends at 22:00 UTC (UTC+2).
    EXPECT_EQ(dayOf(utc(2024, 3, 31, 21, 59, 59)), "2024-03-31");
    EXPECT_EQ(dayOf(utc(2024, 3, 31, 22, 0, 0)), "2024-04-01");
    EXPECT_EQ(secondsBetween(zone, at(2024, 3, 31), addDays(at(2024, 3, 31), 1)), 23 * 3600);
    // Autumn: the 27th of October has 25 hours, and ends at 23:00 UTC.
    EXPECT_EQ(dayOf(utc(2024, 10, 27, 22, 59, 59)), "2024-10-27");
    EXPECT_EQ(dayOf(utc(2024, 10, 27, 23, 0, 0)), "2024-10-28");
    EXPECT_EQ(secondsBetween(zone, at(2024, 10, 27), at(2024, 10, 28)), 25 * 3600);
    // Noon of the short day: 11 of its 23 hours have passed.
    EXPECT_DOUBLE_EQ(shareOfDayFrom(zone, at(2024, 3, 31, 12)), 12.0 / 23.0);

    EXPECT_EQ(addDays(at(2024, 2, 28, 17, 5), 1), at(2024, 2, 29));
    EXPECT_EQ(addDays(at(2024, 3, 1), -1), at(2024, 2, 29));
    EXPECT_EQ(parseDayKey("2023-02-29"), std::nullopt);
    EXPECT_EQ(parseDayKey("2024-02-29"), at(2024, 2, 29));
    EXPECT_EQ(monthKey("2024-02-29"), "2024-02");
}

TEST(UsageRules, BillingPeriodsOverFebruaryInLeapAndOtherYears)
{
    const UtcZone zone;
    auto days = [&](const BillingPeriod& p) {
        return secondsBetween(zone, p.start, p.end) / 86400.0;
    };

    // "1st" at 00:01:00: February has 29 days in 2024 and 28 in 2023.
    const BillingRule first{true, 0, 0, 1, 0};
    EXPECT_EQ(period(first, at(2024, 2, 10, 12)),
              (BillingPeriod{at(2024, 2, 1, 0, 1), at(2024, 3, 1, 0, 1)}));
    EXPECT_EQ(days(period(first, at(2024, 2, 10))), 29.0);
    EXPECT_EQ(days(period(first, at(2023, 2, 10))), 28.0);
    EXPECT_EQ(period(first, at(2024, 3, 1, 0, 0, 59)).start, at(2024, 2, 1, 0, 1));
    EXPECT_EQ(period(first, at(2024, 3, 1, 0, 1, 0)).start, at(2024, 3, 1, 0, 1));

    // "15th" at 06:30:00, across a year's end as well.
    const BillingRule fifteenth{true, 14, 6, 30, 0};
    EXPECT_EQ(period(fifteenth, at(2024, 2, 15, 6, 29, 59)),
              (BillingPeriod{at(2024, 1, 15, 6, 30), at(2024, 2, 15, 6, 30)}));
    EXPECT_EQ(period(fifteenth, at(2024, 2, 29, 23)),
              (BillingPeriod{at(2024, 2, 15, 6, 30), at(2024, 3, 15, 6, 30)}));
    EXPECT_EQ(days(period(fifteenth, at(2024, 2, 20))), 29.0);
    EXPECT_EQ(days(period(fifteenth, at(2023, 2, 20))), 28.0);
    EXPECT_EQ(period(fifteenth, at(2024, 1, 10)).start, at(2023, 12, 15, 6, 30));

    // "last day" at 23:00:00: 29 February in a leap year, 28 otherwise.
    const BillingRule last{true, 28, 23, 0, 0};
    EXPECT_EQ(period(last, at(2024, 2, 29, 22, 59, 59)),
              (BillingPeriod{at(2024, 1, 31, 23), at(2024, 2, 29, 23)}));
    EXPECT_EQ(period(last, at(2024, 2, 29, 23)),
              (BillingPeriod{at(2024, 2, 29, 23), at(2024, 3, 31, 23)}));
    EXPECT_EQ(period(last, at(2023, 2, 28, 22)),
              (BillingPeriod{at(2023, 1, 31, 23), at(2023, 2, 28, 23)}));
    EXPECT_EQ(period(last, at(2023, 2, 28, 23)),
              (BillingPeriod{at(2023, 2, 28, 23), at(2023, 3, 31, 23)}));
    EXPECT_EQ(previousPeriod(last, period(last, at(2023, 3, 5))).start, at(2023, 1, 31, 23));

    // "Reset automatically" off: calendar months from midnight of the first.
    const BillingRule calendar{};
    EXPECT_EQ(period(calendar, at(2024, 2, 29, 23, 59, 59)),
              (BillingPeriod{at(2024, 2, 1), at(2024, 3, 1)}));
    EXPECT_EQ(period(calendar, at(2023, 12, 31, 8)),
              (BillingPeriod{at(2023, 12, 1), at(2024, 1, 1)}));
}

TEST(UsageRules, LinearProjectionToThePeriodsEnd)
{
    constexpr std::uint64_t gib = 1ULL << 30;
    EXPECT_EQ(projectToEnd(10 * gib, 10 * 86400, 30 * 86400), 30 * gib);
    EXPECT_EQ(projectToEnd(7, 1, 3), 21u);
    EXPECT_EQ(projectToEnd(1000, 0, 86400), 1000u) << "nothing to go by yet";
    EXPECT_EQ(projectToEnd(1000, 90000, 86400), 1000u) << "the period is over";
    EXPECT_EQ(projectToEnd(UINT64_MAX / 2, 1, 4), UINT64_MAX) << "stops at the largest number";

    // March in Central European time is an hour short of 31 days.
    CentralEuropeanTime cet;
    const SystemZone zone;
    const BillingPeriod march = period(BillingRule{}, at(2024, 3, 20));
    EXPECT_EQ(secondsBetween(zone, march.start, march.end), 31 * 86400 - 3600);
}

TEST(UsageRules, EachCapWarningOncePerPeriodAndAgainAfterTheRollOver)
{
    CapRule rule;
    rule.on = true;
    rule.amount = 1;
    rule.unitItem = 1; // 1 GB = 2^30 bytes; 80 % is 858,993,459.2 bytes
    EXPECT_EQ(rule.capBytes(), 1ULL << 30);

    CapWarnings warnings;
    EXPECT_EQ(warnings.check(rule, 2ULL << 30), CapLevel::None) << "no period yet";
    warnings.enterPeriod("2024-02-01 00:01:00", CapLevel::None);
    EXPECT_EQ(warnings.check(rule, 858993459), CapLevel::None);
    EXPECT_EQ(warnings.check(rule, 858993460), CapLevel::Share);
    EXPECT_EQ(warnings.check(rule, 900000000), CapLevel::None) << "once per period";
    EXPECT_EQ(warnings.check(rule, 1ULL << 30), CapLevel::Full);
    EXPECT_EQ(warnings.check(rule, 3ULL << 30), CapLevel::None);

    warnings.enterPeriod("2024-03-01 00:01:00", CapLevel::None);
    EXPECT_EQ(warnings.check(rule, 1000), CapLevel::None);
    EXPECT_EQ(warnings.check(rule, 900000000), CapLevel::Share) << "again in the next period";
    EXPECT_EQ(warnings.check(rule, 1ULL << 30), CapLevel::Full);

    warnings.enterPeriod("2024-04-01 00:01:00", CapLevel::None);
    EXPECT_EQ(warnings.check(rule, 2ULL << 30), CapLevel::Full) << "a jump past both shows one";
    EXPECT_EQ(warnings.check(rule, 2ULL << 30), CapLevel::None);

    // A restart within a period where the share was shown warns only at the cap.
    warnings.enterPeriod("2024-04-01 00:01:00", CapLevel::Share);
    EXPECT_EQ(warnings.check(rule, 950000000), CapLevel::None);
    EXPECT_EQ(warnings.check(rule, 1ULL << 30), CapLevel::Full);

    rule.on = false;
    EXPECT_EQ(capLevelOf(rule, 5ULL << 30), CapLevel::None) << "off by default";

    CapRule mb;
    mb.on = true;
    mb.amount = 500;
    mb.unitItem = 0;
    mb.sharePercent = 50;
    mb.counts = CapCounts::Both;
    EXPECT_EQ(mb.capBytes(), 500ULL << 20);
    EXPECT_EQ(mb.counted(3, 4), 7u);
    EXPECT_EQ(capLevelOf(mb, 250ULL << 20), CapLevel::Share);
    mb.counts = CapCounts::Upload;
    EXPECT_EQ(mb.counted(3, 4), 4u);
    mb.amount = INT64_MAX;
    EXPECT_EQ(mb.capBytes(), UINT64_MAX);
}

TEST(UsageRules, ACapRaisedAfterItWasReachedWarnsAgainAtTheNewCap)
{
    constexpr std::uint64_t gb = 1ULL << 30;
    CapRule rule;
    rule.on = true;
    rule.amount = 8;
    rule.unitItem = 1; // 8 GB; the share (80 %) at 6.4 GB

    CapWarnings warnings;
    warnings.enterPeriod("2024-02-01 00:01:00", CapLevel::None);
    EXPECT_EQ(warnings.check(rule, 7 * gb), CapLevel::Share);
    EXPECT_EQ(warnings.check(rule, 8 * gb + 1), CapLevel::Full);

    // Raised to 13 GB at 8.5 GB used: below the new share (10.4 GB), so both
    // levels are due again, and neither warns yet.
    rule.amount = 13;
    EXPECT_EQ(warnings.check(rule, 8 * gb + gb / 2), CapLevel::None);
    EXPECT_EQ(warnings.shown(), CapLevel::None);
    EXPECT_EQ(warnings.check(rule, 10 * gb), CapLevel::None);
    // 13 GB x 80 % = 11,166,914,969.6 bytes.
    EXPECT_EQ(warnings.check(rule, 11166914969), CapLevel::None);
    EXPECT_EQ(warnings.check(rule, 11166914970), CapLevel::Share);
    EXPECT_EQ(warnings.check(rule, 12 * gb), CapLevel::None) << "once at the new share";
    EXPECT_EQ(warnings.check(rule, 13 * gb), CapLevel::Full);
    EXPECT_EQ(warnings.check(rule, 14 * gb), CapLevel::None) << "once at the new cap";

    // Raised to 15 GB with 14 GB used: past the new share already, so only
    // the cap is due again.
    rule.amount = 15;
    EXPECT_EQ(warnings.check(rule, 14 * gb), CapLevel::None);
    EXPECT_EQ(warnings.shown(), CapLevel::Share);
    EXPECT_EQ(warnings.check(rule, 15 * gb), CapLevel::Full);

    // Turned off, or set to nothing while typing: the levels shown stay.
    rule.on = false;
    EXPECT_EQ(warnings.check(rule, 15 * gb), CapLevel::None);
    EXPECT_EQ(warnings.shown(), CapLevel::Full);
    rule.on = true;
    rule.amount = 0;
    EXPECT_EQ(warnings.check(rule, 15 * gb), CapLevel::None);
    EXPECT_EQ(warnings.shown(), CapLevel::Full);
    rule.amount = 15;
    EXPECT_EQ(warnings.check(rule, 16 * gb), CapLevel::None) << "no second warning at 15 GB";

    // A cap lowered below the usage warns at once, at the highest level.
    warnings.enterPeriod("2024-03-01 00:01:00", CapLevel::None);
    rule.amount = 10;
    EXPECT_EQ(warnings.check(rule, 5 * gb), CapLevel::None);
    rule.amount = 5;
    EXPECT_EQ(warnings.check(rule, 5 * gb), CapLevel::Full);
}

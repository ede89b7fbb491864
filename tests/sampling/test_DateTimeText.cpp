#include "sampling/DateTimeText.h"

#include <gtest/gtest.h>

using flowloom::sampling::DateTime;
using flowloom::sampling::DateTimeText;

namespace {

DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return DateTime{y, mo, d, h, mi, s};
}

} // namespace

TEST(DateTimeText, StoredFormWritesDayMonthYearAndDropsMidnight)
{
    // The reset-time picker's default as the settings file holds it.
    EXPECT_EQ(DateTimeText::toText(at(2008, 2, 19, 0, 1, 0)), "19/02/2008 00:01:00");
    EXPECT_EQ(DateTimeText::toText(at(2026, 12, 6, 19, 44, 3)), "06/12/2026 19:44:03");
    EXPECT_EQ(DateTimeText::toText(at(2008, 2, 19)), "19/02/2008");
    EXPECT_EQ(DateTimeText::toText(at(2008, 2, 19, 0, 0, 1)), "19/02/2008 00:00:01");
    EXPECT_EQ(DateTimeText::toText(at(999, 1, 2, 23, 59, 59)), "02/01/0999 23:59:59");
}

TEST(DateTimeText, ParsesDateAndTimeDateAloneAndTimeAlone)
{
    EXPECT_EQ(DateTimeText::fromText("19/02/2008 00:01:00"), at(2008, 2, 19, 0, 1, 0));
    EXPECT_EQ(DateTimeText::fromText("19/02/2008"), at(2008, 2, 19));
    EXPECT_EQ(DateTimeText::fromText("  6/12/2026   19:44  "), at(2026, 12, 6, 19, 44, 0));
    // A time alone lies on the zero date.
    EXPECT_EQ(DateTimeText::fromText("00:01:00"), at(1899, 12, 30, 0, 1, 0));
    EXPECT_EQ(DateTimeText::fromText("0:01:00"), at(1899, 12, 30, 0, 1, 0));
    EXPECT_EQ(DateTimeText::fromText("23:59"), at(1899, 12, 30, 23, 59, 0));
    // Leap days follow the Gregorian rule.
    EXPECT_EQ(DateTimeText::fromText("29/02/2008"), at(2008, 2, 29));
    EXPECT_EQ(DateTimeText::fromText("29/02/2000 12:00:00"), at(2000, 2, 29, 12, 0, 0));
}

TEST(DateTimeText, RejectsTextsThatAreNotARealDateOrTime)
{
    for (const char* bad : {"",
                            "   ",
                            "abc",
                            "29/02/2007",
                            "29/02/1900",
                            "31/04/2008",
                            "00/01/2008",
                            "01/13/2008",
                            "01/01/0000",
                            "24:00:00",
                            "12:60:00",
                            "12:00:60",
                            "12:5",
                            "123:00",
                            "12:00:",
                            "1/2/08",
                            "19/02/2008 junk",
                            "19/02/200800:01:00",
                            "19-02-2008",
                            "19/02/2008 00:01:00 1",
                            "19/02/2008 00:01:00 00:02:00",
                            "\xff\xfe"}) {
        EXPECT_FALSE(DateTimeText::fromText(bad).has_value()) << '"' << bad << '"';
    }
}

TEST(DateTimeText, StoredFormRoundTripsEverySecondOfADayAndEveryDayOfALeapYear)
{
    for (int s = 0; s < 86400; s += 7) {
        const DateTime dt = at(2024, 2, 29, s / 3600, s / 60 % 60, s % 60);
        EXPECT_EQ(DateTimeText::fromText(DateTimeText::toText(dt)), dt);
    }
    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= flowloom::sampling::daysInMonth(2024, month); ++day) {
            const DateTime dt = at(2024, month, day, 13, 5, 9);
            EXPECT_EQ(DateTimeText::fromText(DateTimeText::toText(dt)), dt);
        }
    }
}

TEST(DateTimeText, DisplayFormsUseEnglishNamesAndFixedWidths)
{
    const DateTime dt = at(2026, 12, 6, 19, 44, 3); // a Sunday
    EXPECT_EQ(DateTimeText::longDisplay(dt), "Sun 06 Dec 2026 - 19:44:03");
    EXPECT_EQ(DateTimeText::dayMonth(dt), "Sun 06 Dec");
    EXPECT_EQ(DateTimeText::timeOfDay(dt), "19:44:03");
    EXPECT_EQ(DateTimeText::pointLabel(dt), "  19:44:03  ");
    EXPECT_EQ(DateTimeText::captureStamp(dt), "-2026Dec06-1944");

    // 19 February 2008 was a Tuesday; early hours keep their leading zeros.
    const DateTime early = at(2008, 2, 19, 0, 1, 0);
    EXPECT_EQ(DateTimeText::longDisplay(early), "Tue 19 Feb 2008 - 00:01:00");
    EXPECT_EQ(DateTimeText::dayMonth(early), "Tue 19 Feb");
    EXPECT_EQ(DateTimeText::timeOfDay(early), "00:01:00");
    EXPECT_EQ(DateTimeText::captureStamp(early), "-2008Feb19-0001");

    EXPECT_EQ(DateTimeText::dayName(6), "Sat");
    EXPECT_EQ(DateTimeText::monthName(1), "Jan");
    EXPECT_EQ(DateTimeText::monthName(13), "");
}

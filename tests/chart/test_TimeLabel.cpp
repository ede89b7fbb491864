#include "chart/TimeLabel.h"

#include <gtest/gtest.h>

using flowloom::chart::TimeLabel;

TEST(TimeLabel, TwoSpacesHoursMinutesSecondsTwoSpaces)
{
    EXPECT_EQ(TimeLabel::fromHms(9, 5, 7).text(), "  09:05:07  ");
    EXPECT_EQ(TimeLabel::fromHms(0, 0, 0).text(), "  00:00:00  ");
    EXPECT_EQ(TimeLabel::fromHms(23, 59, 59).text(), "  23:59:59  ");
    EXPECT_EQ(TimeLabel::fromHms(14, 30, 0).secondsOfDay(), 14u * 3600 + 30 * 60);
    // Out-of-day values wrap instead of producing hour 24 or more.
    EXPECT_EQ(TimeLabel(86400 + 61).text(), "  00:01:01  ");
    EXPECT_EQ(TimeLabel::fromHms(0, 0, -1).text(), "  23:59:59  ");
}

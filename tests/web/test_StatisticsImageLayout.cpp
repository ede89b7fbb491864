#include "web/documents/StatisticsImageLayout.h"

#include <gtest/gtest.h>

using namespace flowloom::web;

TEST(StatisticsImageLayout, FifteenLinesOneLineHeightApart)
{
    // A 16 pixel line and a since-line of 224 pixels: 15 x 16 = 240 high,
    // 224 + 50 = 274 wide.
    const auto layout = StatisticsImageLayout::make(16, 224);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->width(), 274);
    EXPECT_EQ(layout->height(), 240);
    EXPECT_EQ(layout->label1Text(), "[274 x 240]   [W x H]");

    EXPECT_EQ(layout->lineOrigin(1).x, 5);
    EXPECT_EQ(layout->lineOrigin(1).y, 2);
    EXPECT_EQ(layout->lineOrigin(2).y, 18);
    EXPECT_EQ(layout->lineOrigin(15).x, 5);
    EXPECT_EQ(layout->lineOrigin(15).y, 2 + 14 * 16);
    // The last line starts two pixels short of a full line height.
    EXPECT_EQ(layout->height() - layout->lineOrigin(15).y, 14);
}

TEST(StatisticsImageLayout, RefusesEmptyAndOversizedPictures)
{
    EXPECT_FALSE(StatisticsImageLayout::make(0, 100).has_value());
    EXPECT_FALSE(StatisticsImageLayout::make(-3, 100).has_value());
    EXPECT_FALSE(StatisticsImageLayout::make(16, -1).has_value());
    // 15 x 2184 = 32760 still fits; 15 x 2185 does not.
    EXPECT_TRUE(StatisticsImageLayout::make(2184, 10).has_value());
    EXPECT_FALSE(StatisticsImageLayout::make(2185, 10).has_value());
    EXPECT_TRUE(StatisticsImageLayout::make(10, 32767 - 50).has_value());
    EXPECT_FALSE(StatisticsImageLayout::make(10, 32767 - 49).has_value());
    // Products beyond 32 bits must not wrap into a small size.
    EXPECT_FALSE(StatisticsImageLayout::make(0x7fffffff, 0x7fffffff).has_value());
}

#include "chart/VisibleRange.h"

#include <gtest/gtest.h>

#include <limits>

using flowloom::chart::VisibleRange;

TEST(VisibleRange, TheWindowPlusOneNeighbourEachSideWhateverTheHistory)
{
    const VisibleRange r(599.0, 999.0, 1'000'000);
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.first(), 598u);
    EXPECT_EQ(r.last(), 1000u);

    const VisibleRange fresh(-10.0, 400.0, 37);
    EXPECT_EQ(fresh.first(), 0u);
    EXPECT_EQ(fresh.last(), 36u);

    const VisibleRange fractional(10.4, 20.6, 100);
    EXPECT_EQ(fractional.first(), 9u);
    EXPECT_EQ(fractional.last(), 22u);

    EXPECT_TRUE(VisibleRange(0.0, 10.0, 0).empty());
    EXPECT_TRUE(VisibleRange(-500.0, -2.5, 100).empty());
    EXPECT_TRUE(VisibleRange(101.0, 200.0, 100).empty());
    EXPECT_FALSE(VisibleRange(100.0, 200.0, 100).empty()); // x 99 leads into the window
    const double huge = std::numeric_limits<double>::max();
    const VisibleRange all(-huge, huge, 5);
    EXPECT_EQ(all.first(), 0u);
    EXPECT_EQ(all.last(), 4u);
}

#include "chart/SeriesOutline.h"

#include <gtest/gtest.h>

using flowloom::chart::SeriesOutline;

TEST(SeriesOutline, RampsJoinThePointsStepsRunLevelThenJump)
{
    const std::vector<QPointF> points{{0, 50}, {10, 20}, {20, 40}};
    std::vector<QPointF> out;
    SeriesOutline::line(points, false, 30.0, out);
    EXPECT_EQ(out, points);

    SeriesOutline::line(points, true, 30.0, out);
    const std::vector<QPointF> steps{{0, 50}, {10, 50}, {10, 20}, {20, 20}, {20, 40}, {30, 40}};
    EXPECT_EQ(out, steps);

    SeriesOutline::closeToBase(out, 60.0);
    ASSERT_EQ(out.size(), steps.size() + 2);
    EXPECT_EQ(out[6], QPointF(30, 60));
    EXPECT_EQ(out[7], QPointF(0, 60));

    SeriesOutline::line({}, true, 0.0, out);
    EXPECT_TRUE(out.empty());
}

TEST(SeriesOutline, ClampingToABandKeepsTheInsideExact)
{
    // A spike far above the band between two points inside it.
    std::vector<QPointF> line{{0, 50}, {10, -1e9}, {20, 50}};
    std::vector<QPointF> scratch;
    SeriesOutline::clampToBand(line, 0.0, 100.0, scratch);
    // Where the spike's sides cross y = 0: 50 / (50 + 1e9) of the way.
    const double t = 50.0 / (50.0 + 1e9);
    ASSERT_EQ(line.size(), 5u);
    EXPECT_EQ(line[0], QPointF(0, 50));
    EXPECT_DOUBLE_EQ(line[1].x(), 10.0 * t);
    EXPECT_EQ(line[1].y(), 0.0);
    EXPECT_EQ(line[2], QPointF(10, 0));
    EXPECT_DOUBLE_EQ(line[3].x(), 20.0 - 10.0 * t);
    EXPECT_EQ(line[4], QPointF(20, 50));

    // A segment that crosses the whole band gets both crossings, in order.
    std::vector<QPointF> through{{0, -100}, {10, 200}};
    SeriesOutline::clampToBand(through, 0.0, 100.0, scratch);
    ASSERT_EQ(through.size(), 4u);
    EXPECT_DOUBLE_EQ(through[1].x(), 10.0 / 3.0);
    EXPECT_EQ(through[1].y(), 0.0);
    EXPECT_DOUBLE_EQ(through[2].x(), 20.0 / 3.0);
    EXPECT_EQ(through[2].y(), 100.0);

    std::vector<QPointF> inside{{0, 10}, {5, 90}};
    const auto before = inside;
    SeriesOutline::clampToBand(inside, 0.0, 100.0, scratch);
    EXPECT_EQ(inside, before);
}

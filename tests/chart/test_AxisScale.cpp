#include "chart/AxisScale.h"

#include <gtest/gtest.h>

using flowloom::chart::AxisScale;

TEST(AxisScale, MapsLinearlyBothWaysAndSurvivesAnEmptyRange)
{
    // Vertical axis: minimum at the bottom pixel.
    const AxisScale v(0.0, 800.0, 300.0, 100.0);
    EXPECT_EQ(v.toPixel(0.0), 300.0);
    EXPECT_EQ(v.toPixel(800.0), 100.0);
    EXPECT_EQ(v.toPixel(400.0), 200.0);
    EXPECT_EQ(v.toValue(150.0), 600.0);
    EXPECT_EQ(v.pixelsPerUnit(), -0.25);

    const AxisScale empty(5.0, 5.0, 0.0, 100.0);
    EXPECT_EQ(empty.toPixel(5.0), 0.0);
    EXPECT_EQ(empty.toPixel(6.0), 100.0);
}

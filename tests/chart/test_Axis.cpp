#include "chart/Axis.h"
#include "chart/AxisError.h"

#include <gtest/gtest.h>

#include <limits>

using flowloom::chart::Axis;
using flowloom::chart::AxisError;

TEST(Axis, RefusesALimitThatWouldCrossTheOtherAndStaysAsItWas)
{
    Axis axis(-100.0, 30000.0);
    EXPECT_THROW(axis.setMinimum(30000.5), AxisError);
    EXPECT_THROW(axis.setMaximum(-100.5), AxisError);
    EXPECT_EQ(axis.minimum(), -100.0);
    EXPECT_EQ(axis.maximum(), 30000.0);

    // Equal limits are allowed: neither is above or below the other.
    axis.setMaximum(-100.0);
    EXPECT_EQ(axis.maximum(), -100.0);
    axis.setMaximum(800.0);
    axis.setMinimum(800.0);
    EXPECT_EQ(axis.minimum(), 800.0);
}

TEST(Axis, RefusesLimitsThatAreNotNumbers)
{
    Axis axis(0.0, 10.0);
    EXPECT_THROW(axis.setMinimum(std::numeric_limits<double>::quiet_NaN()), AxisError);
    EXPECT_THROW(axis.setMaximum(std::numeric_limits<double>::infinity()), AxisError);
    EXPECT_THROW(axis.setRange(0.0, std::numeric_limits<double>::quiet_NaN()), AxisError);
    EXPECT_THROW(axis.move(std::numeric_limits<double>::infinity()), AxisError);
    EXPECT_EQ(axis.minimum(), 0.0);
    EXPECT_EQ(axis.maximum(), 10.0);
    const double huge = std::numeric_limits<double>::max();
    axis.setRange(0.0, huge);
    EXPECT_THROW(axis.move(huge), AxisError); // the maximum would overflow
    EXPECT_EQ(axis.maximum(), huge);
}

TEST(Axis, SetRangeAcceptsAWindowOnEitherSideAndMoveKeepsTheWidth)
{
    Axis axis(500.0, 600.0);
    axis.setRange(0.0, 100.0); // minimum first would cross nothing, maximum first would
    EXPECT_EQ(axis.minimum(), 0.0);
    EXPECT_EQ(axis.maximum(), 100.0);
    axis.setRange(1000.0, 1400.0);
    EXPECT_EQ(axis.minimum(), 1000.0);
    EXPECT_THROW(axis.setRange(5.0, 4.0), AxisError);
    axis.move(-2.5);
    EXPECT_EQ(axis.minimum(), 997.5);
    EXPECT_EQ(axis.maximum(), 1397.5);
}

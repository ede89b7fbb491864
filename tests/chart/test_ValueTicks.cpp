#include "chart/ChartLayout.h"
#include "chart/ValueTicks.h"

#include <gtest/gtest.h>

using flowloom::chart::ValueTicks;

TEST(ValueTicks, StepsOfOneTwoOrFiveTimesAPowerOfTenNeverBelowOne)
{
    // -1.6..800 on 300 pixels, labels at least 28 pixels apart: 28 / 0.3745 = 74.8 -> 100.
    const ValueTicks ticks(-1.6, 800.0, 300.0 / 801.6, 28.0);
    EXPECT_EQ(ticks.step(), 100.0);
    ASSERT_EQ(ticks.count(), 9u);
    EXPECT_EQ(ticks.value(0), 0.0);
    EXPECT_EQ(ticks.value(8), 800.0);

    EXPECT_EQ(ValueTicks(0.0, 1000.0, 1.0, 120.0).step(), 200.0);
    EXPECT_EQ(ValueTicks(0.0, 1000.0, 1.0, 201.0).step(), 500.0);
    EXPECT_EQ(ValueTicks(0.0, 1000.0, 1.0, 501.0).step(), 1000.0);
    // A tiny range still counts in whole units.
    const ValueTicks small(-0.5, 3.0, 100.0, 20.0);
    EXPECT_EQ(small.step(), 1.0);
    EXPECT_EQ(small.count(), 4u); // 0, 1, 2, 3

    EXPECT_EQ(ValueTicks(5.0, 4.0, 1.0, 10.0).count(), 0u);
    EXPECT_EQ(ValueTicks(0.0, 100.0, 0.0, 10.0).count(), 0u);
    EXPECT_LE(ValueTicks(-1e300, 1e300, 1e-290, 1.0).count(), ValueTicks::maxTicks);
}

TEST(ValueTicks, TextUsesCommaThousandsAndAtMostThreeDecimals)
{
    EXPECT_EQ(ValueTicks::text(0.0), "0");
    EXPECT_EQ(ValueTicks::text(800.0), "800");
    EXPECT_EQ(ValueTicks::text(1000.0), "1,000");
    EXPECT_EQ(ValueTicks::text(1234567.0), "1,234,567");
    EXPECT_EQ(ValueTicks::text(-25000.0), "-25,000");
    EXPECT_EQ(ValueTicks::text(2.5), "2.5");
    EXPECT_EQ(ValueTicks::text(986.328125), "986.328");
    EXPECT_EQ(ValueTicks::text(-0.0001), "0");
}

// Layouts keep the last ticks worked out; any input that changes works them
// out anew.
TEST(ValueTicks, KeptForLayoutsOnlyWhileRangeScaleAndSpacingStay)
{
    struct Inputs
    {
        double minimum, maximum, pixelsPerUnit, minSpacing;
    };
    const Inputs sequence[] = {
        {0.0, 1000.0, 1.0, 120.0},    {0.0, 1000.0, 1.0, 120.0},     {0.0, 10000.0, 1.0, 120.0},
        {500.0, 10000.0, 1.0, 120.0}, {500.0, 10000.0, 0.01, 120.0}, {500.0, 10000.0, 0.01, 30.0},
        {0.0, 1000.0, 1.0, 120.0},
    };
    flowloom::chart::LayoutMeasures measures;
    for (const Inputs& in : sequence) {
        const ValueTicks kept =
            measures.ticksFor(in.minimum, in.maximum, in.pixelsPerUnit, in.minSpacing);
        const ValueTicks fresh(in.minimum, in.maximum, in.pixelsPerUnit, in.minSpacing);
        EXPECT_EQ(kept.step(), fresh.step()) << in.maximum << " " << in.minSpacing;
        EXPECT_EQ(kept.count(), fresh.count()) << in.maximum << " " << in.minSpacing;
        EXPECT_EQ(kept.count() > 0 ? kept.value(0) : 0.0, fresh.count() > 0 ? fresh.value(0) : 0.0);
    }
}

#include "chart/LabelLayout.h"

#include <gtest/gtest.h>

using flowloom::chart::LabelLayout;

TEST(LabelLayout, ChoosesTheSmallestRoundStepThatKeepsTwentyPercentBetweenLabels)
{
    // 80-pixel labels need 96 pixels from one to the next.
    EXPECT_EQ(LabelLayout::chooseStep(100.0, 80.0, 20.0), 1u);
    EXPECT_EQ(LabelLayout::chooseStep(96.0, 80.0, 20.0), 1u);
    EXPECT_EQ(LabelLayout::chooseStep(95.0, 80.0, 20.0), 2u);
    EXPECT_EQ(LabelLayout::chooseStep(40.0, 80.0, 20.0), 3u);  // 2 x 40 = 80 < 96
    EXPECT_EQ(LabelLayout::chooseStep(1.75, 80.0, 20.0), 60u); // 30 x 1.75 = 52.5 < 96
    EXPECT_EQ(LabelLayout::chooseStep(0.2, 80.0, 20.0), 600u); // 480 points needed
    // More than a day of points per label: doubling from 86400.
    EXPECT_EQ(LabelLayout::chooseStep(1e-4, 10.0, 0.0), 172800u);
    EXPECT_GT(LabelLayout::chooseStep(0.0, 80.0, 20.0), 1'000'000'000u);

    // Whatever the scale, two labels a step apart never overlap.
    for (double ppp = 0.05; ppp < 200.0; ppp *= 1.37) {
        const std::size_t step = LabelLayout::chooseStep(ppp, 73.0, 20.0);
        EXPECT_GE(static_cast<double>(step) * ppp, 73.0 * 1.2) << ppp;
    }
}

TEST(LabelLayout, LabelsStandOnMultiplesOfTheStepInsideTheWindowAndTheData)
{
    const LabelLayout a(-10.0, 250.0, 100, 30); // points 0..99
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a.first(), 0u);
    EXPECT_EQ(a.last(), 90u);

    const LabelLayout b(101.5, 500.2, 1000, 60);
    EXPECT_EQ(b.first(), 120u);
    EXPECT_EQ(b.last(), 480u);

    EXPECT_TRUE(LabelLayout(0.0, 100.0, 0, 10).empty());
    EXPECT_TRUE(LabelLayout(31.0, 59.0, 1000, 30).empty());
    EXPECT_TRUE(LabelLayout(-50.0, -1.0, 1000, 1).empty());
}

TEST(LabelLayout, TheGridThinsOutOnlyWhenLabelsStandClose)
{
    EXPECT_EQ(LabelLayout::gridStep(60, 1.75, 40.0), 60u); // 105 pixels apart
    EXPECT_EQ(LabelLayout::gridStep(10, 1.75, 40.0), 30u); // 17.5 pixels: every third
    EXPECT_EQ(LabelLayout::gridStep(5, 8.0, 40.0), 5u);    // exactly 40
}

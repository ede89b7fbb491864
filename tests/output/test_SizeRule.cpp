#include "output/rules/ExportSettings.h"
#include "output/rules/SizeRule.h"

#include <gtest/gtest.h>

using namespace flowloom::output;
using Size = SizeRule::Size;

TEST(SizeRule, PercentTruncatesPixelsAreTakenAndAnUncheckedBoxKeepsTheScreenSize)
{
    const Size screen{791, 385};
    SizeRule rule{.applies = true, .percentMode = true, .percent = 20, .width = 300, .height = 150};
    EXPECT_EQ(rule.imageSize(screen), (Size{158, 77})); // 158.2 and 77.0 truncated
    rule.percent = 200;
    EXPECT_EQ(rule.imageSize(screen), (Size{1582, 770}));
    // A typed 500 is what the box reports until it loses focus.
    rule.percent = 500;
    EXPECT_EQ(rule.imageSize(screen), (Size{3955, 1925}));
    // Text that is not a number reaches the rule as the box's minimum, 20.
    rule.percent = 20;
    EXPECT_EQ(rule.imageSize({100, 99}), (Size{20, 19})); // 19.8 truncated, not rounded

    // Whole-number arithmetic: 0.29 x 100 in binary floating point is 28.999...
    EXPECT_EQ(SizeRule::percentOf(29, {100, 1000}), (Size{29, 290}));
    EXPECT_EQ(SizeRule::percentOf(57, {100, 300}), (Size{57, 171}));

    rule.percentMode = false;
    EXPECT_EQ(rule.imageSize(screen), (Size{300, 150}));
    rule.applies = false;
    EXPECT_EQ(rule.imageSize(screen), screen);
    rule.percentMode = true;
    EXPECT_EQ(rule.imageSize(screen), screen);
}

TEST(SizeRule, PreviewTexts)
{
    EXPECT_EQ(SizeRule::screenSizeNote({791, 385}),
              "Items not checked will use screen graph size (791 x 385)");
    EXPECT_EQ(SizeRule::percentPreview(20, {791, 385}), "(158 x 77)");
    EXPECT_EQ(SizeRule::percentPreview(200, {791, 385}), "(1582 x 770)");
}

TEST(SizeRule, EachDestinationFollowsItsOwnBox)
{
    ExportSettings settings;
    settings.percentMode = false;
    settings.width = 400;
    settings.height = 300;
    settings.cbHTTP = settings.cbCaptured = settings.cbClip = settings.cbPrint = false;
    const Destination all[] = {Destination::WebImage, Destination::Files, Destination::Clipboard,
                               Destination::Printer};
    bool* boxes[] = {&settings.cbHTTP, &settings.cbCaptured, &settings.cbClip, &settings.cbPrint};
    for (int checked = 0; checked < 4; ++checked) {
        *boxes[checked] = true;
        for (int d = 0; d < 4; ++d) {
            const SizeRule rule = settings.sizeRuleFor(all[d]);
            EXPECT_EQ(rule.applies, d == checked) << "box " << checked << " destination " << d;
            EXPECT_FALSE(rule.percentMode);
            EXPECT_EQ(rule.imageSize({791, 385}), (d == checked ? Size{400, 300} : Size{791, 385}));
        }
        *boxes[checked] = false;
    }
}

#include "GraphFixture.h"
#include "output/glue/GraphSnapshot.h"

#include <gtest/gtest.h>

using namespace flowloom;
using output::GraphSnapshot;
using output::SizeRule;

TEST(GraphSnapshot, RendersAtTheRuleSizeAndLeavesTheGraphAsItWas)
{
    test::GraphFixture graph;
    graph.widget.show();
    SizeRule rule{.applies = true, .percentMode = true, .percent = 20, .width = 300, .height = 150};

    GraphSnapshot::Result shot = GraphSnapshot::take(graph.widget, rule, false);
    ASSERT_TRUE(shot.ok()) << shot.error.toStdString();
    EXPECT_EQ(shot.image.size(), QSize(158, 77));
    EXPECT_EQ(shot.image.format(), QImage::Format_RGB32);

    rule.percent = 200;
    EXPECT_EQ(GraphSnapshot::take(graph.widget, rule, false).image.size(), QSize(1582, 770));
    rule.percentMode = false;
    EXPECT_EQ(GraphSnapshot::take(graph.widget, rule, false).image.size(), QSize(300, 150));
    rule.applies = false;
    EXPECT_EQ(GraphSnapshot::take(graph.widget, rule, false).image.size(), QSize(791, 385));

    EXPECT_EQ(graph.widget.size(), QSize(791, 385));
    EXPECT_TRUE(graph.widget.isVisible());
}

TEST(GraphSnapshot, GrayscaleTurnsEveryPixelGrey)
{
    test::GraphFixture graph;
    // Panel (200, 30, 30): 0.3 x 200 + 0.6 x 30 + 0.1 x 30 = 81.
    graph.widget.chart().setPanelColour(QColor(200, 30, 30));
    const SizeRule screen{};
    const QImage colour = GraphSnapshot::take(graph.widget, screen, false).image;
    const QImage grey = GraphSnapshot::take(graph.widget, screen, true).image;
    ASSERT_EQ(grey.size(), QSize(791, 385));
    EXPECT_EQ(grey.pixel(0, 0), qRgb(81, 81, 81));

    int coloured = 0;
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x) {
            const QRgb c = colour.pixel(x, y);
            const QRgb g = grey.pixel(x, y);
            ASSERT_TRUE(qRed(g) == qGreen(g) && qGreen(g) == qBlue(g)) << x << "," << y;
            // Each pixel follows 0.3 R + 0.6 G + 0.1 B, to within the rounding.
            const double expected = 0.3 * qRed(c) + 0.6 * qGreen(c) + 0.1 * qBlue(c);
            ASSERT_LE(std::abs(qRed(g) - expected), 0.5 + 1e-9) << x << "," << y;
            coloured += qRed(c) != qGreen(c) || qGreen(c) != qBlue(c);
        }
    EXPECT_GT(coloured, 10000); // the series really were in colour before
}

TEST(GraphSnapshot, ImagesThatCannotBeMadeAreReportedAndTheGraphStays)
{
    graph::ChartWidget huge;
    huge.resize(20000, 20000);
    SizeRule rule{.applies = true, .percentMode = true, .percent = 200};
    GraphSnapshot::Result shot = GraphSnapshot::take(huge, rule, true);
    EXPECT_TRUE(shot.image.isNull());
    EXPECT_EQ(shot.error, QStringLiteral("Not enough memory for a 40000 x 40000 image."));
    EXPECT_EQ(huge.size(), QSize(20000, 20000));

    test::GraphFixture graph;
    rule = SizeRule{.applies = true, .percentMode = false, .width = 30000, .height = 30000};
    EXPECT_EQ(GraphSnapshot::take(graph.widget, rule, false).error,
              QStringLiteral("Not enough memory for a 30000 x 30000 image."));
    rule = SizeRule{.applies = true, .percentMode = true, .percent = 0};
    EXPECT_EQ(GraphSnapshot::take(graph.widget, rule, false).error,
              QStringLiteral("Cannot make a 0 x 0 image."));
    // 2000 x 2000 is within reach and is made.
    rule = SizeRule{.applies = true, .percentMode = false, .width = 2000, .height = 2000};
    EXPECT_EQ(GraphSnapshot::take(graph.widget, rule, false).image.size(), QSize(2000, 2000));
}

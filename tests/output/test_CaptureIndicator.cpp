#include "output/glue/CaptureIndicator.h"

#include <gtest/gtest.h>

using flowloom::output::CaptureIndicator;

TEST(CaptureIndicator, HiddenSmallTransparentAndKeptInTheLowerLeftCorner)
{
    QWidget graph;
    graph.resize(791, 385);
    auto* indicator = new CaptureIndicator(&graph);
    graph.show();
    EXPECT_EQ(graph.findChild<QLabel*>(QStringLiteral("imgNoise")), indicator);
    EXPECT_EQ(indicator->toolTip(), QStringLiteral("Capture active"));
    EXPECT_FALSE(indicator->isVisible());
    EXPECT_EQ(indicator->size(), QSize(21, 20));
    EXPECT_EQ(indicator->pos(), QPoint(4, 385 - 20 - 4));

    indicator->show();
    graph.resize(500, 300);
    EXPECT_EQ(indicator->pos(), QPoint(4, 300 - 20 - 4));

    const QImage picture = indicator->pixmap().toImage();
    ASSERT_EQ(picture.size(), QSize(21, 20));
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0); // the corners let the graph show through
    EXPECT_EQ(qAlpha(picture.pixel(20, 19)), 0);
    const QRgb centre = picture.pixel(10, 9);
    EXPECT_EQ(qAlpha(centre), 255);
    EXPECT_GT(qRed(centre), 200);
    EXPECT_LT(qGreen(centre), 40);
}

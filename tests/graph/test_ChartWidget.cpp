#include "graph/ChartWidget.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using flowloom::graph::ChartWidget;

TEST(ChartWidget, RendersTheWholeChartIntoAnImageOfExactlyTheAskedSize)
{
    ChartWidget widget;
    widget.resize(791, 385);
    widget.chart().setPanelColour(QColor(12, 34, 56));
    const QImage image = widget.renderToImage(QSize(158, 77));
    EXPECT_EQ(image.size(), QSize(158, 77));
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(0, 0), qRgb(12, 34, 56));
    EXPECT_EQ(image.pixel(157, 76), qRgb(12, 34, 56));
    EXPECT_EQ(widget.size(), QSize(791, 385)); // the widget itself is not resized
    EXPECT_EQ(widget.renderToImage(QSize(2000, 2000)).size(), QSize(2000, 2000));

    // On screen the graph sits in a sunken bevel: shadow at the top left,
    // light at the bottom right; images hold the chart alone.
    const QImage screen = widget.grab().toImage();
    const QPalette palette = widget.palette();
    EXPECT_EQ(screen.pixel(0, 0), palette.color(QPalette::Dark).rgb());
    EXPECT_EQ(screen.pixel(790, 384), palette.color(QPalette::Light).rgb());
    EXPECT_EQ(screen.pixel(3, 3), qRgb(12, 34, 56)) << "the panel inside the bevel";
}

TEST(ChartWidget, DraggingPansAndReportsButtonsShiftAndEachStep)
{
    ChartWidget widget;
    widget.resize(600, 400);
    widget.chart().bottomAxis().setRange(0.0, 100.0);
    widget.chart().leftAxis().setRange(0.0, 1000.0);
    QSignalSpy pressed(&widget, &ChartWidget::mousePressed);
    QSignalSpy released(&widget, &ChartWidget::mouseReleased);
    QSignalSpy scrolled(&widget, &ChartWidget::scrolled);

    const QPoint centre(300, 200);
    QTest::mousePress(&widget, Qt::LeftButton, Qt::ShiftModifier, centre);
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_TRUE(pressed.at(0).at(1).toBool());

    QTest::mouseMove(&widget, centre + QPoint(30, 0));
    QTest::mouseMove(&widget, centre + QPoint(30, 20));
    EXPECT_EQ(scrolled.count(), 2);
    EXPECT_LT(widget.chart().bottomAxis().minimum(), 0.0); // content dragged right
    EXPECT_GT(widget.chart().leftAxis().minimum(), 0.0);   // and down

    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, centre + QPoint(30, 20));
    ASSERT_EQ(released.count(), 1);
    EXPECT_FALSE(released.at(0).at(1).toBool());
    QTest::mouseMove(&widget, centre);
    EXPECT_EQ(scrolled.count(), 2);
}

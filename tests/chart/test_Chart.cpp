#include "chart/Chart.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace flowloom::chart;

namespace {

void fill(Series& s, std::size_t count, double y = 1.0)
{
    for (std::size_t i = 0; i < count; ++i)
        s.append(y, TimeLabel(static_cast<std::uint32_t>(i)), qRgb(0, 255, 0));
}

} // namespace

TEST(Chart, ShiftMovesTowardsDataOnlyMeasuredOverAllPoints)
{
    Chart chart;
    Series& shown = chart.addSeries(SeriesKind::Area, "a");
    Series& hidden = chart.addSeries(SeriesKind::Line, "b");
    hidden.setVisible(false);
    chart.bottomAxis().setRange(0.0, 100.0);

    EXPECT_FALSE(chart.shiftAxis(AxisId::Bottom, 5.0)); // no data at all
    fill(shown, 50);                                    // x 0..49, inside the window
    EXPECT_FALSE(chart.shiftAxis(AxisId::Bottom, 5.0));
    EXPECT_FALSE(chart.shiftAxis(AxisId::Bottom, -5.0)); // data begin at the minimum
    EXPECT_FALSE(chart.shiftAxis(AxisId::Bottom, 0.0));

    // A hidden series and points far beyond any first page count as well.
    fill(hidden, 1000); // x 0..999
    EXPECT_TRUE(chart.shiftAxis(AxisId::Bottom, 899.0));
    EXPECT_EQ(chart.bottomAxis().minimum(), 899.0);
    EXPECT_EQ(chart.bottomAxis().maximum(), 999.0);
    EXPECT_FALSE(chart.shiftAxis(AxisId::Bottom, 1.0)); // newest x 999 is not beyond 999
    EXPECT_TRUE(chart.shiftAxis(AxisId::Bottom, -899.0));
    EXPECT_EQ(chart.bottomAxis().minimum(), 0.0);

    // The vertical extent is the range of the y values.
    chart.leftAxis().setRange(0.0, 10.0);
    shown.append(25.0, TimeLabel(0), qRgb(0, 255, 0));
    EXPECT_FALSE(chart.shiftAxis(AxisId::Left, -1.0)); // smallest y 1 is not below 0
    EXPECT_TRUE(chart.shiftAxis(AxisId::Left, 3.0));   // largest y 25 is beyond 10
    EXPECT_EQ(chart.leftAxis().maximum(), 13.0);
}

TEST(Chart, SwapExchangesDrawingPositionsAndTwiceRestores)
{
    Chart chart;
    for (const char* name : {"Series1", "Series2", "Series3", "Series4"})
        chart.addSeries(SeriesKind::Area, name);
    chart.swapDrawingOrder(0, 1);
    chart.swapDrawingOrder(2, 3);
    EXPECT_EQ(chart.drawingOrder(), (std::vector<std::size_t>{1, 0, 3, 2}));
    chart.swapDrawingOrder(0, 1);
    chart.swapDrawingOrder(2, 3);
    EXPECT_EQ(chart.drawingOrder(), (std::vector<std::size_t>{0, 1, 2, 3}));
    EXPECT_EQ(chart.findSeries("Series3"), &chart.series(2));
    EXPECT_EQ(chart.findSeries("Series9"), nullptr);
}

TEST(Chart, LabelsComeFromTheFirstShownSeriesElseTheLongest)
{
    Chart chart;
    Series& a = chart.addSeries(SeriesKind::Area, "a");
    Series& b = chart.addSeries(SeriesKind::Area, "b");
    EXPECT_EQ(chart.labelSeries(), nullptr);
    fill(a, 3);
    fill(b, 5);
    EXPECT_EQ(chart.labelSeries(), &a);
    a.setVisible(false);
    EXPECT_EQ(chart.labelSeries(), &b);
    b.setVisible(false);
    EXPECT_EQ(chart.labelSeries(), &b);
}

TEST(Chart, SeriesFedAlikeStoreTheirValuesAndLabelsOnce)
{
    Chart chart;
    Series& s1 = chart.addSeries(SeriesKind::Area, "Series1");
    Series& s2 = chart.addSeries(SeriesKind::Area, "Series2");
    Series& s3 = chart.addSeries(SeriesKind::Line, "Series3", &s1);
    Series& s4 = chart.addSeries(SeriesKind::Line, "Series4", &s2);
    const std::size_t ticks = 100'000;
    for (std::size_t i = 0; i < ticks; ++i) {
        const TimeLabel t(static_cast<std::uint32_t>(i));
        const double down = static_cast<double>(i % 977);
        const double up = static_cast<double>(i % 131);
        s1.append(down, t, qRgb(0, 255, 0));
        s2.append(up, t, qRgb(255, 255, 0));
        s3.append(down, t, qRgb(0, 255, 0));
        s4.append(up, t, qRgb(255, 255, 0));
    }
    EXPECT_EQ(s3.y(4321), static_cast<double>(4321 % 977));
    EXPECT_EQ(s4.label(99'999).secondsOfDay(), 99'999u % TimeLabel::secondsPerDay);
    // Two value columns (8 bytes) and one label column (4 bytes) per tick,
    // plus at most one partly used block per column.
    const double perTick = static_cast<double>(chart.storageBytes()) / ticks;
    EXPECT_GE(perTick, 20.0);
    EXPECT_LT(perTick, 21.0);
}

TEST(Chart, DraggingPansTheAxesWithThePointerAndNotifies)
{
    Chart chart;
    chart.bottomAxis().setRange(0.0, 100.0);
    chart.leftAxis().setRange(0.0, 1000.0);
    QImage image(600, 400, QImage::Format_RGB32);
    const ChartLayout geometry = chart.layout(image.rect(), &image);
    const QPointF centre = geometry.front().center();

    int scrolls = 0;
    Qt::MouseButton downButton = Qt::NoButton;
    bool downShift = false;
    bool upShift = true;
    chart.setScrollHandler([&] { ++scrolls; });
    chart.setMouseDownHandler([&](Qt::MouseButton b, bool shift) {
        downButton = b;
        downShift = shift;
    });
    chart.setMouseUpHandler([&](Qt::MouseButton, bool shift) { upShift = shift; });

    chart.mousePress(geometry, centre, Qt::LeftButton, true);
    EXPECT_EQ(downButton, Qt::LeftButton);
    EXPECT_TRUE(downShift);
    ASSERT_TRUE(chart.panning());

    // 20 pixels right and 10 down: the content follows, the axes move against it.
    const double unitsPerPixelX = 1.0 / geometry.bottomScale().pixelsPerUnit();
    const double unitsPerPixelY = -1.0 / geometry.leftScale().pixelsPerUnit();
    EXPECT_TRUE(chart.mouseMove(geometry, centre + QPointF(20.0, 10.0)));
    EXPECT_EQ(scrolls, 1);
    EXPECT_NEAR(chart.bottomAxis().minimum(), -20.0 * unitsPerPixelX, 1e-9);
    EXPECT_NEAR(chart.bottomAxis().maximum(), 100.0 - 20.0 * unitsPerPixelX, 1e-9);
    EXPECT_NEAR(chart.leftAxis().minimum(), 10.0 * unitsPerPixelY, 1e-9);

    // Vertical only: horizontal movement is ignored.
    chart.setPanDirections(PanDirections::Vertical);
    const double bottomBefore = chart.bottomAxis().minimum();
    EXPECT_FALSE(chart.mouseMove(geometry, centre + QPointF(60.0, 10.0)));
    EXPECT_EQ(chart.bottomAxis().minimum(), bottomBefore);
    EXPECT_EQ(scrolls, 1);

    chart.mouseRelease(Qt::LeftButton, false);
    EXPECT_FALSE(upShift);
    EXPECT_FALSE(chart.panning());
    EXPECT_FALSE(chart.mouseMove(geometry, centre));

    // A right button, or a press outside the plot area, notifies but never drags.
    chart.mousePress(geometry, centre, Qt::RightButton, false);
    EXPECT_EQ(downButton, Qt::RightButton);
    EXPECT_FALSE(chart.panning());
    chart.mousePress(geometry, QPointF(1.0, 1.0), Qt::LeftButton, false);
    EXPECT_FALSE(chart.panning());
}

TEST(Chart, LeavingThePlotAreaEndsTheDrag)
{
    Chart chart;
    QImage image(600, 400, QImage::Format_RGB32);
    const ChartLayout geometry = chart.layout(image.rect(), &image);
    chart.mousePress(geometry, geometry.front().center(), Qt::LeftButton, false);
    EXPECT_FALSE(chart.mouseMove(geometry, QPointF(geometry.plotArea().right() + 5.0, 50.0)));
    EXPECT_FALSE(chart.panning());
    const double before = chart.leftAxis().minimum();
    EXPECT_FALSE(chart.mouseMove(geometry, geometry.front().center()));
    EXPECT_EQ(chart.leftAxis().minimum(), before);
}

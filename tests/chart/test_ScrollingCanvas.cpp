// A scrolled drawing must be the very drawing a whole repaint gives: after
// every tick the canvas' image is compared, pixel for pixel, with the chart
// drawn anew into an image of its own.
#include "chart/Chart.h"
#include "chart/ScrollingCanvas.h"

#include <QFont>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace flowloom::chart;

namespace {

const QSize graphSize(791, 385);

QImage wholeDrawing(const Chart& chart, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(chart.backgroundColour());
    QPainter painter(&image);
    chart.draw(painter, QRect(QPoint(0, 0), size));
    return image;
}

// Number of differing pixels and the first of them, for the failure message.
struct Difference
{
    int count = 0;
    QPoint first{-1, -1};
};

Difference compare(const QImage& a, const QImage& b)
{
    Difference d;
    if (a.size() != b.size()) {
        d.count = -1;
        return d;
    }
    for (int y = 0; y < a.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if ((ra[x] & 0xffffff) != (rb[x] & 0xffffff)) {
                if (d.count++ == 0)
                    d.first = QPoint(x, y);
            }
        }
    }
    return d;
}

// Traffic that moves every tick, within 0..950; spiky: every other point at
// the top, so that the lines' joins are as sharp as they get.
double valueAt(std::size_t tick, double scale, bool spiky)
{
    if (spiky)
        return scale * (tick % 2 == 0 ? 950.0 : 10.0 * static_cast<double>(tick % 7));
    const auto t = static_cast<double>(tick);
    return scale * (450.0 + 300.0 * std::sin(t / 3.7) + 150.0 * std::cos(t / 1.3));
}

enum class Kinds { Areas, Lines, Both };

struct Case
{
    const char* name;
    Kinds kinds;
    bool grid;
    int pointsPerPage;
    int rescaleAtTick; // -1: never
    int gapAtTick;     // -1: never
    bool stepped;
    bool spiky = false;
    bool filling = false; // a first page, not full yet: the window stands still
    // The band of time labels scrolls between the plot area and this title.
    bool bottomTitle = false;
    bool uprightLabels = false;
    double traffic = 1.0; // of the usual values: quiet traffic keeps the lines low
};

// A chart fed as the program feeds it: two directions, the window on the
// newest points.
struct FedChart
{
    Chart chart;
    std::vector<Series*> directions[2];
    std::size_t points = 0;
    int pointsPerPage;
    double scale = 1.0;
    bool spiky;

    bool filling;

    explicit FedChart(const Case& c)
        : pointsPerPage(c.pointsPerPage), scale(c.traffic), spiky(c.spiky), filling(c.filling)
    {
        chart.setTitle(QStringLiteral("Bandwidth graph of 127.0.0.1"));
        chart.leftAxis().setTitle(QStringLiteral("KBytes / sec"));
        if (c.bottomTitle)
            chart.bottomAxis().setTitle(QStringLiteral("Time"));
        if (c.uprightLabels)
            chart.bottomAxis().setLabelAngle(LabelAngle::Vertical);
        chart.bottomAxis().setGridVisible(c.grid);
        chart.leftAxis().setGridVisible(c.grid);
        for (int d = 0; d < 2; ++d) {
            const std::string name = d == 0 ? "in" : "out";
            if (c.kinds != Kinds::Lines)
                directions[d].push_back(&chart.addSeries(SeriesKind::Area, name + " area"));
            if (c.kinds != Kinds::Areas)
                directions[d].push_back(&chart.addSeries(SeriesKind::Line, name + " line"));
        }
        for (auto& direction : directions) {
            for (Series* s : direction)
                s->setStepped(c.stepped);
        }
        chart.leftAxis().setRange(-2.0, 1000.0);
        for (int i = 0; i < (filling ? 20 : pointsPerPage + 30); ++i)
            append(false);
    }

    void append(bool gap)
    {
        for (int d = 0; d < 2; ++d) {
            const QRgb colour = d == 0 ? qRgb(0, 200, 0) : qRgb(200, 0, 0);
            for (Series* s : directions[d]) {
                const TimeLabel label(static_cast<std::uint32_t>(43200 + points));
                if (gap)
                    s->appendGap(label, colour);
                else
                    s->append(valueAt(points + 7 * static_cast<std::size_t>(d), scale, spiky) /
                                  (d == 0 ? 1.0 : 3.0),
                              label, colour);
            }
        }
        ++points;
        const double newest = static_cast<double>(points - 1);
        if (filling)
            chart.bottomAxis().setRange(-10.0, pointsPerPage);
        else
            chart.bottomAxis().setRange(newest - pointsPerPage, newest);
    }
};

class ScrollingCanvasTicks : public testing::TestWithParam<Case>
{
};

TEST_P(ScrollingCanvasTicks, EveryTickLooksLikeAWholeRepaint)
{
    const Case& c = GetParam();
    FedChart fed(c);
    ScrollingCanvas canvas;
    EXPECT_EQ(canvas.render(fed.chart, graphSize), ScrollingCanvas::Drawing::Whole);
    constexpr int ticks = 24;
    int scrolled = 0;
    for (int tick = 0; tick < ticks; ++tick) {
        if (tick == c.rescaleAtTick) {
            // The vertical axis doubles, as the fit does when traffic grows.
            fed.scale = 2.0;
            fed.chart.leftAxis().setRange(-4.0, 2000.0);
        }
        fed.append(tick == c.gapAtTick);
        const auto how = canvas.render(fed.chart, graphSize, ScrollingCanvas::Since::Tick);
        scrolled += how == ScrollingCanvas::Drawing::Scrolled ? 1 : 0;
        if (tick == c.rescaleAtTick) {
            EXPECT_EQ(how, ScrollingCanvas::Drawing::Whole) << "a new scale redraws";
        }
        const Difference d = compare(canvas.image(), wholeDrawing(fed.chart, graphSize));
        ASSERT_EQ(d.count, 0) << "tick " << tick << ", first difference at " << d.first.x() << ","
                              << d.first.y();
        if (c.filling && how == ScrollingCanvas::Drawing::Scrolled) {
            // The empty rest of the page stays as it was.
            const QRect front = canvas.layout().front().toRect();
            EXPECT_EQ(canvas.scrolledBy(), 0);
            EXPECT_FALSE(canvas.drawn().contains(QPoint(front.right(), front.center().y())));
        }
        if (c.traffic < 0.1 && !c.grid && how == ScrollingCanvas::Drawing::Scrolled) {
            // Low lines: above them only the columns that came into view are drawn.
            const QRect front = canvas.layout().front().toRect();
            const QRect upperHalf(front.left(), front.top(), front.width() - canvas.scrolledBy(),
                                  front.height() / 2);
            EXPECT_TRUE((canvas.drawn() & upperHalf).isEmpty()) << "tick " << tick;
        }
    }
    // Every tick but the rescale scrolled: the comparison judged the scroll.
    EXPECT_EQ(scrolled, ticks - (c.rescaleAtTick >= 0 ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ScrollingCanvasTicks,
    testing::Values(
        Case{"AreasGrid400", Kinds::Areas, true, 400, -1, -1, false},
        Case{"AreasNoGrid400", Kinds::Areas, false, 400, -1, -1, false},
        Case{"LinesGrid400", Kinds::Lines, true, 400, -1, -1, false},
        Case{"LinesNoGrid60", Kinds::Lines, false, 60, -1, -1, false},
        Case{"AreasGrid60", Kinds::Areas, true, 60, -1, -1, false},
        Case{"BothGrid400Rescale", Kinds::Both, true, 400, 11, -1, false},
        Case{"BothGrid60Rescale", Kinds::Both, true, 60, 11, -1, false},
        Case{"LinesGrid60Rescale", Kinds::Lines, true, 60, 5, -1, false},
        Case{"BothGrid400Gap", Kinds::Both, true, 400, -1, 9, false},
        Case{"BothGrid60Stepped", Kinds::Both, true, 60, -1, -1, true},
        Case{"BothGrid400Stepped", Kinds::Both, true, 400, -1, 4, true},
        Case{"SpikyLines400", Kinds::Lines, false, 400, -1, -1, false, true},
        Case{"SpikyLines1000", Kinds::Lines, true, 1000, -1, -1, false, true},
        Case{"SpikyAreas60", Kinds::Areas, true, 60, 13, -1, false, true},
        Case{"BothGrid400Filling", Kinds::Both, true, 400, -1, 6, false, false, true},
        Case{"BothGrid60SteppedFilling", Kinds::Both, true, 60, 9, 3, true, true, true},
        Case{"BothGrid60BottomTitleGap", Kinds::Both, true, 60, -1, 7, false, false, false, true},
        Case{"LinesGrid60Upright", Kinds::Lines, true, 60, -1, 5, false, false, false, true, true},
        Case{"AreasGrid400Upright", Kinds::Areas, true, 400, -1, -1, false, false, false, false,
             true},
        Case{"QuietBoth400", Kinds::Both, false, 400, -1, -1, false, false, false, false, false,
             0.01},
        Case{"QuietSpikyLines60Filling", Kinds::Lines, false, 60, -1, -1, false, true, true, false,
             false, 0.05},
        Case{"QuietBothGrid60SteppedGap", Kinds::Both, true, 60, -1, 8, true, false, false, false,
             false, 0.01}),
    [](const testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

// Changes after which only a whole repaint gives the right picture.
struct Change
{
    const char* name;
    void (*apply)(FedChart&, QSize& size);
};

class ScrollingCanvasWhole : public testing::TestWithParam<Change>
{
};

TEST_P(ScrollingCanvasWhole, RedrawsAndStillMatches)
{
    const Case base{"", Kinds::Both, true, 60, -1, -1, false};
    FedChart fed(base);
    ScrollingCanvas canvas;
    QSize size = graphSize;
    canvas.render(fed.chart, size);
    fed.append(false);
    ASSERT_EQ(canvas.render(fed.chart, size), ScrollingCanvas::Drawing::Scrolled);
    GetParam().apply(fed, size);
    EXPECT_EQ(canvas.render(fed.chart, size), ScrollingCanvas::Drawing::Whole);
    const Difference d = compare(canvas.image(), wholeDrawing(fed.chart, size));
    EXPECT_EQ(d.count, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ScrollingCanvasWhole,
    testing::Values(
        Change{"Resize",
               [](FedChart& f, QSize& s) {
                   s = QSize(640, 300);
                   f.append(false);
               }},
        Change{"ThreeD",
               [](FedChart& f, QSize&) {
                   f.chart.setThreeD(true);
                   f.append(false);
               }},
        Change{"GridColour",
               [](FedChart& f, QSize&) {
                   f.chart.leftAxis().setGridColour(Qt::yellow);
                   f.append(false);
               }},
        Change{"SeriesHidden",
               [](FedChart& f, QSize&) {
                   f.chart.series(1).setVisible(false);
                   f.append(false);
               }},
        Change{"Cleared",
               [](FedChart& f, QSize&) {
                   for (std::size_t i = 0; i < f.chart.seriesCount(); ++i)
                       f.chart.series(i).clear();
                   f.points = 0;
                   for (int i = 0; i < 80; ++i)
                       f.append(false);
               }},
        Change{"PannedBack", [](FedChart& f, QSize&) { f.chart.bottomAxis().move(-7.0); }},
        Change{"PlotColour", [](FedChart& f, QSize&) { f.chart.setPlotColour(Qt::darkBlue); }},
        // The kept text sizes: labels of a new peak ("100,000" after
        // "1,000") widen the label column and narrow the plot.
        Change{"LabelsWiden",
               [](FedChart& f, QSize&) {
                   f.chart.leftAxis().setRange(-200.0, 100000.0);
                   f.append(false);
               }},
        Change{"LabelsNarrow",
               [](FedChart& f, QSize&) {
                   f.chart.leftAxis().setRange(-1.0, 50.0);
                   f.append(false);
               }},
        Change{"LabelFontGrows",
               [](FedChart& f, QSize&) {
                   QFont font = f.chart.leftAxis().labelFont();
                   font.setPointSize(font.pointSize() + 6);
                   f.chart.leftAxis().setLabelFont(font);
                   f.chart.bottomAxis().setLabelFont(font);
                   f.append(false);
               }},
        Change{"TitleFontGrows",
               [](FedChart& f, QSize&) {
                   QFont font = f.chart.titleFont();
                   font.setPointSize(font.pointSize() * 2);
                   f.chart.setTitleFont(font);
                   f.append(false);
               }}),
    [](const testing::TestParamInfo<Change>& param) { return std::string(param.param.name); });

TEST(ScrollingCanvas, ReleasedImageIsDrawnWholeAgain)
{
    const Case base{"", Kinds::Both, true, 60, -1, -1, false};
    FedChart fed(base);
    ScrollingCanvas canvas;
    canvas.render(fed.chart, graphSize);
    canvas.release();
    EXPECT_TRUE(canvas.image().isNull());
    fed.append(false);
    EXPECT_EQ(canvas.render(fed.chart, graphSize), ScrollingCanvas::Drawing::Whole);
    EXPECT_EQ(compare(canvas.image(), wholeDrawing(fed.chart, graphSize)).count, 0);
    fed.append(false);
    EXPECT_EQ(canvas.render(fed.chart, graphSize), ScrollingCanvas::Drawing::Scrolled);
}

// A window held still while points arrive beyond it: nothing new is seen,
// and what is seen must not change.
TEST(ScrollingCanvas, HeldWindowKeepsItsPicture)
{
    const Case base{"", Kinds::Both, true, 60, -1, -1, false};
    FedChart fed(base);
    const double held = fed.chart.bottomAxis().minimum() - 10.0;
    fed.chart.bottomAxis().setRange(held, held + 60.0);
    ScrollingCanvas canvas;
    canvas.render(fed.chart, graphSize);
    for (int tick = 0; tick < 5; ++tick) {
        fed.append(false);
        fed.chart.bottomAxis().setRange(held, held + 60.0);
        EXPECT_EQ(canvas.render(fed.chart, graphSize), ScrollingCanvas::Drawing::Scrolled);
        EXPECT_EQ(compare(canvas.image(), wholeDrawing(fed.chart, graphSize)).count, 0);
    }
}

// Every point moves by the same whole number of pixels when the window moves,
// whatever the fraction of a pixel per point.
TEST(ChartLayoutColumns, PointsMoveByOneWholeShift)
{
    Chart chart;
    const QRect bounds(0, 0, 791, 385);
    for (const double width : {60.0, 400.0, 1000.0, 7.0}) {
        chart.bottomAxis().setRange(100.0, 100.0 + width);
        const ChartLayout before = chart.layout(bounds, nullptr);
        const double perUnit = before.bottomScale().pixelsPerUnit();
        chart.bottomAxis().setRange(101.0, 101.0 + width);
        const ChartLayout after = chart.layout(bounds, nullptr);
        const double shift = std::round(101.0 * perUnit) - std::round(100.0 * perUnit);
        for (double i = 90.0; i < 110.0 + width; i += 1.0) {
            EXPECT_EQ(before.columnX(i) - after.columnX(i), shift) << width << " " << i;
            // Never further than half a pixel from the exact position.
            EXPECT_LE(std::abs(after.columnX(i) - after.bottomScale().toPixel(i)), 1.0);
        }
    }
}

} // namespace

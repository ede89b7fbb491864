// The engine judged by the pixels it draws.
#include "chart/Chart.h"
#include "chart/SeriesOutline.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>

using namespace flowloom::chart;

namespace {

const QRgb red = qRgb(255, 0, 0);
const QRgb blue = qRgb(0, 0, 255);
const QRgb green = qRgb(0, 255, 0);
const QRgb plotColour = qRgb(0, 0, 0);

struct Picture
{
    QImage image{400, 300, QImage::Format_RGB32};
    ChartLayout layout;

    explicit Picture(const Chart& chart)
    {
        image.fill(chart.backgroundColour());
        QPainter painter(&image);
        layout = chart.draw(painter, image.rect());
    }

    // The pixel at point x of the horizontal axis and value v of the vertical one.
    QRgb at(double x, double v) const
    {
        return image.pixel(static_cast<int>(std::floor(layout.bottomScale().toPixel(x))),
                           static_cast<int>(std::floor(layout.leftScale().toPixel(v))));
    }
    QRgb pixel(double px, double py) const
    {
        return image.pixel(static_cast<int>(std::floor(px)), static_cast<int>(std::floor(py)));
    }
};

// A chart without grid or text, so that only walls and series colour the plot.
void plain(Chart& chart)
{
    chart.bottomAxis().setRange(0.0, 10.0);
    chart.leftAxis().setRange(0.0, 100.0);
    chart.bottomAxis().setGridVisible(false);
    chart.leftAxis().setGridVisible(false);
    chart.bottomAxis().setLabelsVisible(false);
    chart.leftAxis().setLabelsVisible(false);
}

void add(Series& s, double y, QRgb colour)
{
    s.append(y, TimeLabel(static_cast<std::uint32_t>(s.size())), colour);
}

} // namespace

TEST(ChartPainter, EachPointShowsItsOwnColourAndAChangeAffectsOnlyLaterPoints)
{
    for (bool stepped : {false, true}) {
        Chart chart;
        plain(chart);
        Series& s = chart.addSeries(SeriesKind::Area, "a");
        s.setStepped(stepped);
        for (int i = 0; i <= 10; ++i)
            add(s, 80.0, i < 5 ? red : blue);
        const Picture picture(chart);
        // A ramp's stretch leads to its point, a step's stretch starts from it.
        for (int i = 0; i <= 9; ++i) {
            const double x = stepped ? i + 0.5 : i + 1 - 0.5;
            const int owner = stepped ? i : i + 1;
            EXPECT_EQ(picture.at(x, 40.0), owner < 5 ? red : blue)
                << (stepped ? "steps" : "ramp") << " point " << owner;
        }
        EXPECT_EQ(picture.at(4.5, 95.0), plotColour);
    }
}

TEST(ChartPainter, HiddenSeriesAreNotDrawnAndTheOrderDecidesWhatCovers)
{
    Chart chart;
    plain(chart);
    Series& high = chart.addSeries(SeriesKind::Area, "high");
    Series& low = chart.addSeries(SeriesKind::Area, "low");
    for (int i = 0; i <= 10; ++i) {
        add(high, 80.0, green);
        add(low, 50.0, red);
    }
    EXPECT_EQ(Picture(chart).at(5.5, 25.0), red); // low is drawn last, over high
    EXPECT_EQ(Picture(chart).at(5.5, 65.0), green);

    low.setVisible(false);
    EXPECT_EQ(Picture(chart).at(5.5, 25.0), green);

    high.setVisible(false);
    EXPECT_EQ(Picture(chart).at(5.5, 25.0), plotColour);
    EXPECT_EQ(Picture(chart).at(5.5, 65.0), plotColour);

    // Swapped, the lower area is hidden behind the higher one.
    high.setVisible(true);
    low.setVisible(true);
    chart.swapDrawingOrder(0, 1);
    EXPECT_EQ(Picture(chart).at(5.5, 25.0), green);
}

TEST(ChartPainter, StepsRunLevelToTheNextPointRampsClimbStraight)
{
    for (bool stepped : {false, true}) {
        Chart chart;
        plain(chart);
        Series& s = chart.addSeries(SeriesKind::Area, "a");
        s.setStepped(stepped);
        add(s, 0.0, green);
        for (int i = 1; i <= 10; ++i)
            add(s, 80.0, green);
        const Picture picture(chart);
        // Half way from x = 0 (value 0) to x = 1 (value 80): a ramp stands at
        // 40 there, a step still at 0.
        EXPECT_EQ(picture.at(0.5, 20.0), stepped ? plotColour : green);
        EXPECT_EQ(picture.at(0.5, 60.0), plotColour);
        EXPECT_EQ(picture.at(0.25, 5.0), stepped ? plotColour : green);
        EXPECT_EQ(picture.at(1.5, 60.0), green);
    }

    // A line draws only its line: below it the plot stays empty.
    Chart chart;
    plain(chart);
    Series& line = chart.addSeries(SeriesKind::Line, "l");
    for (int i = 0; i <= 10; ++i)
        add(line, 50.0, red);
    const Picture picture(chart);
    EXPECT_EQ(picture.at(5.5, 25.0), plotColour);
    const int y = static_cast<int>(std::floor(picture.layout.leftScale().toPixel(50.0)));
    const int x = static_cast<int>(picture.layout.bottomScale().toPixel(5.5));
    const bool onLine = picture.image.pixel(x, y) == red || picture.image.pixel(x, y - 1) == red ||
                        picture.image.pixel(x, y + 1) == red;
    EXPECT_TRUE(onLine);
}

TEST(ChartPainter, ThreeDimensionalViewReachesBackTenPercentWithoutPerspective)
{
    Chart chart;
    plain(chart);
    Series& s = chart.addSeries(SeriesKind::Area, "a");
    for (int i = 0; i <= 10; ++i)
        add(s, 20.0, green);

    const Picture flat(chart);
    EXPECT_EQ(flat.layout.depth(), 0.0);

    chart.setThreeD(true);
    const Picture deep(chart);
    const double d = deep.layout.depth();
    EXPECT_EQ(d, std::round(deep.layout.plotArea().height() * 0.10));
    ASSERT_GE(d, 8.0);
    EXPECT_EQ(deep.layout.backWall(), deep.layout.front().translated(d, -d));

    const double px = deep.layout.bottomScale().toPixel(5.0);
    const double py = deep.layout.leftScale().toPixel(20.0);
    // Front face in the series colour, the top reaching d pixels back in a
    // darker shade of it, and the plot colour above that.
    EXPECT_EQ(deep.pixel(px, py + 3.0), green);
    const QColor roof = QColor::fromRgb(deep.pixel(px, py - d / 2.0));
    EXPECT_EQ(roof.red(), 0);
    EXPECT_EQ(roof.blue(), 0);
    EXPECT_GT(roof.green(), 0);
    EXPECT_LT(roof.green(), 255);
    EXPECT_EQ(deep.pixel(px, py - d - 3.0), plotColour);
    EXPECT_EQ(flat.pixel(px, py - d / 2.0), plotColour);
    // The parallel projection moves every depth by the same offset: the roof
    // is just as deep at the other end of the window.
    const double px2 = deep.layout.bottomScale().toPixel(1.0);
    EXPECT_EQ(deep.pixel(px2, py - d / 2.0), roof.rgb());
    EXPECT_EQ(deep.pixel(px2, py - d - 3.0), plotColour);

    // The left wall is silver.
    const QRectF& f = deep.layout.front();
    EXPECT_EQ(deep.pixel(f.left() + d / 2.0, f.top() + f.height() * 0.2), qRgb(192, 192, 192));
}

TEST(ChartPainter, DrawsIntoAnyRectangleOfTheDevice)
{
    Chart chart;
    plain(chart);
    chart.setPanelColour(QColor(10, 20, 30));
    chart.setPlotColour(QColor(40, 50, 60));
    QImage image(300, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const ChartLayout layout = chart.draw(painter, QRect(100, 50, 200, 150));
    painter.end();
    EXPECT_EQ(image.pixel(50, 25), qRgb(255, 255, 255)); // outside the rectangle
    EXPECT_EQ(image.pixel(101, 51), qRgb(10, 20, 30));   // the panel
    const QPointF c = layout.front().center();
    EXPECT_EQ(image.pixel(static_cast<int>(c.x()), static_cast<int>(c.y())), qRgb(40, 50, 60));
    EXPECT_GE(layout.front().left(), 100.0);
}

TEST(ChartPainter, BarSeriesStandSideBySideFromTheZeroLine)
{
    Chart chart;
    plain(chart);
    chart.bottomAxis().setRange(-0.5, 4.5);
    Series& down = chart.addSeries(SeriesKind::Bar, "down");
    Series& up = chart.addSeries(SeriesKind::Bar, "up");
    for (double v : {10.0, 80.0, 0.0, 40.0, 60.0})
        add(down, v, red);
    for (double v : {5.0, 20.0, 30.0, 90.0, 0.0})
        add(up, v, blue);
    const Picture picture(chart);

    // Point 1: down fills 0.6..1.0, up 1.0..1.4 of the axis.
    EXPECT_DOUBLE_EQ(SeriesOutline::barSpan(1, 0, 2).first, 0.6);
    EXPECT_DOUBLE_EQ(SeriesOutline::barSpan(1, 1, 2).second, 1.4);
    EXPECT_EQ(picture.at(0.8, 70.0), red);
    EXPECT_EQ(picture.at(0.8, 85.0), plotColour) << "above the bar";
    EXPECT_EQ(picture.at(1.2, 15.0), blue);
    EXPECT_EQ(picture.at(1.2, 25.0), plotColour);
    EXPECT_EQ(picture.at(1.5, 5.0), plotColour) << "a gap between points";
    EXPECT_EQ(picture.at(2.2, 25.0), blue);
    EXPECT_EQ(picture.at(1.8, 1.0), plotColour) << "a zero value draws nothing";
    EXPECT_EQ(picture.at(3.2, 85.0), blue);

    // Labels name the points as the program says.
    chart.bottomAxis().setLabelsVisible(true);
    chart.setLabelText([](std::size_t i) { return QStringLiteral("day %1").arg(i); });
    EXPECT_EQ(chart.labelText(down, 3), "day 3");
}

TEST(ChartPainter, AGapBreaksTheLineAndIsMarkedUnderTheAxis)
{
    const QRgb marker = qRgb(255, 255, 0);
    for (const SeriesKind kind : {SeriesKind::Area, SeriesKind::Line}) {
        for (const bool stepped : {false, true}) {
            Chart chart;
            plain(chart);
            chart.bottomAxis().setLabelColour(QColor::fromRgb(marker));
            Series& s = chart.addSeries(kind, "a");
            s.setStepped(stepped);
            for (int i = 0; i <= 10; ++i) {
                if (i == 5)
                    s.appendGap(TimeLabel(5), red);
                else
                    add(s, 80.0, red);
            }
            ASSERT_TRUE(s.isGap(5));
            ASSERT_FALSE(s.isGap(4));
            EXPECT_EQ(s.y(5), 0.0) << "a gap has no value";
            const Picture picture(chart);
            const char* what = kind == SeriesKind::Area ? (stepped ? "area steps" : "area ramp")
                                                        : (stepped ? "line steps" : "line ramp");
            // Low in the area: a ramp down to the gap's 0 would still cover it.
            const double v = 15.0;
            if (kind == SeriesKind::Area) {
                EXPECT_EQ(picture.at(2.5, v), red) << what;
                EXPECT_EQ(picture.at(7.5, v), red) << what;
                // Nothing leads to the gap's point, nothing leaves it; a step
                // before it runs level up to it.
                EXPECT_EQ(picture.at(4.5, v), stepped ? red : plotColour) << what;
                EXPECT_EQ(picture.at(5.5, v), plotColour) << what;
            } else {
                // Any red (smoothed on a ramp) anywhere up the column: a
                // line towards the gap's 0 would cross it.
                auto reddish = [](QRgb p) { return qRed(p) > 40 && qGreen(p) == 0; };
                auto onLine = [&](double x) {
                    const double px = picture.layout.bottomScale().toPixel(x);
                    const QRectF& f = picture.layout.front();
                    for (double py = f.top(); py < f.bottom(); py += 1.0) {
                        if (reddish(picture.pixel(px, py)))
                            return true;
                    }
                    return false;
                };
                EXPECT_TRUE(onLine(2.5)) << what;
                EXPECT_TRUE(onLine(7.5)) << what;
                EXPECT_EQ(onLine(4.5), stepped) << what;
                EXPECT_FALSE(onLine(5.5)) << what;
            }
            // The marker: a triangle just under the axis at the gap's x.
            const QRectF& f = picture.layout.front();
            const double x5 = std::round(picture.layout.bottomScale().toPixel(5.0));
            EXPECT_EQ(picture.pixel(x5, f.bottom() + 3.0), marker) << what;
            EXPECT_NE(picture.pixel(picture.layout.bottomScale().toPixel(2.0), f.bottom() + 3.0),
                      marker)
                << what << ": only gaps are marked";
        }
    }
}

TEST(ChartPainter, AClearedSeriesForgetsItsGaps)
{
    Chart chart;
    Series& s = chart.addSeries(SeriesKind::Area, "a");
    add(s, 1.0, red);
    s.appendGap(TimeLabel(1), red);
    add(s, 2.0, red);
    EXPECT_EQ(s.gaps(), (std::vector<std::size_t>{1}));
    EXPECT_EQ(s.maxY(), 2.0);
    EXPECT_EQ(s.minY(), 0.0);
    s.clear();
    EXPECT_TRUE(s.gaps().empty());
    add(s, 1.0, red);
    add(s, 1.0, red);
    EXPECT_FALSE(s.isGap(1)) << "the index of an old gap is a point like any other";
}

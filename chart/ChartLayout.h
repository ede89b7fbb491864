#pragma once

#include "chart/AxisScale.h"
#include "chart/ValueTicks.h"

#include <QFont>
#include <QRectF>

#include <cmath>
#include <cstddef>
#include <vector>

class QPaintDevice;

namespace flowloom::chart {

class Chart;

// Text sizes measured for layouts and kept between them: measuring text costs
// more than all the rest of a layout, and a graph that only scrolls on asks
// for the same sizes of the same fonts every tick. A font's sizes are measured
// again when the font or the device's resolution changes, the width of the
// vertical axis' labels when their values (so their texts) change too.
class LayoutMeasures
{
public:
    struct FontSizes
    {
        double height = 0.0;
        double ascent = 0.0;
    };

    // The device the next sizes are measured as on; its resolution is asked
    // here, once for a whole layout. Null: the default resolution, which
    // follows the screen, so nothing is kept.
    void measureFor(const QPaintDevice* device);
    FontSizes sizesOf(const QFont& font);
    // Width of the widest time label in font.
    double timeLabelWidth(const QFont& font);
    // Width of the widest label of ticks in font.
    double widestValue(const ValueTicks& ticks, const QFont& font);
    // The vertical axis' labelled values, worked out again only for another
    // range, scale or spacing (which takes logarithms).
    const ValueTicks& ticksFor(double minimum, double maximum, double pixelsPerUnit,
                               double minSpacing);

private:
    struct Entry
    {
        QFont font;
        int dpiX = 0;
        int dpiY = 0;
        FontSizes sizes;
        double timeLabelWidth = -1.0; // not measured yet
    };
    // The kept entry of font on the device, null when nothing is kept.
    Entry* entryOf(const QFont& font);

    struct WidestValue
    {
        QFont font;
        int dpiX = 0;
        int dpiY = 0;
        double first = 0.0;
        double step = 0.0;
        std::size_t count = 0;
        double width = -1.0; // not measured yet
    };
    struct KeptTicks
    {
        double minimum = 0.0;
        double maximum = 0.0;
        double pixelsPerUnit = 0.0;
        double minSpacing = 0.0;
        ValueTicks ticks{0.0, 0.0, 0.0, 0.0};
        bool kept = false;
    };
    const QPaintDevice* m_device = nullptr;
    int m_dpiX = 0;
    int m_dpiY = 0;
    std::vector<Entry> m_fonts;
    WidestValue m_widest;
    KeptTicks m_ticks;
};

// Where everything of one drawing goes, computed from the chart and the size
// of the target alone, so that a drawing and the mouse input that follows it
// agree and tests can check the geometry.
//
// In the three-dimensional view the series stand on a front plane (front())
// and reach back by depth() pixels up and to the right (parallel projection);
// the back wall is front() moved by (depth, -depth). In the flat view the
// depth is 0 and front() is the whole plot area.
class ChartLayout
{
public:
    ChartLayout() = default;
    // measures, when given, keeps text sizes from layout to layout (one
    // device's or several of one resolution).
    ChartLayout(const Chart& chart, const QRectF& bounds, const QPaintDevice* device,
                LayoutMeasures* measures = nullptr);

    const QRectF& bounds() const { return m_bounds; }
    const QRectF& titleRect() const { return m_titleRect; }
    // The plot area: front plane, walls and depth together.
    const QRectF& plotArea() const { return m_plotArea; }
    const QRectF& front() const { return m_front; }
    QRectF backWall() const { return m_front.translated(m_depth, -m_depth); }
    double depth() const { return m_depth; }

    const AxisScale& bottomScale() const { return m_bottomScale; }
    // Pixel column of point index of the horizontal axis. Unlike
    // bottomScale().toPixel(), every point keeps its offset from the axis
    // minimum's column when the window moves: all points move by the same
    // whole number of pixels, so a drawing can be scrolled instead of redrawn.
    double columnX(double index) const
    {
        const double perUnit = m_bottomScale.pixelsPerUnit();
        return m_bottomScale.pixelAtMinimum() +
               (std::round(index * perUnit) - std::round(m_bottomScale.minimum() * perUnit));
    }
    const AxisScale& leftScale() const { return m_leftScale; }
    const ValueTicks& leftTicks() const { return m_leftTicks; }
    // Points between two labelled points of the horizontal axis.
    std::size_t labelStep() const { return m_labelStep; }

    // Right edge of the vertical axis' labels, top edge of the horizontal ones.
    double leftLabelRight() const { return m_leftLabelRight; }
    double bottomLabelTop() const { return m_bottomLabelTop; }
    const QRectF& leftTitleRect() const { return m_leftTitleRect; }
    const QRectF& bottomTitleRect() const { return m_bottomTitleRect; }
    // Size of a time label along the horizontal axis and across it.
    double timeLabelWidth() const { return m_timeLabelWidth; }
    double labelHeight() const { return m_labelHeight; }
    double labelAscent() const { return m_labelAscent; }
    // Line height and ascent of the vertical axis' labels.
    double valueHeight() const { return m_valueHeight; }
    double valueAscent() const { return m_valueAscent; }

    static constexpr double labelGap = 4.0; // pixels between an axis and its labels

private:
    QRectF m_bounds;
    QRectF m_titleRect;
    QRectF m_plotArea;
    QRectF m_front;
    double m_depth = 0.0;
    AxisScale m_bottomScale;
    AxisScale m_leftScale;
    ValueTicks m_leftTicks{0.0, 0.0, 0.0, 0.0};
    std::size_t m_labelStep = 1;
    double m_leftLabelRight = 0.0;
    double m_bottomLabelTop = 0.0;
    QRectF m_leftTitleRect;
    QRectF m_bottomTitleRect;
    double m_timeLabelWidth = 0.0;
    double m_labelHeight = 0.0;
    double m_labelAscent = 0.0;
    double m_valueHeight = 0.0;
    double m_valueAscent = 0.0;
};

} // namespace flowloom::chart

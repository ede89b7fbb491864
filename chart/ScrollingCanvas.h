#pragma once

#include "chart/ChartLayout.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class QPaintDevice;
class QPainter;

namespace flowloom::chart {

class Chart;

// A chart kept drawn in an image that follows the chart from tick to tick.
//
// When the only change since the last drawing is that points were appended
// and the horizontal window moved on, the plot area is scrolled by whole
// pixels (ChartLayout::columnX moves every point by the same whole number of
// pixels) and only what the scroll cannot carry is drawn anew: the strip from
// the previously newest point to as far as the newest one reaches, in the
// rows its lines cover, and the columns that came into view, reading only
// the points that reach them, and everything outside the plot area (labels,
// titles). The
// dots of the horizontal grid lines move with the points, so they scroll
// too. After a tick, the band of time labels under the plot area scrolls
// with it, and only its ends and the labels of the new points are drawn
// anew. Any other change - a new scale of
// the vertical axis, a new size or look, a cleared series, the
// three-dimensional view, bars - draws the whole chart. Both ways give the
// same pixels.
//
// A screen that shows the previous image reaches the new one by scrolling
// scrolledArea() by scrolledBy() columns to the left and copying drawn(). A
// surface that keeps the drawing itself needs no image here: see plan().
class ScrollingCanvas
{
public:
    enum class Drawing { Whole, Scrolled };
    // What changed in the chart since the last render: anything, or (after a
    // tick) only points appended and the horizontal window moved on, which
    // leaves everything around the plot area as it was except the band of
    // time labels under it.
    enum class Since { Anything, Tick };

    // Brings the image up to date with chart at size and says how.
    Drawing render(const Chart& chart, QSize size, Since since = Since::Anything);

    // The same without the image, for a surface that keeps the last drawing
    // itself (a window's backing store): plan() says how to bring it up to
    // date, measuring text as on device; the surface then scrolls
    // scrolledArea() by scrolledBy() columns to the left, and paint() draws
    // what the plan left to draw (everything after a whole plan).
    Drawing plan(const Chart& chart, QSize size, Since since, const QPaintDevice* device);
    void paint(const Chart& chart, QPainter& painter) const;
    // Whether the last plan draws the whole chart.
    bool plannedWhole() const { return m_plannedWhole; }
    // Whether the next plan may scroll: the surface holds the last plan's drawing.
    bool valid() const { return m_valid; }

    // What the last render did: columns the plot area moved to the left (0
    // after a whole drawing), the area that moved, and what was drawn anew.
    int scrolledBy() const { return m_scrolledBy; }
    const QRect& scrolledArea() const { return m_scrolledArea; }
    const QRegion& drawn() const { return m_drawn; }

    const QImage& image() const { return m_image; }
    // Geometry of the last drawing.
    const ChartLayout& layout() const { return m_layout; }
    // The next render draws the whole chart.
    void invalidate() { m_valid = false; }
    // Gives the image's memory back (while nobody looks); the next render
    // draws the whole chart anew.
    void release()
    {
        m_image = QImage();
        m_valid = false;
    }
    // Text is measured and drawn as on a device of this resolution (dots per
    // metre), so that the image looks like a drawing straight onto the screen.
    void setResolution(int dotsPerMeterX, int dotsPerMeterY);

    // Pixels a line's joins and antialiasing reach left of its newest point.
    static constexpr int seamReach = 4;
    // More points than this in the strip drawn anew, and it is drawn at the
    // plot's full height rather than reading them all every tick.
    static constexpr std::size_t maxLinePoints = 256;

private:
    struct SeriesState
    {
        int kind = 0;
        bool visible = false;
        bool stepped = false;
        bool dividingLines = false;
        std::size_t size = 0;
        std::uint64_t clears = 0;
        bool operator==(const SeriesState&) const = default;
    };
    // Everything that decides the pixels inside the plot area, except the
    // position of the horizontal window and the points appended.
    struct PlotState
    {
        QSize size;
        QRectF front;
        double depth = 0.0;
        double leftMinimum = 0.0;
        double leftMaximum = 0.0;
        double leftPixelAtMinimum = 0.0;
        double leftPerUnit = 0.0;
        double tickFirst = 0.0;
        double tickStep = 0.0;
        std::size_t tickCount = 0;
        double bottomPerUnit = 0.0;
        double bottomPixelAtMinimum = 0.0;
        std::size_t labelStep = 0;
        QRgb panel = 0;
        QRgb plot = 0;
        bool bottomGrid = false;
        QRgb bottomGridColour = 0;
        bool bottomGridDotted = false;
        bool leftGrid = false;
        QRgb leftGridColour = 0;
        bool leftGridDotted = false;
        QRgb gapColour = 0;
        const void* labelSource = nullptr;
        std::size_t gapCount = 0;
        std::size_t labelCount = 0; // points of the label source
        std::vector<std::size_t> order;
        std::vector<SeriesState> series;
    };

    static void stateOf(const Chart& chart, const ChartLayout& layout, QSize size,
                        PlotState& state);
    // Whether state can be reached from m_state by appending and scrolling.
    bool canScroll(const Chart& chart, const PlotState& state) const;
    // The rows (first, last) that the visible series' lines and areas cover
    // from column fromColumn on, as far as lastDrawable; none when they
    // cannot be told or too many points stand there.
    static std::optional<std::pair<int, int>>
    lineRows(const Chart& chart, const ChartLayout& layout, int fromColumn, double lastDrawable);
    // The band of time labels under the plot area, down to the axis title;
    // empty when there is no room for it.
    static QRect labelBand(const ChartLayout& layout, const QRect& front, QSize size,
                           bool bottomTitle);
    // Moves the pixels of area dx columns to the left.
    void scrollLeft(const QRect& area, int dx);

    QImage m_image;
    ChartLayout m_layout;
    // Text sizes, measured again only when a font, the resolution or the
    // vertical axis' labels change.
    LayoutMeasures m_measures;
    PlotState m_state;
    PlotState m_nextState;   // the state being worked out, kept for its lists' room
    int m_dotsPerMeterX = 0; // 0: QImage's own
    int m_dotsPerMeterY = 0;
    double m_bottomMinimum = 0.0;
    double m_bottomMaximum = 0.0;
    bool m_valid = false;
    int m_scrolledBy = 0;
    QRect m_scrolledArea;
    QRegion m_drawn;
    // What the last plan left for paint().
    bool m_plannedWhole = true;
    Since m_plannedSince = Since::Anything;
    QRegion m_plannedSurroundings;
    QRect m_plannedPlot;    // the strip around the newest points
    QRect m_plannedColumns; // the columns that came into view, when the strip is lower
};

} // namespace flowloom::chart

#include "chart/ScrollingCanvas.h"

#include "chart/Chart.h"
#include "chart/ChartPainter.h"

#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace flowloom::chart {

void ScrollingCanvas::stateOf(const Chart& chart, const ChartLayout& layout, QSize size,
                              PlotState& state)
{
    state.size = size;
    state.front = layout.front();
    state.depth = layout.depth();
    const AxisScale& left = layout.leftScale();
    state.leftMinimum = left.minimum();
    state.leftMaximum = left.maximum();
    state.leftPixelAtMinimum = left.pixelAtMinimum();
    state.leftPerUnit = left.pixelsPerUnit();
    const ValueTicks& ticks = layout.leftTicks();
    state.tickCount = ticks.count();
    state.tickFirst = ticks.count() > 0 ? ticks.value(0) : 0.0;
    state.tickStep = ticks.step();
    state.bottomPerUnit = layout.bottomScale().pixelsPerUnit();
    state.bottomPixelAtMinimum = layout.bottomScale().pixelAtMinimum();
    state.labelStep = layout.labelStep();
    state.panel = chart.panelColour().rgba();
    state.plot = chart.plotColour().rgba();
    const Axis& bottom = chart.bottomAxis();
    state.bottomGrid = bottom.gridVisible();
    state.bottomGridColour = bottom.gridColour().rgba();
    state.bottomGridDotted = bottom.gridDotted();
    const Axis& leftAxis = chart.leftAxis();
    state.leftGrid = leftAxis.gridVisible();
    state.leftGridColour = leftAxis.gridColour().rgba();
    state.leftGridDotted = leftAxis.gridDotted();
    state.gapColour = bottom.labelColour().rgba();
    const Series* source = chart.labelSeries();
    state.labelSource = source;
    state.gapCount = source != nullptr ? source->gaps().size() : 0;
    state.labelCount = source != nullptr ? source->size() : 0;
    const std::vector<std::size_t>& order = chart.drawingOrder();
    state.order.assign(order.begin(), order.end());
    state.series.clear();
    for (std::size_t i = 0; i < chart.seriesCount(); ++i) {
        const Series& s = chart.series(i);
        state.series.push_back(SeriesState{static_cast<int>(s.kind()), s.visible(), s.stepped(),
                                           s.dividingLines(), s.size(), s.clearCount()});
    }
}

bool ScrollingCanvas::canScroll(const Chart& chart, const PlotState& state) const
{
    if (!m_valid || chart.threeD() || state.depth != 0.0 || qAlpha(state.panel) != 255 ||
        qAlpha(state.plot) != 255 || state.series.size() != m_state.series.size())
        return false;
    // Compared with the state before the points were appended. Appended
    // points may bring a new gap of their own: its marker stands in the new
    // strip.
    for (std::size_t i = 0; i < state.series.size(); ++i) {
        const SeriesState& now = state.series[i];
        const SeriesState& last = m_state.series[i];
        if (now.kind == static_cast<int>(SeriesKind::Bar) && now.visible)
            return false;
        SeriesState before = now;
        before.size = last.size;
        if (now.size < last.size || !(before == last))
            return false;
    }
    const PlotState& last = m_state;
    const bool sameLook =
        state.size == last.size && state.front == last.front &&
        state.leftMinimum == last.leftMinimum && state.leftMaximum == last.leftMaximum &&
        state.leftPixelAtMinimum == last.leftPixelAtMinimum &&
        state.leftPerUnit == last.leftPerUnit && state.tickFirst == last.tickFirst &&
        state.tickStep == last.tickStep && state.tickCount == last.tickCount &&
        state.bottomPerUnit == last.bottomPerUnit &&
        state.bottomPixelAtMinimum == last.bottomPixelAtMinimum &&
        state.labelStep == last.labelStep && state.panel == last.panel && state.plot == last.plot &&
        state.bottomGrid == last.bottomGrid && state.bottomGridColour == last.bottomGridColour &&
        state.bottomGridDotted == last.bottomGridDotted && state.leftGrid == last.leftGrid &&
        state.leftGridColour == last.leftGridColour &&
        state.leftGridDotted == last.leftGridDotted && state.gapColour == last.gapColour &&
        state.labelSource == last.labelSource && state.order == last.order;
    return sameLook && state.gapCount >= m_state.gapCount;
}

void ScrollingCanvas::setResolution(int dotsPerMeterX, int dotsPerMeterY)
{
    if (dotsPerMeterX == m_dotsPerMeterX && dotsPerMeterY == m_dotsPerMeterY)
        return;
    m_dotsPerMeterX = dotsPerMeterX;
    m_dotsPerMeterY = dotsPerMeterY;
    m_image = QImage();
    m_valid = false;
}

ScrollingCanvas::Drawing ScrollingCanvas::render(const Chart& chart, QSize size, Since since)
{
    if (m_image.size() != size) {
        m_image = QImage(size, QImage::Format_RGB32);
        if (m_dotsPerMeterX > 0 && m_dotsPerMeterY > 0) {
            m_image.setDotsPerMeterX(m_dotsPerMeterX);
            m_image.setDotsPerMeterY(m_dotsPerMeterY);
        }
        m_valid = false;
    }
    if (m_image.isNull()) {
        m_scrolledBy = 0;
        m_scrolledArea = QRect();
        m_drawn = QRegion();
        return Drawing::Whole;
    }
    const Drawing drawing = plan(chart, size, since, &m_image);
    scrollLeft(m_scrolledArea, m_scrolledBy);
    if (drawing == Drawing::Whole && chart.panelColour().alpha() != 255)
        m_image.fill(chart.backgroundColour());
    QPainter painter(&m_image);
    paint(chart, painter);
    return drawing;
}

ScrollingCanvas::Drawing ScrollingCanvas::plan(const Chart& chart, QSize size, Since since,
                                               const QPaintDevice* device)
{
    m_scrolledBy = 0;
    m_scrolledArea = QRect();
    m_drawn = QRegion();
    m_plannedSurroundings = QRegion();
    m_plannedPlot = QRect();
    m_plannedColumns = QRect();
    const QRect bounds(QPoint(0, 0), size);
    ChartLayout layout(chart, QRectF(bounds), device, &m_measures);
    // Filled in the spare state, whose lists keep their room from tick to tick.
    PlotState& state = m_nextState;
    stateOf(chart, layout, size, state);

    const Axis& bottom = chart.bottomAxis();
    const double perUnit = layout.bottomScale().pixelsPerUnit();
    const QRect front = layout.front().toRect();
    const double shift =
        std::round(bottom.minimum() * perUnit) - std::round(m_bottomMinimum * perUnit);
    const bool scroll =
        canScroll(chart, state) && shift >= 0.0 && shift < static_cast<double>(front.width());
    const double oldMaximum = m_bottomMaximum;
    m_layout = layout;
    m_bottomMinimum = bottom.minimum();
    m_bottomMaximum = bottom.maximum();
    m_valid = true;

    if (!scroll) {
        std::swap(m_state, state);
        m_plannedWhole = true;
        m_drawn = QRegion(bounds);
        return Drawing::Whole;
    }
    m_plannedWhole = false;

    const int dx = static_cast<int>(shift);
    // After a tick that moved the window the time labels and gap markers
    // under the plot area move with their points: the band they stand in
    // scrolls along with the plot area.
    const QRect band = since == Since::Tick && dx > 0
                           ? labelBand(layout, front, size, !bottom.title().isEmpty())
                           : QRect();
    const QRect scrolledArea = band.isEmpty() ? front : front.united(band);

    // What the scroll cannot carry: from the previously newest point (or the
    // last point drawn, when the points went on beyond the window) to as far
    // as the newest point reaches (a step runs on to the next point's
    // column), and the columns that came into view. Right of the newest
    // point lies only the empty plot area, which the scroll carries.
    double stripLeft = static_cast<double>(front.right() + 1);
    double stripRight = static_cast<double>(front.left() - 1);
    const double lastDrawn = std::ceil(oldMaximum) + 1.0;
    const double lastDrawable = std::ceil(bottom.maximum()) + 1.0;
    // The columns of the new points of any series, shown or not: the time
    // labels may come from a hidden one.
    double newLeft = stripLeft;
    double newRight = stripRight;
    for (std::size_t i = 0; i < state.series.size(); ++i) {
        if (state.series[i].size == 0)
            continue;
        const std::size_t oldSize = m_state.series[i].size;
        const double oldNewest = std::min(static_cast<double>(oldSize) - 1.0, lastDrawn);
        const double oldX = oldSize == 0 ? static_cast<double>(front.left())
                                         : std::floor(layout.columnX(oldNewest));
        const double newest =
            std::min(static_cast<double>(state.series[i].size) - 1.0, lastDrawable);
        const double newX = std::ceil(layout.columnX(newest + 1.0));
        newLeft = std::min(newLeft, oldX);
        newRight = std::max(newRight, newX);
        if (!state.series[i].visible)
            continue;
        stripLeft = std::min(stripLeft, oldX - seamReach);
        stripRight = std::max(stripRight, newX + seamReach);
    }
    const int from = std::clamp(static_cast<int>(stripLeft), front.left(), front.right() + 1);
    const int to = std::clamp(static_cast<int>(stripRight), from - 1, front.right());
    QRect plot;
    if (from <= to)
        plot = QRect(from, front.top(), to + 1 - from, front.height());
    QRect columns;
    if (dx > 0)
        columns = QRect(front.right() + 1 - dx, front.top(), dx, front.height());
    // In the strip only the lines change: the rows above and below them keep
    // their background and grid, unless a line crossing the plot came with
    // the new points: a new gap's marker, or a vertical grid line on a new
    // point as the window moved on with them.
    bool newCrossing = state.gapCount != m_state.gapCount;
    if (bottom.gridVisible() && bottom.maximum() != oldMaximum) {
        const auto step = static_cast<double>(ChartPainter::bottomGridStep(layout));
        newCrossing =
            newCrossing || std::floor(bottom.maximum() / step) != std::floor(oldMaximum / step);
    }
    const std::optional<std::pair<int, int>> rows =
        plot.isEmpty() || newCrossing ? std::nullopt : lineRows(chart, layout, from, lastDrawable);
    if (rows && (rows->first > front.top() || rows->second < front.bottom())) {
        plot.setTop(rows->first);
        plot.setBottom(rows->second);
        if (!columns.isEmpty())
            plot.setRight(std::min(plot.right(), columns.left() - 1));
    } else {
        // One rectangle where one will do: Qt fills a clip of several on its
        // pool of paint threads.
        plot |= columns;
        columns = QRect();
    }
    // Under the plot area only the labels and gap markers of new points can
    // appear: a time label on a new point whose index is a multiple of the
    // label step, or a new gap.
    const std::size_t labelStep = std::max<std::size_t>(1, layout.labelStep());
    const std::size_t firstNewLabel = (m_state.labelCount + labelStep - 1) / labelStep * labelStep;
    const bool newMarks = state.gapCount != m_state.gapCount || firstNewLabel < state.labelCount;
    std::swap(m_state, state);
    m_scrolledBy = dx;
    m_scrolledArea = scrolledArea;
    // After a tick only the time labels and gap markers under the plot area
    // move; the title, the vertical axis' labels and the axis titles stay.
    // While the window stands still, only those of the new points appear.
    QRegion surroundings = QRegion(bounds).subtracted(QRegion(front));
    if (since == Since::Tick) {
        const double halfLabel = std::max(layout.timeLabelWidth(), layout.labelHeight()) / 2.0;
        const int reach = static_cast<int>(std::ceil(halfLabel + ChartLayout::labelGap)) + 1;
        const QRect newLabels =
            newMarks && newLeft <= newRight
                ? QRect(QPoint(static_cast<int>(newLeft) - reach, 0),
                        QPoint(static_cast<int>(newRight) + reach, size.height()))
                : QRect();
        QRect below(0, front.bottom() + 1, size.width(), size.height());
        if (dx == 0)
            below &= newLabels;
        surroundings &= below;
        if (!band.isEmpty()) {
            // Whole labels only: one appears or vanishes where it would
            // stick out of the chart (at either end) and at the new points.
            // Glyphs may stand out of a label's box by a line's height.
            const int extent = static_cast<int>(std::ceil(halfLabel * 2.0 + layout.labelHeight()));
            QRegion carried(band);
            carried -= QRect(QPoint(band.left(), band.top()),
                             QPoint(static_cast<int>(bounds.left()) + extent + 1, band.bottom()));
            carried -= QRect(QPoint(bounds.right() - dx - extent - 1, band.top()),
                             QPoint(band.right(), band.bottom()));
            carried -= newLabels;
            surroundings -= carried;
        }
    }
    m_plannedSurroundings = surroundings;
    m_plannedPlot = plot.isValid() ? plot : QRect();
    m_plannedColumns = columns;
    m_plannedSince = since;
    m_drawn = surroundings;
    for (const QRect& area : {m_plannedPlot, m_plannedColumns})
        if (!area.isEmpty())
            m_drawn += area;
    return Drawing::Scrolled;
}

void ScrollingCanvas::paint(const Chart& chart, QPainter& painter) const
{
    ChartPainter chartPainter(chart, m_layout, painter);
    if (m_plannedWhole) {
        chartPainter.paint();
        return;
    }
    painter.save();
    if (m_plannedSince == Since::Tick) {
        // Rectangle by rectangle: Qt fills a clip of several on its pool of
        // paint threads.
        for (const QRect& area : m_plannedSurroundings) {
            painter.setClipRect(area);
            chartPainter.paintSurroundings();
        }
    } else if (!m_plannedSurroundings.isEmpty()) {
        painter.setClipRegion(m_plannedSurroundings);
        chartPainter.paintSurroundings();
    }
    for (const QRect& area : {m_plannedPlot, m_plannedColumns}) {
        if (area.isEmpty())
            continue;
        painter.setClipRect(area);
        chartPainter.paintPlotFrom(area.left());
    }
    painter.restore();
}

std::optional<std::pair<int, int>> ScrollingCanvas::lineRows(const Chart& chart,
                                                             const ChartLayout& layout,
                                                             int fromColumn, double lastDrawable)
{
    const QRect front = layout.front().toRect();
    const AxisScale& bottom = layout.bottomScale();
    const AxisScale& left = layout.leftScale();
    // The points whose lines, joins and smoothing reach the columns from
    // fromColumn on; too many to read every tick when they stand close.
    const double firstPoint =
        std::floor(bottom.toValue(static_cast<double>(fromColumn - seamReach))) - 2.0;
    const double zero = left.toPixel(0.0);
    double top = std::numeric_limits<double>::infinity();
    double lowest = -top;
    for (std::size_t s = 0; s < chart.seriesCount(); ++s) {
        const Series& series = chart.series(s);
        if (!series.visible() || series.size() == 0)
            continue;
        const double last = std::min(static_cast<double>(series.size()) - 1.0, lastDrawable);
        if (!(last >= 0.0))
            continue;
        const double first = std::clamp(firstPoint, 0.0, last);
        if (!(last - first <= static_cast<double>(maxLinePoints)))
            return std::nullopt;
        for (auto i = static_cast<std::size_t>(first); i <= static_cast<std::size_t>(last); ++i) {
            const double value = series.y(i);
            const double y = left.toPixel(std::isnan(value) ? 0.0 : value);
            if (std::isnan(y))
                return std::nullopt;
            top = std::min(top, y);
            lowest = std::max(lowest, y);
        }
        // An area is filled down to the zero line.
        if (series.kind() == SeriesKind::Area) {
            top = std::min(top, zero);
            lowest = std::max(lowest, zero);
        }
    }
    if (std::isnan(zero) || !(top <= lowest))
        return std::nullopt;
    const double upper = std::clamp(std::floor(top) - seamReach, static_cast<double>(front.top()),
                                    static_cast<double>(front.bottom()));
    const double lower = std::clamp(std::ceil(lowest) + seamReach, static_cast<double>(front.top()),
                                    static_cast<double>(front.bottom()));
    return std::pair(static_cast<int>(upper), static_cast<int>(lower));
}

QRect ScrollingCanvas::labelBand(const ChartLayout& layout, const QRect& front, QSize size,
                                 bool bottomTitle)
{
    int bottom = size.height() - 1;
    if (bottomTitle)
        bottom = std::min(bottom, static_cast<int>(std::floor(layout.bottomTitleRect().top())) - 1);
    return QRect(QPoint(front.left(), front.bottom() + 1), QPoint(front.right(), bottom));
}

void ScrollingCanvas::scrollLeft(const QRect& area, int dx)
{
    if (dx <= 0)
        return;
    const int kept = area.width() - dx;
    constexpr int bytesPerPixel = 4; // Format_RGB32
    for (int y = area.top(); y <= area.bottom(); ++y) {
        uchar* row = m_image.scanLine(y) + static_cast<std::ptrdiff_t>(area.left()) * bytesPerPixel;
        std::memmove(row, row + static_cast<std::ptrdiff_t>(dx) * bytesPerPixel,
                     static_cast<std::size_t>(kept) * bytesPerPixel);
    }
}

} // namespace flowloom::chart

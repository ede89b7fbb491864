#include "chart/ChartPainter.h"

#include "chart/Chart.h"
#include "chart/DepthSweep.h"
#include "chart/LabelLayout.h"
#include "chart/SeriesOutline.h"
#include "chart/VisibleRange.h"

#include <QFontMetricsF>
#include <QLineF>
#include <QPainter>
#include <QPen>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace flowloom::chart {

namespace {

// Points mapped further than this outside the chart are pulled in; the
// raster engine works in fixed point and far-away values would overflow it.
// So far out, the pull changes no visible slope by a measurable amount.
constexpr double farAway = 16384.0;

// Least distance of two vertical grid lines, in pixels.
constexpr double minGridSpacing = 40.0;

// A line's joins and caps reach up to this many pixels from their point.
constexpr double strokeReach = 4.0;

// Points drawn left of the window besides VisibleRange's neighbour, so that
// no cap or join of the first drawn point reaches into the plot: its left
// edge then looks the same whichever point the drawing starts from, and a
// scrolled drawing matches a new one.
std::size_t leadingPoints(const AxisScale& scale)
{
    const double perUnit = std::abs(scale.pixelsPerUnit());
    if (!(perUnit > 0.0))
        return 1;
    return static_cast<std::size_t>(std::min(std::ceil(strokeReach / perUnit), 1000.0));
}

// Length of the dotted pen's pattern (one dot, two blanks), in pixels.
constexpr double dotPeriod = 3.0;

// Shades of a series colour in the three-dimensional view.
constexpr int roofDarkness = 140;
constexpr int sideDarkness = 170;
constexpr int dividerDarkness = 230;

// A point of the front plane moved z pixels into the depth.
QPointF offset(QPointF p, double z)
{
    return QPointF(p.x() + z, p.y() - z);
}

void shift(std::vector<QPointF>& points, double z)
{
    if (z == 0.0)
        return;
    for (QPointF& p : points)
        p = offset(p, z);
}

} // namespace

ChartPainter::ChartPainter(const Chart& chart, const ChartLayout& layout, QPainter& painter)
    : m_chart(chart), m_layout(layout), m_painter(painter),
      m_seriesFromX(-std::numeric_limits<double>::infinity())
{}

void ChartPainter::paintSurroundings()
{
    m_painter.save();
    m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    paintPanel();
    paintTitle();
    paintAxisLine();
    paintBottomLabels();
    paintGapMarkers();
    paintLeftLabels();
    paintAxisTitles();
    m_painter.restore();
}

void ChartPainter::paintPlotFrom(double fromX)
{
    m_painter.save();
    m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_seriesFromX = fromX;
    paintWalls();
    paintGrid();
    paintAllSeries();
    paintGapMarkers();
    m_seriesFromX = -std::numeric_limits<double>::infinity();
    m_painter.restore();
}

void ChartPainter::paint()
{
    m_painter.save();
    m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    paintPanel();
    paintTitle();
    paintWalls();
    paintGrid();
    paintAllSeries();
    paintAxisLine();
    paintBottomLabels();
    paintGapMarkers();
    paintLeftLabels();
    paintAxisTitles();
    m_painter.restore();
}

void ChartPainter::paintPanel()
{
    m_painter.fillRect(m_layout.bounds(), m_chart.panelColour());
}

bool ChartPainter::clippedAway(const QRectF& area) const
{
    if (!m_painter.hasClipping())
        return false;
    // Glyphs may stand out of their line's box: kept a line's height around.
    const double margin = std::min(area.width(), area.height());
    return !m_painter.clipBoundingRect().intersects(
        area.adjusted(-margin, -margin, margin, margin));
}

void ChartPainter::paintTitle()
{
    if (m_chart.title().isEmpty() || clippedAway(m_layout.titleRect()))
        return;
    m_painter.setFont(m_chart.titleFont());
    m_painter.setPen(m_chart.titleColour());
    const QRectF& r = m_layout.titleRect();
    m_painter.drawText(r, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                       fitted(m_chart.title(), m_chart.titleFont(), r.width()));
}

void ChartPainter::paintWalls()
{
    const QRectF& f = m_layout.front();
    const double d = m_layout.depth();
    if (d <= 0.0) {
        m_painter.fillRect(f, m_chart.plotColour());
        return;
    }
    const QRectF back = m_layout.backWall();
    m_painter.fillRect(back, m_chart.plotColour());
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(m_chart.leftWallColour());
    const QPointF leftWall[] = {f.topLeft(), back.topLeft(), back.bottomLeft(), f.bottomLeft()};
    m_painter.drawPolygon(leftWall, 4);
    m_painter.setBrush(m_chart.bottomWallColour());
    const QPointF floor[] = {f.bottomLeft(), back.bottomLeft(), back.bottomRight(),
                             f.bottomRight()};
    m_painter.drawPolygon(floor, 4);
}

std::size_t ChartPainter::bottomGridStep(const ChartLayout& layout)
{
    return LabelLayout::gridStep(layout.labelStep(), layout.bottomScale().pixelsPerUnit(),
                                 minGridSpacing);
}

void ChartPainter::paintGrid()
{
    const QRectF& f = m_layout.front();
    const double d = m_layout.depth();
    std::vector<QLineF> lines;

    const Axis& bottom = m_chart.bottomAxis();
    if (bottom.gridVisible()) {
        // Vertical lines where labels stand (or would stand, before any point).
        const double step = static_cast<double>(bottomGridStep(m_layout));
        const double from = std::ceil(bottom.minimum() / step);
        const double to = std::floor(bottom.maximum() / step);
        QPen pen(bottom.gridColour(), 0, bottom.gridDotted() ? Qt::DotLine : Qt::SolidLine);
        m_painter.setPen(pen);
        // Counted in whole steps: adding 1 to a huge k would never reach to.
        const double count = to - from + 1.0;
        const long lineCount = count > 0.0 && count <= 10000.0 ? static_cast<long>(count) : 0;
        for (long i = 0; i < lineCount; ++i) {
            const double x = std::round(m_layout.columnX((from + static_cast<double>(i)) * step));
            // Left of the columns being drawn a line shows nothing.
            if (x < f.left() || x >= f.right() || x + d < m_seriesFromX - 1.0)
                continue;
            lines.emplace_back(x + d, f.top() - d, x + d, f.bottom() - 1.0 - d);
            if (d > 0.0)
                lines.emplace_back(x, f.bottom() - 1.0, x + d, f.bottom() - 1.0 - d);
        }
        m_painter.drawLines(lines.data(), static_cast<int>(lines.size()));
    }

    const Axis& left = m_chart.leftAxis();
    if (left.gridVisible()) {
        lines.clear();
        QPen pen(left.gridColour(), 0, left.gridDotted() ? Qt::DotLine : Qt::SolidLine);
        // The dots move with the points, by whole pixels, so that a scrolled
        // drawing keeps them where a new one draws them.
        const double perUnit = m_layout.bottomScale().pixelsPerUnit();
        const double moved = std::round(m_chart.bottomAxis().minimum() * perUnit);
        if (std::isfinite(moved)) {
            const double phase = std::fmod(moved, dotPeriod);
            pen.setDashOffset(phase < 0.0 ? phase + dotPeriod : phase);
        }
        m_painter.setPen(pen);
        // Drawing only some columns, a line starts a whole number of dot
        // periods before them: its dots stand where the whole line has them.
        double start = f.left() + d;
        if (std::isfinite(m_seriesFromX) && m_seriesFromX - 1.0 > start)
            start += std::floor((m_seriesFromX - 1.0 - start) / dotPeriod) * dotPeriod;
        // A dotted line is dashed along its whole length, however little of
        // it shows: it ends a few whole dot periods right of the columns drawn.
        double end = f.right() - 1.0 + d;
        if (std::isfinite(m_seriesFromX) && m_painter.hasClipping()) {
            const double clipRight = m_painter.clipBoundingRect().right();
            const double periods = std::ceil((clipRight - start) / dotPeriod) + 2.0;
            end = std::min(end, start + std::max(periods, 1.0) * dotPeriod);
        }
        const ValueTicks& ticks = m_layout.leftTicks();
        for (std::size_t i = 0; i < ticks.count(); ++i) {
            const double y = std::round(m_layout.leftScale().toPixel(ticks.value(i)));
            if (y < f.top() || y >= f.bottom())
                continue;
            lines.emplace_back(start, y - d, end, y - d);
            if (d > 0.0)
                lines.emplace_back(f.left(), y, f.left() + d, y - d);
        }
        m_painter.drawLines(lines.data(), static_cast<int>(lines.size()));
    }
}

QString ChartPainter::fitted(const QString& text, const QFont& font, double width) const
{
    // A text too long for its place keeps its beginning and ends in an
    // ellipsis, rather than losing both ends when centred.
    const QFontMetricsF metrics(font, m_painter.device());
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    return metrics.elidedText(text, Qt::ElideRight, width);
}

void ChartPainter::paintAllSeries()
{
    std::vector<const Series*> shown;
    for (std::size_t index : m_chart.drawingOrder()) {
        const Series& s = m_chart.series(index);
        if (s.visible())
            shown.push_back(&s);
    }
    // Bars stand side by side on the front plane, each series in a slot.
    const auto isBar = [](const Series* s) { return s->kind() == SeriesKind::Bar; };
    const auto barCount =
        static_cast<std::size_t>(std::count_if(shown.begin(), shown.end(), isBar));
    std::size_t slot = 0;
    for (const Series* s : shown) {
        if (isBar(s))
            paintBars(*s, slot++, barCount);
    }
    std::erase_if(shown, isBar);
    // In the three-dimensional view each shown series gets a slot of the
    // depth; the first drawn stands at the back, so later ones cover it as
    // they do in the flat view.
    const double d = m_layout.depth();
    const double n = static_cast<double>(shown.size());
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const double zFront = d * (n - 1.0 - static_cast<double>(k)) / n;
        const double zBack = d * (n - static_cast<double>(k)) / n;
        paintSeries(*shown[k], std::round(zFront), std::round(zBack));
    }
}

// One rectangle per point in the window, from the zero line to the value.
void ChartPainter::paintBars(const Series& series, std::size_t slot, std::size_t barCount)
{
    const Axis& bottom = m_chart.bottomAxis();
    const VisibleRange range(bottom.minimum(), bottom.maximum(), series.size());
    if (range.empty())
        return;
    const QRectF& f = m_layout.front();
    const double baseY =
        std::round(std::clamp(m_layout.leftScale().toPixel(0.0), f.top(), f.bottom()));
    m_painter.save();
    m_painter.setClipRect(f, Qt::IntersectClip);
    m_painter.setPen(Qt::NoPen);
    for (std::size_t i = range.first(); i <= range.last(); ++i) {
        const auto [from, to] = SeriesOutline::barSpan(i, slot, barCount);
        const double left = std::round(m_layout.bottomScale().toPixel(from));
        const double right = std::round(m_layout.bottomScale().toPixel(to));
        const double top = std::round(mapPoint(series, i, false).y());
        if (right <= left || top == baseY)
            continue;
        m_painter.fillRect(
            QRectF(QPointF(left, std::min(top, baseY)), QPointF(right, std::max(top, baseY))),
            QColor::fromRgb(series.colour(i)));
    }
    m_painter.restore();
}

QPointF ChartPainter::mapPoint(const Series& series, std::size_t index, bool snap) const
{
    const QRectF& b = m_layout.bounds();
    double x = m_layout.columnX(static_cast<double>(index));
    double y = m_layout.leftScale().toPixel(series.y(index));
    if (std::isnan(y))
        y = m_layout.leftScale().toPixel(0.0);
    x = std::clamp(x, b.left() - farAway, b.right() + farAway);
    y = std::clamp(y, b.top() - farAway, b.bottom() + farAway);
    return snap ? QPointF(std::round(x), std::round(y)) : QPointF(x, y);
}

void ChartPainter::paintSeries(const Series& series, double zFront, double zBack)
{
    const Axis& bottom = m_chart.bottomAxis();
    const VisibleRange range(bottom.minimum(), bottom.maximum(), series.size());
    if (range.empty())
        return;
    std::size_t first = range.first();
    if (std::isfinite(m_seriesFromX)) {
        // columnX lies within a pixel of the exact position.
        const double atX = std::floor(m_layout.bottomScale().toValue(m_seriesFromX)) - 2.0;
        if (atX > static_cast<double>(first))
            first = std::min(static_cast<std::size_t>(atX), range.last());
    }
    first -= std::min(first, leadingPoints(m_layout.bottomScale()));
    const QRectF& f = m_layout.front();
    const bool stepped = series.stepped();

    m_painter.save();
    m_painter.setClipRect(QRectF(f.left() + zFront, f.top() - zBack, f.width() + zBack - zFront,
                                 f.height() + zBack - zFront),
                          Qt::IntersectClip);
    // Steps are axis-parallel and drawn on whole pixels: crisp without smoothing.
    m_painter.setRenderHint(QPainter::Antialiasing, !stepped);

    double baseY = std::clamp(m_layout.leftScale().toPixel(0.0), f.top(), f.bottom());
    if (stepped)
        baseY = std::round(baseY);

    // One piece per colour run inside the window. A ramp's segment takes the
    // colour of the point it leads to, a step's run that of the point it
    // starts from: either way a point's own stretch shows its own colour.
    const auto& runs = series.colourRuns().runs();
    for (std::size_t r = series.colourRuns().runIndexOf(first);
         r < runs.size() && runs[r].first <= range.last(); ++r) {
        const std::size_t a = std::max(runs[r].first, first);
        const std::size_t b =
            r + 1 < runs.size() ? std::min(runs[r + 1].first - 1, range.last()) : range.last();
        const std::size_t from = (!stepped && a > first) ? a - 1 : a;
        // A gap ends one piece and starts the next: no line reaches it.
        std::size_t start = from;
        while (start <= b) {
            while (start <= b && series.isGap(start))
                ++start;
            if (start > b)
                break;
            std::size_t end = start;
            while (end < b && !series.isGap(end + 1))
                ++end;
            m_points.clear();
            for (std::size_t i = start; i <= end; ++i)
                m_points.push_back(mapPoint(series, i, stepped));
            double stepEnd = m_layout.columnX(static_cast<double>(end) + 1.0);
            stepEnd = std::clamp(stepEnd, m_layout.bounds().left() - farAway,
                                 m_layout.bounds().right() + farAway);
            if (stepped)
                stepEnd = std::round(stepEnd);
            SeriesOutline::line(m_points, stepped, stepEnd, m_outline);
            paintPiece(series, QColor::fromRgb(runs[r].colour), zFront, zBack, baseY);
            start = end + 1;
        }
    }
    m_painter.restore();
}

void ChartPainter::paintPiece(const Series& series, QColor colour, double zFront, double zBack,
                              double baseY)
{
    if (m_outline.size() < 2)
        return;
    const QRectF& f = m_layout.front();
    SeriesOutline::clampToBand(m_outline, f.top() - m_layout.depth() - 2.0, f.bottom() + 2.0,
                               m_scratch);
    const double depth = zBack - zFront;
    m_painter.setPen(Qt::NoPen);

    if (series.kind() == SeriesKind::Line) {
        if (depth > 0.0) {
            // The ribbon the line sweeps into the depth.
            DepthSweep::edge(m_outline, depth, DepthSweep::Edge::Upper, m_upper);
            DepthSweep::edge(m_outline, depth, DepthSweep::Edge::Lower, m_lower);
            m_upper.insert(m_upper.end(), m_lower.rbegin(), m_lower.rend());
            fillShifted(m_upper, colour.darker(roofDarkness), zFront);
        }
        shift(m_outline, zFront);
        m_painter.setPen(QPen(colour, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawPolyline(m_outline.data(), static_cast<int>(m_outline.size()));
        return;
    }

    if (depth > 0.0) {
        // Everything the area covers on its way back, in the roof's shade; the
        // front face drawn last leaves only the roof of it visible.
        const double left = m_outline.front().x();
        const double right = m_outline.back().x();
        DepthSweep::edge(m_outline, depth, DepthSweep::Edge::Upper, m_upper);
        m_upper.emplace_back(right + depth, baseY - depth);
        m_upper.emplace_back(right, baseY);
        m_upper.emplace_back(left, baseY);
        fillShifted(m_upper, colour.darker(roofDarkness), zFront);
        // The end face of the newest stretch.
        const QPointF top = m_outline.back();
        m_upper.assign({top, QPointF(right, baseY), QPointF(right + depth, baseY - depth),
                        QPointF(right + depth, top.y() - depth)});
        fillShifted(m_upper, colour.darker(sideDarkness), zFront);
        if (series.dividingLines())
            paintDividers(colour.darker(dividerDarkness), zFront, zBack);
    }
    shift(m_outline, zFront);
    SeriesOutline::closeToBase(m_outline, baseY - zFront);
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(colour);
    m_painter.drawPolygon(m_outline.data(), static_cast<int>(m_outline.size()));
}

void ChartPainter::fillShifted(std::vector<QPointF>& polygon, QColor colour, double z)
{
    shift(polygon, z);
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(colour);
    m_painter.drawPolygon(polygon.data(), static_cast<int>(polygon.size()), Qt::WindingFill);
}

void ChartPainter::paintDividers(QColor colour, double zFront, double zBack)
{
    const QRectF& f = m_layout.front();
    std::vector<QLineF> lines;
    lines.reserve(m_points.size());
    for (const QPointF& p : m_points) {
        const QPointF q(p.x(), std::clamp(p.y(), f.top() - m_layout.depth() - 2.0, f.bottom()));
        lines.emplace_back(offset(q, zFront), offset(q, zBack));
    }
    m_painter.setPen(QPen(colour, 0));
    m_painter.drawLines(lines.data(), static_cast<int>(lines.size()));
}

void ChartPainter::paintAxisLine()
{
    const Axis& bottom = m_chart.bottomAxis();
    if (!bottom.lineVisible())
        return;
    const QRectF& f = m_layout.front();
    m_painter.setPen(QPen(bottom.lineColour(), 0));
    m_painter.drawLine(QLineF(f.left(), f.bottom(), f.right() - 1.0, f.bottom()));
}

void ChartPainter::paintBottomLabels()
{
    const Axis& bottom = m_chart.bottomAxis();
    const Series* source = m_chart.labelSeries();
    if (!bottom.labelsVisible() || source == nullptr)
        return;
    const LabelLayout labels(bottom.minimum(), bottom.maximum(), source->size(),
                             m_layout.labelStep());
    if (labels.empty())
        return;
    m_painter.setFont(bottom.labelFont());
    m_painter.setPen(bottom.labelColour());
    const QRectF& b = m_layout.bounds();
    const double height = m_layout.labelHeight();
    const double ascent = m_layout.labelAscent();
    const double width = m_layout.timeLabelWidth();
    const double top = m_layout.bottomLabelTop();
    const bool vertical = bottom.labelAngle() == LabelAngle::Vertical;

    for (std::size_t i = labels.first();; i += labels.step()) {
        const double x = m_layout.columnX(static_cast<double>(i));
        const QRectF box = vertical ? QRectF(x - height / 2.0, top, height, width)
                                    : QRectF(x - width / 2.0, top, width, height);
        if (clippedAway(box)) {
            if (i == labels.last())
                break;
            continue;
        }
        const QString text = m_chart.labelText(*source, i);
        if (!vertical) {
            // Whole labels only: one that would stick out of the chart is left out.
            if (x - width / 2.0 >= b.left() && x + width / 2.0 <= b.right() + 1.0)
                m_painter.drawText(QPointF(std::round(x - width / 2.0), top + ascent), text);
        } else if (const double half = height / 2.0;
                   x - half >= b.left() && x + half <= b.right() + 1.0) {
            m_painter.save();
            m_painter.translate(std::round(x), top);
            m_painter.rotate(-90.0);
            // Reads upwards and ends at the axis.
            m_painter.drawText(QPointF(-width, ascent - half), text);
            m_painter.restore();
        }
        if (i == labels.last())
            break;
    }
}

// A gap (the machine slept) is marked where its point stands: a dotted line
// across the plot and a small triangle under the axis, in the labels' colour.
void ChartPainter::paintGapMarkers()
{
    const Axis& bottom = m_chart.bottomAxis();
    const Series* source = m_chart.labelSeries();
    if (source == nullptr || source->gaps().empty())
        return;
    const QRectF& f = m_layout.front();
    const double d = m_layout.depth();
    const auto& gaps = source->gaps();
    auto it =
        std::lower_bound(gaps.begin(), gaps.end(),
                         static_cast<std::size_t>(std::max(0.0, std::ceil(bottom.minimum()))));
    m_painter.save();
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor colour = bottom.labelColour();
    for (; it != gaps.end() && static_cast<double>(*it) <= bottom.maximum(); ++it) {
        const double x = std::round(m_layout.columnX(static_cast<double>(*it)));
        if (x < f.left() || x >= f.right())
            continue;
        m_painter.setPen(QPen(colour, 0, Qt::DotLine));
        m_painter.drawLine(QLineF(x + d, f.top() - d, x + d, f.bottom() - 1.0 - d));
        const double half = ChartLayout::labelGap;
        const QPointF marker[] = {QPointF(x, f.bottom() + 1.0),
                                  QPointF(x - half, f.bottom() + 1.0 + half),
                                  QPointF(x + half, f.bottom() + 1.0 + half)};
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(colour);
        m_painter.drawPolygon(marker, 3);
    }
    m_painter.restore();
}

void ChartPainter::paintLeftLabels()
{
    const Axis& left = m_chart.leftAxis();
    if (!left.labelsVisible())
        return;
    m_painter.setFont(left.labelFont());
    m_painter.setPen(left.labelColour());
    const QRectF& b = m_layout.bounds();
    const double half = m_layout.valueHeight() / 2.0;
    // Measured only when a label is drawn: after a tick all lie outside the clip.
    std::optional<QFontMetricsF> metrics;
    const ValueTicks& ticks = m_layout.leftTicks();
    for (std::size_t i = 0; i < ticks.count(); ++i) {
        const double y = m_layout.leftScale().toPixel(ticks.value(i));
        if (y - half < b.top() || y + half > b.bottom() + 1.0 ||
            clippedAway(QRectF(b.left(), y - half, m_layout.leftLabelRight() - b.left(), 2 * half)))
            continue;
        if (!metrics)
            metrics.emplace(left.labelFont(), m_painter.device());
        const QString text = ValueTicks::text(ticks.value(i));
        const double x = m_layout.leftLabelRight() - metrics->horizontalAdvance(text);
        m_painter.drawText(QPointF(std::round(x), std::round(y - half + m_layout.valueAscent())),
                           text);
    }
}

void ChartPainter::paintAxisTitles()
{
    const Axis& left = m_chart.leftAxis();
    if (!left.title().isEmpty() && !clippedAway(m_layout.leftTitleRect())) {
        const QRectF r = m_layout.leftTitleRect();
        m_painter.setFont(left.titleFont());
        m_painter.setPen(left.titleColour());
        m_painter.save();
        m_painter.translate(r.left(), r.bottom());
        m_painter.rotate(-90.0);
        m_painter.drawText(QRectF(0.0, 0.0, r.height(), r.width()),
                           Qt::AlignCenter | Qt::TextSingleLine,
                           fitted(left.title(), left.titleFont(), r.height()));
        m_painter.restore();
    }
    const Axis& bottom = m_chart.bottomAxis();
    if (!bottom.title().isEmpty() && !clippedAway(m_layout.bottomTitleRect())) {
        m_painter.setFont(bottom.titleFont());
        m_painter.setPen(bottom.titleColour());
        m_painter.drawText(
            m_layout.bottomTitleRect(), Qt::AlignCenter | Qt::TextSingleLine,
            fitted(bottom.title(), bottom.titleFont(), m_layout.bottomTitleRect().width()));
    }
}

} // namespace flowloom::chart

#include "chart/Chart.h"

#include "chart/ChartPainter.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <set>
#include <utility>

namespace flowloom::chart {

Chart::Chart() : m_bottom(-10.0, 250.0), m_left(-100.0, 30000.0)
{
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPointSize(10);
    m_titleFont = titleFont;

    // The horizontal axis shows the points' time labels and no numbers, has
    // no ticks and ends at 99 percent of the plot width.
    m_bottom.setPositions(0.0, 99.0);
    m_bottom.setLineVisible(true);
    m_bottom.setMinLabelSeparation(20.0);
    // The vertical axis runs from 1 to 99 percent of the plot height, without
    // an axis line.
    m_left.setPositions(1.0, 99.0);
    m_left.setLineVisible(false);
}

Chart::~Chart() = default;

Series& Chart::addSeries(SeriesKind kind, std::string name, const Series* sameValuesAs)
{
    ColumnHandle<double> values = sameValuesAs != nullptr
                                      ? sameValuesAs->valueColumn().shareStorage()
                                      : ColumnHandle<double>();
    m_series.push_back(std::make_unique<Series>(kind, std::move(name), std::move(values),
                                                m_labelRoot.shareStorage()));
    m_order.push_back(m_series.size() - 1);
    return *m_series.back();
}

QString Chart::labelText(const Series& source, std::size_t index) const
{
    return m_labelText ? m_labelText(index) : QString::fromLatin1(source.label(index).text());
}

Series* Chart::findSeries(std::string_view name)
{
    for (auto& s : m_series) {
        if (s->name() == name)
            return s.get();
    }
    return nullptr;
}

void Chart::swapDrawingOrder(std::size_t seriesA, std::size_t seriesB)
{
    auto a = std::find(m_order.begin(), m_order.end(), seriesA);
    auto b = std::find(m_order.begin(), m_order.end(), seriesB);
    if (a != m_order.end() && b != m_order.end())
        std::iter_swap(a, b);
}

bool Chart::shiftAxis(AxisId id, double delta)
{
    if (delta == 0.0)
        return false;
    bool any = false;
    double low = 0.0;
    double high = 0.0;
    for (const auto& s : m_series) {
        if (s->empty())
            continue;
        const double first = id == AxisId::Bottom ? 0.0 : s->minY();
        const double last = id == AxisId::Bottom ? static_cast<double>(s->size() - 1) : s->maxY();
        low = any ? std::min(low, first) : first;
        high = any ? std::max(high, last) : last;
        any = true;
    }
    Axis& a = axis(id);
    if (!any || (delta > 0.0 && !(high > a.maximum())) || (delta < 0.0 && !(low < a.minimum())))
        return false;
    a.move(delta);
    return true;
}

ChartLayout Chart::layout(const QRect& rect, const QPaintDevice* device) const
{
    return ChartLayout(*this, QRectF(rect), device);
}

ChartLayout Chart::draw(QPainter& painter, const QRect& rect) const
{
    ChartLayout geometry(*this, QRectF(rect), painter.device());
    ChartPainter(*this, geometry, painter).paint();
    return geometry;
}

const Series* Chart::labelSeries() const
{
    for (std::size_t index : m_order) {
        const Series& s = *m_series[index];
        if (s.visible() && !s.empty())
            return &s;
    }
    const Series* longest = nullptr;
    for (const auto& s : m_series) {
        if (!s->empty() && (longest == nullptr || s->size() > longest->size()))
            longest = s.get();
    }
    return longest;
}

void Chart::mousePress(const ChartLayout& geometry, QPointF pos, Qt::MouseButton button, bool shift)
{
    m_pan.press(pos, button, geometry.plotArea());
    if (m_onMouseDown)
        m_onMouseDown(button, shift);
}

bool Chart::mouseMove(const ChartLayout& geometry, QPointF pos)
{
    const auto step = m_pan.move(pos, geometry.plotArea());
    if (!step)
        return false;
    // The content follows the pointer: the axis moves against it.
    bool moved = false;
    if (step->dx != 0.0) {
        m_bottom.move(-step->dx / geometry.bottomScale().pixelsPerUnit());
        moved = true;
    }
    if (step->dy != 0.0) {
        m_left.move(-step->dy / geometry.leftScale().pixelsPerUnit());
        moved = true;
    }
    if (moved && m_onScroll)
        m_onScroll();
    return moved;
}

void Chart::mouseRelease(Qt::MouseButton button, bool shift)
{
    m_pan.release();
    if (m_onMouseUp)
        m_onMouseUp(button, shift);
}

std::size_t Chart::storageBytes() const
{
    std::set<const void*> counted;
    std::size_t bytes = 0;
    auto count = [&](const void* id, std::size_t size) {
        if (counted.insert(id).second)
            bytes += size;
    };
    for (const auto& s : m_series) {
        count(s->valueColumn().storageId(), s->valueColumn().allocatedBytes());
        count(s->labelColumn().storageId(), s->labelColumn().allocatedBytes());
        bytes += s->ownBytes();
    }
    return bytes;
}

} // namespace flowloom::chart

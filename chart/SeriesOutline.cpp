#include "chart/SeriesOutline.h"

#include <algorithm>

namespace flowloom::chart {

void SeriesOutline::line(const std::vector<QPointF>& points, bool stepped, double stepEndX,
                         std::vector<QPointF>& out)
{
    out.clear();
    if (points.empty())
        return;
    if (!stepped) {
        out.assign(points.begin(), points.end());
        return;
    }
    out.reserve(points.size() * 2);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QPointF& p = points[i];
        out.push_back(p);
        const double runEnd = i + 1 < points.size() ? points[i + 1].x() : stepEndX;
        out.emplace_back(runEnd, p.y());
    }
}

void SeriesOutline::clampToBand(std::vector<QPointF>& line, double top, double bottom,
                                std::vector<QPointF>& scratch)
{
    auto inside = [&](const QPointF& p) { return p.y() >= top && p.y() <= bottom; };
    if (std::all_of(line.begin(), line.end(), inside))
        return;
    scratch.clear();
    scratch.reserve(line.size() + 8);
    auto clamp = [&](const QPointF& p) { return QPointF(p.x(), std::clamp(p.y(), top, bottom)); };
    // Adds the crossings of segment p-q with one band edge, in order along the segment.
    auto crossing = [&](const QPointF& p, const QPointF& q, double edge) {
        if ((p.y() < edge && q.y() > edge) || (p.y() > edge && q.y() < edge)) {
            const double t = (edge - p.y()) / (q.y() - p.y());
            scratch.emplace_back(p.x() + t * (q.x() - p.x()), edge);
        }
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (i > 0) {
            const QPointF& p = line[i - 1];
            const QPointF& q = line[i];
            // Going down the screen the top edge comes first, going up the bottom one.
            if (q.y() >= p.y()) {
                crossing(p, q, top);
                crossing(p, q, bottom);
            } else {
                crossing(p, q, bottom);
                crossing(p, q, top);
            }
        }
        scratch.push_back(clamp(line[i]));
    }
    line.swap(scratch);
}

void SeriesOutline::closeToBase(std::vector<QPointF>& outline, double baseY)
{
    if (outline.empty())
        return;
    const double right = outline.back().x();
    const double left = outline.front().x();
    outline.emplace_back(right, baseY);
    outline.emplace_back(left, baseY);
}

std::pair<double, double> SeriesOutline::barSpan(std::size_t index, std::size_t slot,
                                                 std::size_t barCount)
{
    const double width = kBarWidth / static_cast<double>(barCount == 0 ? 1 : barCount);
    const double left =
        static_cast<double>(index) - kBarWidth / 2.0 + width * static_cast<double>(slot);
    return {left, left + width};
}

} // namespace flowloom::chart

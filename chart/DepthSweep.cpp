#include "chart/DepthSweep.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <limits>

namespace flowloom::chart {

namespace {

constexpr double none = std::numeric_limits<double>::infinity();

// value(x) = at + slope * (x - a) on the current interval; infinite when absent.
struct Piece
{
    double at = none;
    double slope = 0.0;

    double value(double x, double a) const { return at == none ? none : at + slope * (x - a); }
};

// The segment of line that holds u strictly inside its x range (vertical
// segments have no inside). index is advanced monotonically.
std::size_t segmentAt(const std::vector<QPointF>& line, std::size_t index, double u)
{
    while (index + 2 < line.size() && line[index + 1].x() <= u)
        ++index;
    return index;
}

} // namespace

void DepthSweep::edge(const std::vector<QPointF>& line, double depth, Edge which,
                      std::vector<QPointF>& out)
{
    out.clear();
    const std::size_t m = line.size();
    if (m == 0)
        return;
    if (!(depth > 0.0)) {
        out = line;
        return;
    }
    // Minimise sign * g, so that one routine serves both edges.
    const double sign = which == Edge::Upper ? 1.0 : -1.0;
    auto g = [&](std::size_t i) { return sign * (line[i].y() + line[i].x()); };

    std::vector<double> events;
    events.reserve(2 * m);
    for (const QPointF& p : line)
        events.push_back(p.x());
    for (const QPointF& p : line)
        events.push_back(p.x() + depth);
    std::inplace_merge(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(m),
                       events.end());
    events.erase(std::unique(events.begin(), events.end()), events.end());

    const double first = line.front().x();
    const double last = line.back().x();
    std::deque<std::size_t> window; // vertices inside, g increasing front to back
    std::size_t nextVertex = 0;
    std::size_t rightSegment = 0;
    std::size_t leftSegment = 0;

    auto addCorner = [&](double x, double w) {
        const QPointF p(x, sign * w - x);
        if (!out.empty() && out.back() == p)
            return;
        // A corner on the straight line through the two before it adds nothing.
        if (out.size() >= 2) {
            const QPointF& a = out[out.size() - 2];
            const QPointF& b = out.back();
            const double cross =
                (b.x() - a.x()) * (p.y() - a.y()) - (b.y() - a.y()) * (p.x() - a.x());
            const double scale = std::abs(p.x() - a.x()) + std::abs(p.y() - a.y());
            const double onward =
                (b.x() - a.x()) * (p.x() - b.x()) + (b.y() - a.y()) * (p.y() - b.y());
            if (std::abs(cross) <= 1e-12 * scale * scale && onward >= 0.0) {
                out.back() = p;
                return;
            }
        }
        out.push_back(p);
    };

    for (std::size_t k = 0; k + 1 < events.size(); ++k) {
        const double a = events[k];
        const double b = events[k + 1];
        const double mid = (a + b) / 2.0;
        while (nextVertex < m && line[nextVertex].x() <= a) {
            while (!window.empty() && g(window.back()) >= g(nextVertex))
                window.pop_back();
            window.push_back(nextVertex++);
        }
        while (!window.empty() && line[window.front()].x() + depth <= a)
            window.pop_front();

        std::array<Piece, 3> pieces;
        if (!window.empty())
            pieces[0] = Piece{g(window.front()), 0.0};
        // g on segment s at the window end u = x - offset, as a function of x.
        auto along = [&](std::size_t s, double offset) {
            const double x0 = line[s].x();
            const double slope = (g(s + 1) - g(s)) / (line[s + 1].x() - x0);
            return Piece{g(s) + slope * (a - offset - x0), slope};
        };
        if (m >= 2 && mid < last) {
            rightSegment = segmentAt(line, rightSegment, mid);
            pieces[1] = along(rightSegment, 0.0);
        }
        if (m >= 2 && mid - depth > first) {
            leftSegment = segmentAt(line, leftSegment, mid - depth);
            pieces[2] = along(leftSegment, depth);
        }

        // Corners: the interval's ends and every crossing of two pieces inside it.
        std::array<double, 5> xs{a, b, a, a, a};
        std::size_t count = 2;
        for (std::size_t i = 0; i < 3; ++i) {
            for (std::size_t j = i + 1; j < 3; ++j) {
                const Piece& p = pieces[i];
                const Piece& q = pieces[j];
                if (p.at == none || q.at == none || p.slope == q.slope)
                    continue;
                const double x = a + (q.at - p.at) / (p.slope - q.slope);
                if (x > a && x < b)
                    xs[count++] = x;
            }
        }
        for (std::size_t i = 1; i < count; ++i) {
            for (std::size_t j = i; j > 0 && xs[j] < xs[j - 1]; --j)
                std::swap(xs[j], xs[j - 1]);
        }
        for (std::size_t i = 0; i < count; ++i) {
            double w = none;
            for (const Piece& p : pieces)
                w = std::min(w, p.value(xs[i], a));
            if (w != none)
                addCorner(xs[i], w);
        }
    }
}

} // namespace flowloom::chart

#pragma once

#include <cstddef>

namespace flowloom::chart {

// Which points of the horizontal axis carry their time label. Labels go on
// every step-th point (x a multiple of the step), so they travel with their
// points while the graph scrolls instead of jumping from point to point; the
// step is the smallest "round" number of points that keeps every gap between
// two labels at least the minimum separation. Labels therefore never overlap.
class LabelLayout
{
public:
    // pixelsPerPoint: distance of neighbouring points; labelExtent: size of a
    // label along the axis in pixels; separationPercent: least gap between two
    // labels in percent of labelExtent.
    static std::size_t chooseStep(double pixelsPerPoint, double labelExtent,
                                  double separationPercent);

    // Points between two vertical grid lines: every label's point while they
    // stand at least minSpacing pixels apart, else every second, third, ...
    // label's, so that dense upright labels do not make a dense grid.
    static std::size_t gridStep(std::size_t labelStep, double pixelsPerPoint, double minSpacing);

    // Labelled points with minimum <= x <= maximum among count points.
    LabelLayout(double minimum, double maximum, std::size_t count, std::size_t step);

    bool empty() const { return m_empty; }
    std::size_t first() const { return m_first; }
    std::size_t last() const { return m_last; } // inclusive; first + k * step
    std::size_t step() const { return m_step; }

private:
    bool m_empty = true;
    std::size_t m_first = 0;
    std::size_t m_last = 0;
    std::size_t m_step = 1;
};

} // namespace flowloom::chart

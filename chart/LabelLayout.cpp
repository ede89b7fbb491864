#include "chart/LabelLayout.h"

#include <array>
#include <cmath>
#include <limits>

namespace flowloom::chart {

namespace {

// Points are one tick (about a second) apart, so round steps are those of a clock.
constexpr std::array<std::size_t, 22> roundSteps{1,    2,    3,     5,     10,    15,   20,   30,
                                                 60,   120,  180,   300,   600,   900,  1200, 1800,
                                                 3600, 7200, 10800, 21600, 43200, 86400};

} // namespace

std::size_t LabelLayout::chooseStep(double pixelsPerPoint, double labelExtent,
                                    double separationPercent)
{
    const double needed = labelExtent * (1.0 + separationPercent / 100.0);
    if (!(pixelsPerPoint > 0.0) || !std::isfinite(pixelsPerPoint) || !std::isfinite(needed))
        return std::numeric_limits<std::size_t>::max();
    for (std::size_t step : roundSteps) {
        if (static_cast<double>(step) * pixelsPerPoint >= needed)
            return step;
    }
    // Beyond a day of points per label: keep doubling.
    double step = static_cast<double>(roundSteps.back());
    while (step * pixelsPerPoint < needed && step < 1e18)
        step *= 2.0;
    return static_cast<std::size_t>(step);
}

std::size_t LabelLayout::gridStep(std::size_t labelStep, double pixelsPerPoint, double minSpacing)
{
    const double spacing = static_cast<double>(labelStep) * pixelsPerPoint;
    if (!(spacing > 0.0) || !std::isfinite(spacing) || spacing >= minSpacing)
        return labelStep;
    const double every = std::ceil(minSpacing / spacing);
    return labelStep * static_cast<std::size_t>(every);
}

LabelLayout::LabelLayout(double minimum, double maximum, std::size_t count, std::size_t step)
    : m_step(step == 0 ? 1 : step)
{
    if (count == 0 || !(minimum <= maximum))
        return;
    const double lastIndex = static_cast<double>(count - 1);
    const double from = std::max(0.0, std::ceil(minimum));
    const double to = std::min(lastIndex, std::floor(maximum));
    if (from > to)
        return;
    const double stepValue = static_cast<double>(m_step);
    const double firstLabel = std::ceil(from / stepValue) * stepValue;
    if (firstLabel > to)
        return;
    m_first = static_cast<std::size_t>(firstLabel);
    const std::size_t top = static_cast<std::size_t>(to);
    m_last = m_first + (top - m_first) / m_step * m_step;
    m_empty = false;
}

} // namespace flowloom::chart

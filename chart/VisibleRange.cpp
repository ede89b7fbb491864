#include "chart/VisibleRange.h"

#include <cmath>

namespace flowloom::chart {

VisibleRange::VisibleRange(double minimum, double maximum, std::size_t count)
{
    if (count == 0 || !(minimum <= maximum))
        return;
    // Work in double until the values are known to lie within [0, count - 1],
    // so that far-away axis limits cannot overflow the index type.
    const double lastIndex = static_cast<double>(count - 1);
    const double from = std::floor(minimum) - 1.0;
    const double to = std::ceil(maximum) + 1.0;
    if (to < 0.0 || from > lastIndex)
        return;
    m_first = from <= 0.0 ? 0 : static_cast<std::size_t>(from);
    m_last = to >= lastIndex ? count - 1 : static_cast<std::size_t>(to);
    m_empty = false;
}

} // namespace flowloom::chart

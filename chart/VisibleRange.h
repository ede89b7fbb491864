#pragma once

#include <cstddef>

namespace flowloom::chart {

// The points of a series that drawing must touch for a horizontal axis range:
// those inside it plus one neighbour on each side, whose segments cross the
// edges. The cost of a repaint thus depends on the window, never on the
// length of the history.
class VisibleRange
{
public:
    // count = points held; x of point i is i.
    VisibleRange(double minimum, double maximum, std::size_t count);

    bool empty() const { return m_empty; }
    std::size_t first() const { return m_first; }
    std::size_t last() const { return m_last; } // inclusive

private:
    bool m_empty = true;
    std::size_t m_first = 0;
    std::size_t m_last = 0;
};

} // namespace flowloom::chart

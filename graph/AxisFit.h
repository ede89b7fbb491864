#pragma once

#include <cstddef>

namespace flowloom::chart {
class Series;
}

namespace flowloom::graph {

// The "Visible page" choice of the automatic vertical maximum: the maximum
// follows the largest value on the page the graph shows, up and down, so that
// one burst earlier in the session no longer flattens everything after it.

// Room left above the largest visible value: 10 percent.
inline constexpr double kFitHeadroom = 0.10;

// The smallest tidy number at or above value: 1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6
// or 8 times a power of ten. 0 and below give 0.
double tidyCeiling(double value);

// The vertical maximum for a page whose largest value is `largest`: that value
// with its headroom, rounded up to a tidy number. A page that is empty or
// without traffic (largest 0 or below) gets 1, so that the axis keeps a range.
double fittedMaximum(double largest);

// The largest y of the points that the horizontal range [minimum, maximum]
// shows, partly or wholly: x from floor(minimum) to ceil(maximum), limited to
// the points held. 0 when none of them lies on the page.
double largestOnPage(const chart::Series& series, double minimum, double maximum);

} // namespace flowloom::graph

#pragma once

#include <QPointF>

#include <cstddef>
#include <utility>
#include <vector>

namespace flowloom::chart {

// Turns a run of consecutive points, already mapped to pixels, into the line
// that a series draws through them and into the polygon of a filled area.
//
// Ramped: straight lines from point to point. Stepped: from each point a
// horizontal run to the next point's x, then a vertical jump; the last point's
// run ends at stepEndX.
class SeriesOutline
{
public:
    // Replaces out with the line through points.
    static void line(const std::vector<QPointF>& points, bool stepped, double stepEndX,
                     std::vector<QPointF>& out);
    // Flattens whatever lies above top or below bottom onto that line, adding
    // the points where the line crosses it, so that the part inside the band
    // keeps its exact shape. Drawing clipped to a slightly smaller band then
    // looks as if nothing had changed, while a value millions of pixels off
    // the plot costs no more to rasterise than one at its edge.
    static void clampToBand(std::vector<QPointF>& line, double top, double bottom,
                            std::vector<QPointF>& scratch);
    // Closes a line into an area down to baseY (a horizontal pixel line).
    static void closeToBase(std::vector<QPointF>& outline, double baseY);

    // The horizontal extent, in axis units, of point index's bar for the
    // slot-th of `barCount` bar series: together they fill the middle
    // kBarWidth of the unit around the point, in slot order.
    static constexpr double kBarWidth = 0.8;
    static std::pair<double, double> barSpan(std::size_t index, std::size_t slot,
                                             std::size_t barCount);
};

} // namespace flowloom::chart

#include "graph/GraphInteraction.h"

#include "chart/AxisError.h"

#include <cmath>
#include <limits>

namespace flowloom::graph {

namespace {
// An axis that refuses a value keeps its range; the drag goes on.
template <typename F> void tryAxis(F&& change)
{
    try {
        change();
    } catch (const chart::AxisError&) {
    }
}
} // namespace

void Chart1Scroll(chart::Chart& chart, const ScrollInputs& inputs)
{
    chart::Axis& left = chart.leftAxis();
    chart::Axis& bottom = chart.bottomAxis();
    const double max = left.maximum();
    const double min = left.minimum();
    // A drag that pulled the floor below its level snaps back to the set maximum.
    if (-0.002 * max > min && !inputs.shiftPan) {
        tryAxis([&] { left.setMinimum(-0.002 * max); });
        tryAxis([&] { left.setMaximum(inputs.maxValue); });
    }
    // A Shift-drag keeps the floor pinned near zero: the scale stretches.
    if (inputs.shiftPan)
        tryAxis([&] { left.setMinimum(-0.002 * left.maximum()); });
    // Nothing lies before the first point.
    if (bottom.minimum() < 0)
        tryAxis([&] { bottom.setRange(0, inputs.pointsPerPage); });
    if (left.minimum() > -1) {
        chart.setPanDirections(inputs.scrollCount < inputs.pointsPerPage
                                   ? chart::PanDirections::Vertical
                                   : chart::PanDirections::Both);
    }
}

void RestoreVerticalAxis(chart::Chart& chart, int maxValue)
{
    chart::Axis& left = chart.leftAxis();
    tryAxis([&] { left.setMinimum(0); });
    tryAxis([&] { left.setMaximum(maxValue); });
    tryAxis([&] { left.setMinimum(-0.005 * left.maximum()); });
}

int spMaxFromAxis(double maximum)
{
    if (std::isnan(maximum))
        return 0;
    const double truncated = std::trunc(maximum);
    if (truncated >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (truncated <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(truncated);
}

DragCursor dragCursorFor(int scrollCount, double bottomMaximum)
{
    return scrollCount >= bottomMaximum ? DragCursor::FourWay : DragCursor::Vertical;
}

} // namespace flowloom::graph

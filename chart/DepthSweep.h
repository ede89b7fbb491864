#pragma once

#include <QPointF>

#include <vector>

namespace flowloom::chart {

// The outline of a line swept into the depth of the three-dimensional view.
//
// Moving a line (x never decreasing, as every series outline is) by (t, -t)
// for all t from 0 to depth covers, in each pixel column x, exactly the
// span between
//     upper(x) = min over t of y(x - t) - t   and   lower(x) = max over t of y(x - t) - t
// (screen coordinates, y down). With u = x - t both are a sliding-window
// extreme of g(u) = y(u) + u over [x - depth, x], minus x. They are computed
// exactly: between two consecutive "events" (a vertex entering or leaving the
// window) each is the extreme of at most three straight lines, whose crossings
// become the outline's corners.
//
// The whole swept surface is then one polygon (upper forward, lower or the
// base backward) instead of one parallelogram per segment: the cost of the
// three-dimensional view stays close to that of the flat one.
class DepthSweep
{
public:
    enum class Edge { Upper, Lower };

    // Replaces out with the chosen edge of the sweep of line by depth pixels;
    // it runs from the line's first x to its last x + depth.
    static void edge(const std::vector<QPointF>& line, double depth, Edge which,
                     std::vector<QPointF>& out);
};

} // namespace flowloom::chart

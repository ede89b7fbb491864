#include "chart/DepthSweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using flowloom::chart::DepthSweep;

namespace {

using Edge = DepthSweep::Edge;

// The output polyline's y at x (it runs left to right).
double yAt(const std::vector<QPointF>& edge, double x)
{
    for (std::size_t i = 0; i + 1 < edge.size(); ++i) {
        const QPointF& a = edge[i];
        const QPointF& b = edge[i + 1];
        if (x >= a.x() && x <= b.x())
            return b.x() == a.x() ? a.y() : a.y() + (b.y() - a.y()) * (x - a.x()) / (b.x() - a.x());
    }
    return std::numeric_limits<double>::quiet_NaN();
}

// By definition: the extreme of y(x - t) - t over t in [0, depth], tried in fine steps.
double bruteForce(const std::vector<QPointF>& line, double depth, Edge which, double x)
{
    double best = which == Edge::Upper ? 1e300 : -1e300;
    const int steps = 20000;
    for (int k = 0; k <= steps; ++k) {
        const double t = depth * k / steps;
        const double u = x - t;
        if (u < line.front().x() || u > line.back().x())
            continue;
        // The segment holding u (the lines here have no vertical segments).
        const auto after = std::upper_bound(line.begin(), line.end(), u,
                                            [](double v, const QPointF& p) { return v < p.x(); });
        const std::size_t i = after == line.end()
                                  ? line.size() - 2
                                  : static_cast<std::size_t>(after - line.begin()) - 1;
        const QPointF& a = line[i];
        const QPointF& b = line[i + 1];
        const double y = a.y() + (b.y() - a.y()) * (u - a.x()) / (b.x() - a.x()) - t;
        best = which == Edge::Upper ? std::min(best, y) : std::max(best, y);
    }
    return best;
}

} // namespace

TEST(DepthSweep, AFlatLineSweepsIntoAParallelogram)
{
    const std::vector<QPointF> line{{0, 10}, {10, 10}};
    std::vector<QPointF> upper;
    std::vector<QPointF> lower;
    DepthSweep::edge(line, 5.0, Edge::Upper, upper);
    DepthSweep::edge(line, 5.0, Edge::Lower, lower);
    EXPECT_EQ(upper, (std::vector<QPointF>{{0, 10}, {5, 5}, {15, 5}}));
    EXPECT_EQ(lower, (std::vector<QPointF>{{0, 10}, {10, 10}, {15, 5}}));

    // No depth: the line itself.
    DepthSweep::edge(line, 0.0, Edge::Upper, upper);
    EXPECT_EQ(upper, line);
    // One point sweeps into a 45-degree stroke.
    DepthSweep::edge({{3, 7}}, 4.0, Edge::Upper, upper);
    EXPECT_EQ(upper, (std::vector<QPointF>{{3, 7}, {7, 3}}));
}

TEST(DepthSweep, EdgesMatchTheDefinitionOnJaggedTraffic)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> value(0.0, 300.0);
    for (double spacing : {1.75, 0.4, 9.0}) {
        std::vector<QPointF> line;
        for (int i = 0; i < 60; ++i)
            line.emplace_back(i * spacing, value(rng));
        const double depth = 15.0;
        for (Edge which : {Edge::Upper, Edge::Lower}) {
            std::vector<QPointF> edge;
            DepthSweep::edge(line, depth, which, edge);
            EXPECT_DOUBLE_EQ(edge.front().x(), 0.0);
            EXPECT_DOUBLE_EQ(edge.back().x(), line.back().x() + depth);
            for (std::size_t i = 1; i < edge.size(); ++i)
                ASSERT_GE(edge[i].x(), edge[i - 1].x());
            // Steep slopes (up to 300 / 0.4 per pixel) make the sampled
            // definition coarse; compare where it is fine enough.
            const double tolerance = 300.0 / spacing * depth / 20000.0 + 1e-6;
            for (double x = 0.0; x <= line.back().x() + depth; x += 0.37)
                EXPECT_NEAR(yAt(edge, x), bruteForce(line, depth, which, x), tolerance)
                    << "spacing " << spacing << " x " << x;
        }
    }
}

TEST(DepthSweep, VerticalJumpsOfStepsReachTheirFullHeight)
{
    // A step from 50 down to 10 (screen y) at x = 10.
    const std::vector<QPointF> steps{{0, 50}, {10, 50}, {10, 10}, {20, 10}};
    std::vector<QPointF> upper;
    DepthSweep::edge(steps, 6.0, Edge::Upper, upper);
    EXPECT_DOUBLE_EQ(yAt(upper, 4.0), 46.0); // still on the lower level, 4 pixels back
    // At x = 10 the whole jump enters the window: the edge drops straight from
    // 44 to 10 there.
    const auto jump = std::find(upper.begin(), upper.end(), QPointF(10, 44));
    ASSERT_NE(jump, upper.end());
    ASSERT_NE(jump + 1, upper.end());
    EXPECT_EQ(*(jump + 1), QPointF(10, 10));
    EXPECT_DOUBLE_EQ(yAt(upper, 13.0), 7.0); // the jump's top, 3 pixels back
    EXPECT_DOUBLE_EQ(yAt(upper, 16.0), 4.0); // ... and 6 pixels back, as far as it goes
    EXPECT_DOUBLE_EQ(yAt(upper, 26.0), 4.0);
}

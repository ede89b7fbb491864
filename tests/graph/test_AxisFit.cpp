#include "chart/Chart.h"
#include "graph/AxisFit.h"

#include <gtest/gtest.h>

#include <vector>

using namespace flowloom;
using graph::fittedMaximum;
using graph::largestOnPage;
using graph::tidyCeiling;

namespace {
struct TidyCase
{
    double value;
    double expected;
};
} // namespace

TEST(AxisFit, TidyCeilingIsTheNextOfOneTwoAndAHalfFiveAndTheirNeighbours)
{
    // The tidy numbers of a decade: 1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8, then 10.
    const TidyCase cases[] = {
        {1.0, 1.0},       {1.01, 1.2},      {1.2, 1.2},       {1.3, 1.5},   {1.9, 2.0},
        {2.1, 2.5},       {2.6, 3.0},       {3.5, 4.0},       {4.5, 5.0},   {5.5, 6.0},
        {7.0, 8.0},       {8.5, 10.0},      {9.99, 10.0},     {10.0, 10.0}, {1100.0, 1200.0},
        {2252.8, 2500.0}, {1000.0, 1000.0}, {1001.0, 1200.0}, {0.33, 0.4},  {0.3, 0.3},
        {0.07, 0.08},     {3.3e9, 4e9},     {0.0, 0.0},       {-5.0, 0.0},
    };
    for (const TidyCase& c : cases)
        EXPECT_DOUBLE_EQ(tidyCeiling(c.value), c.expected) << c.value;
}

TEST(AxisFit, TheFittedMaximumLeavesTenPercentAboveTheLargestValue)
{
    // 2 MB/s shown in KB/s: 2048 x 1.1 = 2252.8, tidied to 2500.
    EXPECT_DOUBLE_EQ(fittedMaximum(2048.0), 2500.0);
    // 3 GB/s in KB/s: 3,145,728 x 1.1 = 3,460,300.8, tidied to 4,000,000.
    EXPECT_DOUBLE_EQ(fittedMaximum(3.0 * 1024 * 1024), 4'000'000.0);
    // 1000 x 1.1 = 1100 goes to 1200, never to a maximum the value touches.
    EXPECT_DOUBLE_EQ(fittedMaximum(1000.0), 1200.0);
    // Exactly on a tidy number after the headroom: 500 x 1.1 = 550 -> 600.
    EXPECT_DOUBLE_EQ(fittedMaximum(500.0), 600.0);
    // 1350 x 1.1 = 1485 fits under 1500; 1400 x 1.1 = 1540 does not.
    EXPECT_DOUBLE_EQ(fittedMaximum(1350.0), 1500.0);
    EXPECT_DOUBLE_EQ(fittedMaximum(1400.0), 2000.0);
    // Every result keeps the headroom, and no tidy step is more than a
    // quarter above the one below it (1.2 -> 1.5, 8 -> 10).
    for (double v : {0.013, 0.5, 7.0, 99.0, 1350.0, 12345.0, 9.9e8}) {
        EXPECT_GE(fittedMaximum(v), v * 1.1 * (1 - 1e-12)) << v;
        EXPECT_LE(fittedMaximum(v), v * 1.1 * 1.25 * (1 + 1e-12)) << v;
    }
    // A page without traffic keeps a range of 1.
    EXPECT_EQ(fittedMaximum(0.0), 1.0);
    EXPECT_EQ(fittedMaximum(-3.0), 1.0);
}

TEST(AxisFit, TheLargestOnPageTakesOnlyPointsThePageShows)
{
    chart::Chart chart;
    chart::Series& series = chart.addSeries(chart::SeriesKind::Line, "s");
    const std::vector<double> values = {9, 1, 2, 3, 50, 4, 5, 6, 7, 8};
    for (double v : values)
        series.append(v, chart::TimeLabel::fromHms(0, 0, 0), 0);

    struct PageCase
    {
        double minimum, maximum, expected;
    };
    const PageCase cases[] = {
        {0, 9, 50},    // the whole series
        {5, 9, 8},     // after the burst at x = 4
        {4, 9, 50},    // the burst at the left edge still shows
        {4.5, 9, 50},  // half of its segment still shows
        {-10, 3, 9},   // a page that begins left of the data
        {1, 3, 3},     //
        {1, 3.2, 50},  // the ramp towards x = 4 enters the page
        {10, 20, 0},   // a page beyond the data
        {-20, -10, 0}, // and before it
        {8.5, 100, 8}, // the newest points at the left of a wide page
    };
    for (const PageCase& c : cases)
        EXPECT_EQ(largestOnPage(series, c.minimum, c.maximum), c.expected)
            << c.minimum << ".." << c.maximum;

    chart::Series& empty = chart.addSeries(chart::SeriesKind::Line, "e");
    EXPECT_EQ(largestOnPage(empty, 0, 100), 0.0);
}

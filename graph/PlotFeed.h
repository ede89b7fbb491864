#pragma once

#include "chart/Chart.h"
#include "graph/PlotFeedSettings.h"
#include "sampling/ByteUnits.h"
#include "sampling/DateTime.h"
#include "sampling/StatRec.h"

#include <functional>
#include <string>

namespace flowloom::graph {

// Turns each shown tick into points of the graph's four series, keeps the
// vertical axis large enough for the traffic and scrolls the horizontal axis
// one point per tick once a page is full.
//
// Series1 filled download, Series2 filled upload, Series3 line download,
// Series4 line upload. All four receive every point, shown or not, so that
// switching between filled and line keeps the whole history.
class PlotFeed
{
public:
    // Adds the four series to chart and gives the axes the window layout's
    // ranges (bottom -10..250, left -100..30000).
    explicit PlotFeed(chart::Chart& chart);

    chart::Series& series1() { return *m_series1; }
    chart::Series& series2() { return *m_series2; }
    chart::Series& series3() { return *m_series3; }
    chart::Series& series4() { return *m_series4; }
    const chart::Series& series1() const { return *m_series1; }
    const chart::Series& series2() const { return *m_series2; }
    const chart::Series& series3() const { return *m_series3; }
    const chart::Series& series4() const { return *m_series4; }

    // Bytes a second per plotted unit: a KB (1024) in KB/sec, 1 in Bytes/sec,
    // 125 in kbit/s and 125,000 in Mbit/s; set on every shown tick.
    double unitDivisor() const { return m_unitDivisor; }

    // Start-up: bottom maximum = points per page, left maximum = "Max" and
    // minimum = -0.005 x it, steps or ramps, and both series of the selected
    // kind shown whatever the plot boxes say.
    void startUp(const PlotFeedSettings& settings);

    // A shown tick of the selected interface. avgInText / avgOutText are the
    // displayed averages (Panel16, Panel20), read only in average mode; a text
    // that does not convert to a number throws std::invalid_argument after the
    // points were added, which ends the tick.
    void addShownTick(const sampling::TStatRec& rec, const PlotFeedSettings& settings,
                      const std::string& avgInText, const std::string& avgOutText,
                      const sampling::DateTime& now);

    // After all rows of a tick that passed the warm-up: vertical minimum, then
    // pageLimit (the run control's page limit, which may call restart()), then
    // page capture once a page is complete (capture returns whether an image
    // was made), then scrolling.
    void tickTail(sampling::RunCounters& counters, const PlotFeedSettings& settings,
                  const std::function<bool()>& capture,
                  const std::function<void()>& pageLimit = {});

    // The automatic maximum of "Visible page": fits the vertical axis to the
    // largest plotted value on the page the horizontal axis shows (up or
    // down), with the minimum just below zero. Runs at the end of every tick
    // tail while "Automatic" and "Visible page" are chosen; nothing happens
    // when neither direction is plotted.
    void fitToVisiblePage(const PlotFeedSettings& settings);
    // A shown tick that spans a sleep of the machine: a gap in all four
    // series (no line across it, a marker under the axis) that leaves the
    // vertical axis as it is; it scrolls and counts like any shown tick.
    void addGapTick(const PlotFeedSettings& settings, const sampling::DateTime& now);

    // The page limit's "Restart": a new, empty graph on its first page.
    void restart(sampling::RunCounters& counters, const PlotFeedSettings& settings);

    // Series activation by Start: the selected kind's pair follows the plot
    // boxes, the other pair is hidden.
    void activateSeriesForStart(const PlotFeedSettings& settings);
    // Series activation at start-up: both of the selected kind shown.
    void activateSeriesAtStartUp(const PlotFeedSettings& settings);

    // Handlers of the window's controls (errors of the chart are discarded
    // where the control cannot refuse its value).
    void spPointsChange(const PlotFeedSettings& settings);
    void spMaxChange(const PlotFeedSettings& settings);
    void btnClearClick(sampling::RunCounters& counters, const PlotFeedSettings& settings);
    void rbStepsClick(const PlotFeedSettings& settings);
    void rbRampClick(const PlotFeedSettings& settings) { rbStepsClick(settings); }
    void cbAutoClick(const PlotFeedSettings& settings);
    // Both plot boxes: only the selected kind's pair follows them.
    void cbDoPlotClick(const PlotFeedSettings& settings);
    // The unit buttons: the new text of the vertical axis label edLabel.
    static std::string rbBytesClick(const PlotFeedSettings& settings);

    // A displayed figure as a number: every "," removed, surrounding spaces
    // ignored. Throws std::invalid_argument for anything else.
    static double displayedNumber(const std::string& text);

private:
    void emptyAllSeries();
    void setPair(chart::Series& download, chart::Series& upload, bool showDownload,
                 bool showUpload);
    // Vertical maximum = value and minimum = -0.005 x it; a refused value leaves
    // the axis exactly as it was.
    void setVerticalRange(double maximum);
    void setVerticalMaximum(double maximum);

    chart::Chart& m_chart;
    chart::Series* m_series1;
    chart::Series* m_series2;
    chart::Series* m_series3;
    chart::Series* m_series4;
    double m_unitDivisor = static_cast<double>(sampling::kKiB);
};

} // namespace flowloom::graph

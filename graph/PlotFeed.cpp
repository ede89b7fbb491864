#include "graph/PlotFeed.h"

#include "chart/AxisError.h"
#include "graph/AxisFit.h"
#include "sampling/ByteUnits.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace flowloom::graph {

using chart::AxisError;
using chart::AxisId;
using chart::SeriesKind;

PlotFeed::PlotFeed(chart::Chart& chart) : m_chart(chart)
{
    m_series1 = &chart.addSeries(SeriesKind::Area, "Series1");
    m_series2 = &chart.addSeries(SeriesKind::Area, "Series2");
    // The line series receive exactly the filled series' values and share
    // their storage while they do.
    m_series3 = &chart.addSeries(SeriesKind::Line, "Series3", m_series1);
    m_series4 = &chart.addSeries(SeriesKind::Line, "Series4", m_series2);
    chart.bottomAxis().setRange(-10.0, 250.0);
    chart.leftAxis().setRange(-100.0, 30000.0);
}

void PlotFeed::startUp(const PlotFeedSettings& settings)
{
    // The bottom minimum keeps the layout's -10 until the first clear or restart.
    try {
        m_chart.bottomAxis().setMaximum(settings.pointsPerPage);
    } catch (const AxisError&) {
    }
    setVerticalRange(settings.maxValue);
    rbStepsClick(settings);
    activateSeriesAtStartUp(settings);
}

double PlotFeed::displayedNumber(const std::string& text)
{
    std::string digits;
    digits.reserve(text.size());
    for (char c : text) {
        if (c != ',')
            digits += c;
    }
    const auto first = digits.find_first_not_of(' ');
    const auto last = digits.find_last_not_of(' ');
    if (first == std::string::npos)
        throw std::invalid_argument("'" + text + "' is not a valid number");
    const char* begin = digits.data() + first;
    const char* end = digits.data() + last + 1;
    if (*begin == '+' && end - begin > 1 && begin[1] != '-')
        ++begin;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    // Infinity or NaN would make an axis that can never be drawn or lowered.
    if (ec != std::errc() || ptr != end || !std::isfinite(value))
        throw std::invalid_argument("'" + text + "' is not a valid number");
    return value;
}

void PlotFeed::addShownTick(const sampling::TStatRec& rec, const PlotFeedSettings& settings,
                            const std::string& avgInText, const std::string& avgOutText,
                            const sampling::DateTime& now)
{
    m_unitDivisor = sampling::bytesPerUnit(settings.unit());
    const chart::TimeLabel label = chart::TimeLabel::fromHms(now.hour, now.minute, now.second);
    const double down = rec.CurIn / m_unitDivisor;
    const double up = rec.CurOut / m_unitDivisor;
    m_series1->append(down, label, settings.downloadColour);
    m_series2->append(up, label, settings.uploadColour);
    m_series3->append(down, label, settings.downloadColour);
    m_series4->append(up, label, settings.uploadColour);

    if (!settings.automatic)
        return;
    chart::Axis& left = m_chart.leftAxis();
    // Raising the maximum can never be refused: it only moves away from the minimum.
    if (settings.peak) {
        const double peakIn = rec.PeakIn / m_unitDivisor;
        if (settings.plotDownload && peakIn > left.maximum())
            left.setMaximum(peakIn + peakIn * 0.01);
        const double peakOut = rec.PeakOut / m_unitDivisor;
        if (settings.plotUpload && peakOut > left.maximum())
            left.setMaximum(peakOut + peakOut * 0.01);
    } else if (settings.average) {
        const double avgIn = displayedNumber(avgInText) / m_unitDivisor;
        const double avgOut = displayedNumber(avgOutText) / m_unitDivisor;
        if (settings.plotDownload && avgIn > left.maximum())
            left.setMaximum(avgIn + avgIn * 0.5);
        if (settings.plotUpload && avgOut > left.maximum())
            left.setMaximum(avgOut + avgOut * 0.5);
    }
}

void PlotFeed::tickTail(sampling::RunCounters& counters, const PlotFeedSettings& settings,
                        const std::function<bool()>& capture,
                        const std::function<void()>& pageLimit)
{
    // Keeps the zero line just inside the plot.
    chart::Axis& left = m_chart.leftAxis();
    left.setMinimum(-0.002 * left.maximum());

    if (pageLimit)
        pageLimit();

    // While capture is off or its folder is missing the count keeps growing,
    // so switching capture on later captures at the next tick.
    if (counters.CaptureCount >= settings.pointsPerPage && capture && capture())
        counters.CaptureCount = 0;

    chart::Axis& bottom = m_chart.bottomAxis();
    if (static_cast<double>(counters.ScrollCount) + 2.0 >= bottom.maximum() - bottom.minimum()) {
        bottom.setMaximum(bottom.maximum() + 1.0);
        bottom.setMinimum(bottom.minimum() + 1.0);
        // Catch up so that the newest point (x = n - 1) stands at the right edge.
        const chart::Series& shown = settings.filled ? *m_series1 : *m_series3;
        const double n = static_cast<double>(shown.size());
        m_chart.shiftAxis(AxisId::Bottom, n - (bottom.maximum() + 1.0));
    }

    // After scrolling, so that the fit sees the page as it will be drawn.
    if (settings.automatic && settings.fit)
        fitToVisiblePage(settings);
}

void PlotFeed::fitToVisiblePage(const PlotFeedSettings& settings)
{
    if (!settings.plotDownload && !settings.plotUpload)
        return;
    const chart::Axis& bottom = m_chart.bottomAxis();
    // Series1 and Series2 hold every point that Series3 and Series4 hold. A
    // value that is no number (a gap) never wins a comparison, so it is passed over.
    double largest = 0.0;
    if (settings.plotDownload)
        largest = largestOnPage(*m_series1, bottom.minimum(), bottom.maximum());
    if (settings.plotUpload)
        largest = std::max(largest, largestOnPage(*m_series2, bottom.minimum(), bottom.maximum()));
    const double maximum = fittedMaximum(largest);
    // A fitted maximum is always above 0, so this range is never refused; the
    // floor stays just below zero as the tick tail keeps it.
    m_chart.leftAxis().setRange(-0.002 * maximum, maximum);
}

void PlotFeed::emptyAllSeries()
{
    m_series1->clear();
    m_series2->clear();
    m_series3->clear();
    m_series4->clear();
}

void PlotFeed::restart(sampling::RunCounters& counters, const PlotFeedSettings& settings)
{
    counters.ScrollCount = 0;
    emptyAllSeries();
    // Both limits at once: setting the minimum 0 first would be refused while
    // the window still lies left of 0.
    m_chart.bottomAxis().setRange(0.0, settings.pointsPerPage);
}

void PlotFeed::setPair(chart::Series& download, chart::Series& upload, bool showDownload,
                       bool showUpload)
{
    download.setVisible(showDownload);
    upload.setVisible(showUpload);
}

void PlotFeed::activateSeriesForStart(const PlotFeedSettings& settings)
{
    if (settings.filled) {
        setPair(*m_series1, *m_series2, settings.plotDownload, settings.plotUpload);
        setPair(*m_series3, *m_series4, false, false);
    } else {
        setPair(*m_series3, *m_series4, settings.plotDownload, settings.plotUpload);
        setPair(*m_series1, *m_series2, false, false);
    }
}

void PlotFeed::activateSeriesAtStartUp(const PlotFeedSettings& settings)
{
    setPair(*m_series1, *m_series2, settings.filled, settings.filled);
    setPair(*m_series3, *m_series4, !settings.filled, !settings.filled);
}

void PlotFeed::cbDoPlotClick(const PlotFeedSettings& settings)
{
    if (settings.filled)
        setPair(*m_series1, *m_series2, settings.plotDownload, settings.plotUpload);
    else
        setPair(*m_series3, *m_series4, settings.plotDownload, settings.plotUpload);
}

void PlotFeed::setVerticalMaximum(double maximum)
{
    // Every tick sets the floor to -0.002 x maximum, which only a maximum of
    // at least 0 can have below it; a negative one would make every following
    // tick fail. It is refused like any maximum the axis refuses.
    if (maximum < 0.0)
        return;
    try {
        m_chart.leftAxis().setMaximum(maximum);
    } catch (const AxisError&) {
    }
}

void PlotFeed::setVerticalRange(double maximum)
{
    chart::Axis& left = m_chart.leftAxis();
    const double oldMinimum = left.minimum();
    const double oldMaximum = left.maximum();
    try {
        left.setMaximum(maximum);
        left.setMinimum(-0.005 * left.maximum());
    } catch (const AxisError&) {
        left.setRange(oldMinimum, oldMaximum);
    }
}

void PlotFeed::spPointsChange(const PlotFeedSettings& settings)
{
    // The minimum stays, so the window widens or narrows at the right.
    try {
        m_chart.bottomAxis().setMaximum(settings.pointsPerPage);
    } catch (const AxisError&) {
    }
}

void PlotFeed::spMaxChange(const PlotFeedSettings& settings)
{
    setVerticalRange(settings.maxValue);
}

void PlotFeed::btnClearClick(sampling::RunCounters& counters, const PlotFeedSettings& settings)
{
    // StopCount, WarmUpCount and the statistics are not touched.
    counters.ScrollCount = 0;
    counters.CaptureCount = 0;
    emptyAllSeries();
    m_chart.bottomAxis().setRange(0.0, settings.pointsPerPage);
    // A maximum that is refused leaves the vertical axis as it was; the graph
    // is cleared all the same.
    setVerticalMaximum(settings.maxValue);
}

void PlotFeed::rbStepsClick(const PlotFeedSettings& settings)
{
    m_series1->setStepped(settings.steps);
    m_series2->setStepped(settings.steps);
    m_series3->setStepped(settings.steps);
    m_series4->setStepped(settings.steps);
}

void PlotFeed::cbAutoClick(const PlotFeedSettings& settings)
{
    // The chart never scales an axis by itself, so there is nothing of its own to switch off.
    if (!settings.automatic)
        setVerticalMaximum(settings.maxValue);
}

void PlotFeed::addGapTick(const PlotFeedSettings& settings, const sampling::DateTime& now)
{
    const chart::TimeLabel label = chart::TimeLabel::fromHms(now.hour, now.minute, now.second);
    m_series1->appendGap(label, settings.downloadColour);
    m_series2->appendGap(label, settings.uploadColour);
    m_series3->appendGap(label, settings.downloadColour);
    m_series4->appendGap(label, settings.uploadColour);
}

std::string PlotFeed::rbBytesClick(const PlotFeedSettings& settings)
{
    return std::string(sampling::axisLabel(settings.unit()));
}

} // namespace flowloom::graph

#pragma once

#include "chart/ColourRuns.h"
#include "chart/ColumnHandle.h"
#include "chart/TimeLabel.h"

#include <QRgb>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace flowloom::chart {

// Bar: one bar per point, centred on its x; the bars of several bar series
// stand side by side.
enum class SeriesKind { Area, Line, Bar };

// An ordered list of points (x, y, label, colour). A point's x is the number
// of points the series held before it, so x is never stored: point i has x = i.
// Showing, hiding, stepping and colouring change how the series is drawn,
// never its points.
class Series
{
public:
    Series(SeriesKind kind, std::string name, ColumnHandle<double> values,
           ColumnHandle<std::uint32_t> labels);

    Series(const Series&) = delete;
    Series& operator=(const Series&) = delete;

    SeriesKind kind() const { return m_kind; }
    const std::string& name() const { return m_name; }

    // Appends a point at x = size().
    void append(double y, TimeLabel label, QRgb colour);
    // Appends a point with no value (y reads 0): the time it stands for is
    // not known, as across a sleep of the machine. No line reaches it.
    void appendGap(TimeLabel label, QRgb colour);
    void clear();
    // Counts the clears, so that a drawing of earlier points knows it is stale.
    std::uint64_t clearCount() const { return m_clearCount; }

    bool isGap(std::size_t index) const;
    // The indices of the gaps, ascending.
    const std::vector<std::size_t>& gaps() const { return m_gaps; }

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    double y(std::size_t index) const { return m_values.at(index); }
    TimeLabel label(std::size_t index) const { return TimeLabel(m_labels.at(index)); }
    QRgb colour(std::size_t index) const { return m_colours.colourAt(index); }
    const ColourRuns& colourRuns() const { return m_colours; }

    // Smallest and largest y over all points held; meaningful only when not empty.
    double minY() const { return m_minY; }
    double maxY() const { return m_maxY; }

    bool visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    bool stepped() const { return m_stepped; }
    void setStepped(bool stepped) { m_stepped = stepped; }
    // Lines that a filled area draws at each point in the three-dimensional view.
    bool dividingLines() const { return m_dividingLines; }
    void setDividingLines(bool on) { m_dividingLines = on; }

    const ColumnHandle<double>& valueColumn() const { return m_values; }
    const ColumnHandle<std::uint32_t>& labelColumn() const { return m_labels; }
    std::size_t ownBytes() const { return m_colours.allocatedBytes(); }

private:
    SeriesKind m_kind;
    std::string m_name;
    ColumnHandle<double> m_values;
    ColumnHandle<std::uint32_t> m_labels;
    ColourRuns m_colours;
    std::vector<std::size_t> m_gaps;
    std::size_t m_count = 0;
    std::uint64_t m_clearCount = 0;
    double m_minY = 0.0;
    double m_maxY = 0.0;
    bool m_visible = true;
    bool m_stepped = false;
    bool m_dividingLines = false;
};

} // namespace flowloom::chart

#pragma once

#include <QRgb>

#include <cstddef>
#include <vector>

namespace flowloom::chart {

// The colours of a series' points as runs: a colour changes rarely (only when
// the user picks a new plot colour), so the series stores one entry per
// change instead of one colour per point. A change therefore affects only the
// points appended after it.
class ColourRuns
{
public:
    struct Run
    {
        std::size_t first; // index of the first point in this colour
        QRgb colour;
    };

    // Records the colour of the point with the given index (appended in order).
    void append(std::size_t index, QRgb colour);
    void clear() { m_runs.clear(); }

    // Colour of the point with the given index; the index must be held.
    QRgb colourAt(std::size_t index) const;
    // Position of the run that holds the given index.
    std::size_t runIndexOf(std::size_t index) const;

    const std::vector<Run>& runs() const { return m_runs; }
    std::size_t allocatedBytes() const { return m_runs.capacity() * sizeof(Run); }

private:
    std::vector<Run> m_runs;
};

} // namespace flowloom::chart

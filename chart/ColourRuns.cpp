#include "chart/ColourRuns.h"

#include <algorithm>

namespace flowloom::chart {

void ColourRuns::append(std::size_t index, QRgb colour)
{
    if (m_runs.empty() || m_runs.back().colour != colour)
        m_runs.push_back(Run{index, colour});
}

std::size_t ColourRuns::runIndexOf(std::size_t index) const
{
    auto after = std::upper_bound(m_runs.begin(), m_runs.end(), index,
                                  [](std::size_t i, const Run& run) { return i < run.first; });
    return after == m_runs.begin() ? 0 : static_cast<std::size_t>(after - m_runs.begin()) - 1;
}

QRgb ColourRuns::colourAt(std::size_t index) const
{
    return m_runs.empty() ? QRgb{} : m_runs[runIndexOf(index)].colour;
}

} // namespace flowloom::chart

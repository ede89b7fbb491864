#include "chart/Series.h"

#include <algorithm>
#include <utility>

namespace flowloom::chart {

Series::Series(SeriesKind kind, std::string name, ColumnHandle<double> values,
               ColumnHandle<std::uint32_t> labels)
    : m_kind(kind), m_name(std::move(name)), m_values(std::move(values)),
      m_labels(std::move(labels))
{}

void Series::append(double y, TimeLabel label, QRgb colour)
{
    m_values.append(y, m_count);
    m_labels.append(label.secondsOfDay(), m_count);
    m_colours.append(m_count, colour);
    if (m_count == 0) {
        m_minY = y;
        m_maxY = y;
    } else {
        m_minY = y < m_minY ? y : m_minY;
        m_maxY = y > m_maxY ? y : m_maxY;
    }
    ++m_count;
}

void Series::appendGap(TimeLabel label, QRgb colour)
{
    m_gaps.push_back(m_count);
    append(0.0, label, colour);
}

bool Series::isGap(std::size_t index) const
{
    return std::binary_search(m_gaps.begin(), m_gaps.end(), index);
}

void Series::clear()
{
    ++m_clearCount;
    m_gaps.clear();
    m_gaps.shrink_to_fit();
    m_values.clear();
    m_labels.clear();
    m_colours.clear();
    m_count = 0;
    m_minY = 0.0;
    m_maxY = 0.0;
}

} // namespace flowloom::chart

#include "chart/Series.h"

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

void Series::clear()
{
    m_values.clear();
    m_labels.clear();
    m_colours.clear();
    m_count = 0;
    m_minY = 0.0;
    m_maxY = 0.0;
}

} // namespace flowloom::chart

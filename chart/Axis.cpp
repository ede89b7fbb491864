#include "chart/Axis.h"

#include "chart/AxisError.h"

#include <cmath>
#include <string>

namespace flowloom::chart {

namespace {

void requireFinite(double value)
{
    if (!std::isfinite(value))
        throw AxisError("axis limit is not a finite number");
}

} // namespace

Axis::Axis(double minimum, double maximum) : m_minimum(minimum), m_maximum(maximum)
{
    requireFinite(minimum);
    requireFinite(maximum);
    if (minimum > maximum)
        throw AxisError("axis minimum above maximum");
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    m_labelFont = font;
    m_titleFont = font;
}

void Axis::setMinimum(double value)
{
    requireFinite(value);
    if (value > m_maximum)
        throw AxisError("axis minimum " + std::to_string(value) + " above maximum " +
                        std::to_string(m_maximum));
    m_minimum = value;
}

void Axis::setMaximum(double value)
{
    requireFinite(value);
    if (value < m_minimum)
        throw AxisError("axis maximum " + std::to_string(value) + " below minimum " +
                        std::to_string(m_minimum));
    m_maximum = value;
}

void Axis::setRange(double minimum, double maximum)
{
    requireFinite(minimum);
    requireFinite(maximum);
    if (minimum > maximum)
        throw AxisError("axis minimum above maximum");
    m_minimum = minimum;
    m_maximum = maximum;
}

void Axis::move(double delta)
{
    const double minimum = m_minimum + delta;
    const double maximum = m_maximum + delta;
    if (!std::isfinite(minimum) || !std::isfinite(maximum))
        throw AxisError("axis moved beyond the representable range");
    m_minimum = minimum;
    m_maximum = maximum;
}

void Axis::setPositions(double startPercent, double endPercent)
{
    m_startPosition = startPercent;
    m_endPosition = endPercent;
}

} // namespace flowloom::chart

#include "chart/AxisScale.h"

namespace flowloom::chart {

AxisScale::AxisScale(double minimum, double maximum, double pixelAtMinimum, double pixelAtMaximum)
    : m_minimum(minimum), m_maximum(maximum), m_pixelAtMinimum(pixelAtMinimum)
{
    // An axis may legitimately be set to an empty range (maximum = minimum,
    // e.g. a maximum value of 0); it is drawn as if one unit wide rather than
    // dividing by zero.
    const double span = maximum > minimum ? maximum - minimum : 1.0;
    const double pixels = pixelAtMaximum - pixelAtMinimum;
    m_scale = pixels != 0.0 ? pixels / span : 1.0 / span;
}

} // namespace flowloom::chart

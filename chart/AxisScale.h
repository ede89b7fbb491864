#pragma once

namespace flowloom::chart {

// Maps axis values to device pixels and back, linearly: the axis minimum sits
// at pixelAtMinimum and the maximum at pixelAtMaximum (for the vertical axis
// the minimum is the larger pixel coordinate).
class AxisScale
{
public:
    AxisScale() = default;
    AxisScale(double minimum, double maximum, double pixelAtMinimum, double pixelAtMaximum);

    double toPixel(double value) const { return m_pixelAtMinimum + (value - m_minimum) * m_scale; }
    double toValue(double pixel) const { return m_minimum + (pixel - m_pixelAtMinimum) / m_scale; }
    // Signed pixels per axis unit.
    double pixelsPerUnit() const { return m_scale; }
    double pixelAtMinimum() const { return m_pixelAtMinimum; }
    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }

private:
    double m_minimum = 0.0;
    double m_maximum = 1.0;
    double m_pixelAtMinimum = 0.0;
    double m_scale = 1.0;
};

} // namespace flowloom::chart

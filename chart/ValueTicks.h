#pragma once

#include <QString>

#include <cstddef>

namespace flowloom::chart {

// The labelled values of the vertical axis: multiples of a step of 1, 2 or 5
// times a power of ten, never below 1 (the axis counts whole bytes or KB), and
// wide enough apart that labels keep at least minSpacing pixels between them.
class ValueTicks
{
public:
    static constexpr std::size_t maxTicks = 1000;

    // pixelsPerUnit: |pixels| per axis unit.
    ValueTicks(double minimum, double maximum, double pixelsPerUnit, double minSpacing);

    std::size_t count() const { return m_count; }
    double value(std::size_t index) const { return m_first + static_cast<double>(index) * m_step; }
    double step() const { return m_step; }

    // "#,##0.###": thousands separated by ",", at most three decimals.
    static QString text(double value);

private:
    double m_step = 1.0;
    double m_first = 0.0;
    std::size_t m_count = 0;
};

} // namespace flowloom::chart

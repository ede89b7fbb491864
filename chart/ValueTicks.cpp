#include "chart/ValueTicks.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace flowloom::chart {

ValueTicks::ValueTicks(double minimum, double maximum, double pixelsPerUnit, double minSpacing)
{
    const double ppu = std::fabs(pixelsPerUnit);
    if (!(minimum <= maximum) || !std::isfinite(minimum) || !std::isfinite(maximum) ||
        !(ppu > 0.0) || !std::isfinite(ppu))
        return;
    const double wanted = minSpacing > 0.0 ? minSpacing / ppu : 1.0;
    double step = 1.0;
    if (wanted > 1.0) {
        const double magnitude = std::pow(10.0, std::floor(std::log10(wanted)));
        step = magnitude;
        for (double factor : {1.0, 2.0, 5.0, 10.0}) {
            if (magnitude * factor >= wanted) {
                step = magnitude * factor;
                break;
            }
        }
    }
    const double first = std::ceil(minimum / step);
    const double last = std::floor(maximum / step);
    if (!(first <= last))
        return;
    m_step = step;
    m_first = first * step;
    const double n = last - first + 1.0;
    m_count = n > static_cast<double>(maxTicks) ? maxTicks : static_cast<std::size_t>(n);
}

QString ValueTicks::text(double value)
{
    char buffer[512]; // %.3f of the largest double needs 313 characters
    std::snprintf(buffer, sizeof buffer, "%.3f", std::fabs(value));
    std::string digits(buffer);
    std::string fraction;
    if (const auto dot = digits.find('.'); dot != std::string::npos) {
        fraction = digits.substr(dot + 1);
        digits.resize(dot);
        while (!fraction.empty() && fraction.back() == '0')
            fraction.pop_back();
    }
    std::string grouped;
    const std::size_t length = digits.size();
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0 && (length - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    const bool negative = value < 0.0 && (grouped != "0" || !fraction.empty());
    std::string out = negative ? "-" : "";
    out += grouped;
    if (!fraction.empty())
        out += "." + fraction;
    return QString::fromStdString(out);
}

} // namespace flowloom::chart

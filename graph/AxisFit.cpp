#include "graph/AxisFit.h"

#include "chart/Series.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace flowloom::graph {

namespace {
constexpr std::array<double, 11> kTidyMantissas = {1.0, 1.2, 1.5, 2.0, 2.5, 3.0,
                                                   4.0, 5.0, 6.0, 8.0, 10.0};

// m x 10^exponent, divided rather than multiplied for negative exponents so
// that 3 x 10^-1 comes out as the double nearest 0.3.
double scaled(double mantissa, int exponent)
{
    return exponent >= 0 ? mantissa * std::pow(10.0, exponent)
                         : mantissa / std::pow(10.0, -exponent);
}
} // namespace

double tidyCeiling(double value)
{
    if (!(value > 0.0) || !std::isfinite(value))
        return value > 0.0 ? value : 0.0;
    const int exponent = static_cast<int>(std::floor(std::log10(value)));
    // A value a rounding error above a tidy number takes that number.
    const double wanted = value * (1.0 - 1e-12);
    for (int e = exponent - 1; e <= exponent + 1; ++e) {
        for (const double mantissa : kTidyMantissas) {
            const double candidate = scaled(mantissa, e);
            if (candidate >= wanted)
                return candidate;
        }
    }
    return scaled(10.0, exponent + 1);
}

double fittedMaximum(double largest)
{
    if (!(largest > 0.0))
        return 1.0;
    return tidyCeiling(largest * (1.0 + kFitHeadroom));
}

double largestOnPage(const chart::Series& series, double minimum, double maximum)
{
    if (series.empty() || maximum < 0.0)
        return 0.0;
    const double last = static_cast<double>(series.size() - 1);
    const double from = std::max(0.0, std::floor(minimum));
    const double to = std::min(last, std::ceil(maximum));
    double largest = 0.0;
    for (auto i = static_cast<std::size_t>(from); static_cast<double>(i) <= to; ++i)
        largest = std::max(largest, series.y(i));
    return largest;
}

} // namespace flowloom::graph

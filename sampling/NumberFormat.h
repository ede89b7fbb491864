#pragma once

#include <string>

namespace flowloom::sampling {

// x with "," between groups of three digits and "." before the decimals,
// rounded half away from zero to `decimals` places. At most 12 significant
// digits are kept in the decimals; the whole-number digits are always exact,
// since byte totals run past 12 digits in a long life.
std::string fmt(long double x, int decimals);

// The text with every "," removed (how readers of the displayed figures take them).
std::string withoutThousands(const std::string& text);

} // namespace flowloom::sampling

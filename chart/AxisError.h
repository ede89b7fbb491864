#pragma once

#include <stdexcept>
#include <string>

namespace flowloom::chart {

// Raised when the program asks an axis for a range it cannot have: a minimum
// above the current maximum, a maximum below the current minimum, or a limit
// that is not a finite number. The axis is left exactly as it was.
class AxisError : public std::runtime_error
{
public:
    explicit AxisError(const std::string& what) : std::runtime_error(what) {}
};

} // namespace flowloom::chart

#pragma once

namespace flowloom::sampling {

// For a catch block that keeps the program going after an exception that
// should never happen (a programming error, not an expected failure): in
// debug builds it writes one line to stderr naming `place` and the exception,
// so the fault is seen; release builds stay silent, as the program logs
// nothing. Call it only from inside the catch block.
void traceUnexpectedException(const char* place) noexcept;

} // namespace flowloom::sampling

#include "sampling/UnexpectedException.h"

#include <cstdio>
#include <exception>

namespace flowloom::sampling {

void traceUnexpectedException(const char* place) noexcept
{
#ifdef NDEBUG
    (void)place;
#else
    const char* what = "an exception not derived from std::exception";
    try {
        throw; // the exception being handled, to learn its text
    } catch (const std::exception& error) {
        what = error.what(); // lives on while the caller's handler runs
    } catch (...) {
    }
    std::fprintf(stderr, "flowloom: unexpected exception in %s: %s\n", place, what);
#endif
}

} // namespace flowloom::sampling

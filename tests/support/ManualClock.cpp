#include "support/ManualClock.h"

namespace flowloom::testsupport {

void ManualClock::advance(int seconds)
{
    m_now = sampling::fromSerialSeconds(sampling::toSerialSeconds(m_now) + seconds);
    m_steadyMs += std::int64_t{seconds} * 1000;
}

} // namespace flowloom::testsupport

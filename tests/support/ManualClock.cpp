#include "support/ManualClock.h"

namespace flowloom::testsupport {

void ManualClock::advance(int seconds)
{
    m_now = sampling::fromSerialSeconds(sampling::toSerialSeconds(m_now) + seconds);
}

} // namespace flowloom::testsupport

#include "appnet/PollCadence.h"

namespace flowloom::appnet {

bool PollCadence::due(Clock::time_point now, bool shown)
{
    const bool poll =
        shown || !m_lastPoll || now < *m_lastPoll || now - *m_lastPoll >= kHiddenPollInterval;
    if (poll)
        m_lastPoll = now;
    return poll;
}

} // namespace flowloom::appnet

#pragma once

#include <chrono>
#include <optional>

namespace flowloom::appnet {

// How often the live sockets are read while nobody looks at the figures per
// application. A read is mostly lookups of the known sockets, but reads this
// far apart are dumps (see DumpSchedule), which walk the kernel's whole TCP
// hash table; the closes are read every tick all the same, so a longer
// interval loses no connection, it only credits its bytes later.
inline constexpr std::chrono::seconds kHiddenPollInterval{30};

// When the live sockets are read: every tick while the figures are shown,
// otherwise once per kHiddenPollInterval. The first tick and the first tick
// shown read them at once.
class PollCadence
{
public:
    using Clock = std::chrono::steady_clock;

    // Whether this tick reads the live sockets (it is then counted as read).
    bool due(Clock::time_point now, bool shown);
    // The next tick reads them.
    void forget() { m_lastPoll.reset(); }

private:
    std::optional<Clock::time_point> m_lastPoll;
};

} // namespace flowloom::appnet

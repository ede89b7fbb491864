#include "sampling/SleepDetector.h"

#include <ctime>

namespace flowloom::sampling {

namespace {
std::int64_t milliseconds(clockid_t id)
{
    timespec ts{};
    if (clock_gettime(id, &ts) != 0)
        return 0;
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}
} // namespace

std::int64_t SystemSleepClocks::bootMilliseconds() const
{
    return milliseconds(CLOCK_BOOTTIME);
}

std::int64_t SystemSleepClocks::monotonicMilliseconds() const
{
    return milliseconds(CLOCK_MONOTONIC);
}

SleepDetector::SleepDetector(const SleepClocks& clocks) : m_clocks(clocks) {}

std::int64_t bootAheadMs(const SleepClocks& clocks)
{
    return clocks.bootMilliseconds() - clocks.monotonicMilliseconds();
}

void SleepDetector::sleepAnnounced()
{
    m_announced = true;
    m_asleep = true;
}

void SleepDetector::resumed()
{
    m_asleep = false;
}

bool SleepDetector::tick()
{
    return tick(bootAheadMs(m_clocks));
}

bool SleepDetector::tick(std::int64_t ahead)
{
    // The boot clock only ever gains on the monotonic one; a difference that
    // shrank (a clock that cannot be read) is taken as the new base.
    const bool clocksSaySleep = m_started && ahead - m_lastAheadMs > kThresholdMs;
    // Every tick between the announcement and the wake-up spans the sleep,
    // and so does the first tick after it when none came in between.
    const bool slept = clocksSaySleep || m_announced || m_asleep;
    m_started = true;
    m_lastAheadMs = ahead;
    m_announced = false;
    return slept;
}

} // namespace flowloom::sampling

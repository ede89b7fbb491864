#pragma once

#include <cstdint>

namespace flowloom::sampling {

// The two clocks that tell a sleep: the boot clock runs on while the machine
// sleeps (CLOCK_BOOTTIME), the monotonic one stands still (CLOCK_MONOTONIC).
// Tests script both.
class SleepClocks
{
public:
    virtual ~SleepClocks() = default;
    virtual std::int64_t bootMilliseconds() const = 0;
    virtual std::int64_t monotonicMilliseconds() const = 0;
};

// How far the boot clock is ahead of the monotonic one: the time slept so far.
std::int64_t bootAheadMs(const SleepClocks& clocks);

class SystemSleepClocks final : public SleepClocks
{
public:
    std::int64_t bootMilliseconds() const override;
    std::int64_t monotonicMilliseconds() const override;
};

// Whether the time between two ticks spans a sleep of the machine: the
// desktop said so (logind's PrepareForSleep), or the boot clock ran ahead of
// the monotonic clock by more than a tick's scheduling could explain. The
// clock check alone works without a desktop (headless, in a container).
class SleepDetector
{
public:
    // More than this between the two clocks over one tick is a sleep; less
    // is their rounding and the kernel's bookkeeping.
    static constexpr std::int64_t kThresholdMs = 1500;

    explicit SleepDetector(const SleepClocks& clocks);

    // The machine is about to sleep (after the last reading was taken), and
    // has woken up again.
    void sleepAnnounced();
    void resumed();
    bool asleep() const { return m_asleep; }

    // At each tick: whether the time since the previous tick spans a sleep:
    // every tick from the announcement to the wake-up, the first tick after
    // it when none came in between, and any tick the clocks tell. The first
    // tick only sets the base.
    bool tick();
    // The same for a tick whose reading was taken earlier, when the boot
    // clock led the monotonic one by `aheadMs` (bootAheadMs()).
    bool tick(std::int64_t aheadMs);

private:
    const SleepClocks& m_clocks;
    bool m_started = false;
    bool m_announced = false; // a sleep was announced since the previous tick
    bool m_asleep = false;
    std::int64_t m_lastAheadMs = 0;
};

} // namespace flowloom::sampling

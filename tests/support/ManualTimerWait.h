#pragma once

#include "sampling/ThdTimer.h"

#include <cstdint>

namespace flowloom::testsupport {

// A timer wait on a clock that only moves when the test says so. advance()
// lets time pass and expires every armed wait whose deadline it reaches, at
// that deadline; a tick that works for a while calls spend() from inside the
// tick, so a wait armed after the work counts from its end.
class ManualTimerWait final : public sampling::TimerWait
{
public:
    void arm(std::uint32_t milliseconds) override
    {
        m_armed = true;
        m_deadline = m_now + milliseconds;
        ++m_arms;
    }
    void disarm() override { m_armed = false; }

    void advance(std::int64_t milliseconds)
    {
        const std::int64_t end = m_now + milliseconds;
        // A zero wait armed by an expiry expires on the next advance, not in
        // the same instant again and again.
        std::int64_t expiredAt = -1;
        while (m_armed && m_deadline <= end && m_deadline != expiredAt) {
            m_now = m_deadline > m_now ? m_deadline : m_now;
            expiredAt = m_now;
            m_armed = false;
            if (expired)
                expired();
        }
        m_now = end > m_now ? end : m_now;
    }
    void spend(std::int64_t milliseconds) { m_now += milliseconds; }

    std::int64_t now() const { return m_now; }
    bool armed() const { return m_armed; }
    // How many times a wait was armed.
    int arms() const { return m_arms; }

private:
    std::int64_t m_now = 0;
    std::int64_t m_deadline = 0;
    bool m_armed = false;
    int m_arms = 0;
};

} // namespace flowloom::testsupport

#pragma once

#include "sampling/DateTime.h"

namespace flowloom::testsupport {

// A clock that only moves when the test says so. advance() moves the wall and
// the steady time alike; set() steps the wall clock alone, as a user or a time
// server setting the clock does.
class ManualClock final : public sampling::WallClock
{
public:
    explicit ManualClock(sampling::DateTime start = {2026, 12, 6, 19, 44, 3}) : m_now(start) {}
    sampling::DateTime now() const override { return m_now; }
    std::int64_t steadyMilliseconds() const override { return m_steadyMs; }
    void set(const sampling::DateTime& dt) { m_now = dt; }
    void advance(int seconds);

private:
    sampling::DateTime m_now;
    std::int64_t m_steadyMs = 1'000'000;
};

} // namespace flowloom::testsupport

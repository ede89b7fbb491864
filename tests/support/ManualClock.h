#pragma once

#include "sampling/DateTime.h"

namespace flowloom::testsupport {

// A wall clock that only moves when the test says so.
class ManualClock final : public sampling::WallClock
{
public:
    explicit ManualClock(sampling::DateTime start = {2026, 12, 6, 19, 44, 3}) : m_now(start) {}
    sampling::DateTime now() const override { return m_now; }
    void set(const sampling::DateTime& dt) { m_now = dt; }
    void advance(int seconds);

private:
    sampling::DateTime m_now;
};

} // namespace flowloom::testsupport

#pragma once

#include "sampling/ThdTimer.h"

#include <QTimer>

namespace flowloom::app {

// The sampling clock's wait in the user-interface thread's own event loop: a
// one-shot precise timer. A tick then costs one wake-up of the program, where
// a worker thread would add a wake-up of its own and a hand-over; when the
// window is hidden that is most of what a tick costs.
class UiTimerWait final : public sampling::TimerWait
{
public:
    UiTimerWait();
    void arm(std::uint32_t milliseconds) override;
    void disarm() override;

private:
    QTimer m_timer;
};

} // namespace flowloom::app

#include "app/shell/UiTimerWait.h"

namespace flowloom::app {

UiTimerWait::UiTimerWait()
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer); // a full interval, never a little less
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (expired)
            expired();
    });
}

void UiTimerWait::arm(std::uint32_t milliseconds)
{
    m_timer.start(static_cast<int>(milliseconds));
}

void UiTimerWait::disarm()
{
    m_timer.stop();
}

} // namespace flowloom::app

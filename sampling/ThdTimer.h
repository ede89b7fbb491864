#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace flowloom::sampling {

enum class ThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

// A timer whose waiting happens on a worker thread and whose ticks run on the
// user-interface thread. The worker waits on a one-shot kernel timer (timerfd)
// that the owner's thread arms for `Interval` ms when the timer is enabled and
// again when a tick has run; on expiry the worker hands the tick to the UI
// thread and waits for the next arming. So ticks never overlap and the time
// between two ticks is the interval plus the previous tick's work, as with a
// worker that blocks until its tick has run, but a tick costs the worker one
// wake-up instead of two (and the UI thread no signal back): the hand-over is
// a single queued call. Arming anew replaces a wait in progress, which is what
// the auto-reset stop event of such a timer does.
class TThreadedTimer
{
public:
    // Queues a call on the user-interface thread without waiting for it.
    using Poster = std::function<void(std::function<void()>)>;
    using TickHandler = std::function<void(TThreadedTimer&)>;

    explicit TThreadedTimer(Poster postToUiThread);
    ~TThreadedTimer();
    TThreadedTimer(const TThreadedTimer&) = delete;
    TThreadedTimer& operator=(const TThreadedTimer&) = delete;

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    std::uint32_t Interval() const { return m_interval; }
    void setInterval(std::uint32_t milliseconds);
    bool AllowZero() const { return m_allowZero; }
    void setAllowZero(bool allow) { m_allowZero = allow; }
    ThreadPriority threadPriority() const { return m_priority; }
    void setThreadPriority(ThreadPriority priority);

    TickHandler OnTimer;

private:
    struct Shared;
    void workerLoop();
    void runTick();
    void arm();
    void disarm();

    bool m_enabled = false;
    bool m_allowZero = false;
    std::uint32_t m_interval = 1000;
    ThreadPriority m_priority = ThreadPriority::Normal;
    Poster m_post;
    std::shared_ptr<Shared> m_shared;
    std::thread m_worker;
};

} // namespace flowloom::sampling

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace flowloom::sampling {

enum class ThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

// Where a timer waits for its interval to pass. A wait is one-shot: arm()
// replaces any wait in progress (what the auto-reset stop event of a threaded
// timer does), disarm() ends it without an expiry, and `expired` runs on the
// user-interface thread when an armed wait has passed.
class TimerWait
{
public:
    virtual ~TimerWait() = default;
    virtual void arm(std::uint32_t milliseconds) = 0;
    virtual void disarm() = 0;

    std::function<void()> expired;
};

// The wait on a worker thread of its own: the worker sleeps on a kernel timer
// and hands each expiry to the user-interface thread as a queued call, where
// an expiry that a later arming or a disarming overtook is dropped.
class WorkerThreadWait final : public TimerWait
{
public:
    // Queues a call on the user-interface thread without waiting for it.
    using Poster = std::function<void(std::function<void()>)>;
    // The steady time that deadlines are set and checked against, read on the
    // user-interface thread only; tests hold it still.
    using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

    explicit WorkerThreadWait(Poster postToUiThread,
                              SteadyNow now = &std::chrono::steady_clock::now);
    ~WorkerThreadWait() override;
    WorkerThreadWait(const WorkerThreadWait&) = delete;
    WorkerThreadWait& operator=(const WorkerThreadWait&) = delete;

    void arm(std::uint32_t milliseconds) override;
    void disarm() override;

private:
    struct Shared;
    void workerLoop();

    Poster m_post;
    SteadyNow m_now;
    std::shared_ptr<Shared> m_shared;
    std::thread m_worker;
};

// A timer whose ticks run on the user-interface thread, one interval after
// it is enabled and then one interval after the end of each tick's work, so
// ticks never overlap and the time between two ticks is the interval plus the
// previous tick's work. Where it waits is a TimerWait: the program waits in
// the user-interface thread's own event loop, which costs one wake-up per
// tick and no hand-over; a worker thread of the timer's own is the other way.
class TThreadedTimer
{
public:
    using Poster = WorkerThreadWait::Poster;
    using TickHandler = std::function<void(TThreadedTimer&)>;

    // Waits on a worker thread of its own.
    explicit TThreadedTimer(Poster postToUiThread);
    explicit TThreadedTimer(std::unique_ptr<TimerWait> wait);
    ~TThreadedTimer();
    TThreadedTimer(const TThreadedTimer&) = delete;
    TThreadedTimer& operator=(const TThreadedTimer&) = delete;

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // Enables the timer with its first tick `milliseconds` from now rather
    // than a whole interval: the clock ran elsewhere until now.
    void enableAfter(std::uint32_t milliseconds);
    std::uint32_t Interval() const { return m_interval; }
    void setInterval(std::uint32_t milliseconds);
    bool AllowZero() const { return m_allowZero; }
    void setAllowZero(bool allow) { m_allowZero = allow; }
    ThreadPriority threadPriority() const { return m_priority; }
    void setThreadPriority(ThreadPriority priority);

    TickHandler OnTimer;

private:
    void onExpired();
    void runTick();
    bool mayRun() const { return m_interval != 0 || m_allowZero; }

    bool m_enabled = false;
    bool m_allowZero = false;
    bool m_ticking = false; // within a tick's work
    std::uint32_t m_interval = 1000;
    ThreadPriority m_priority = ThreadPriority::Normal;
    std::unique_ptr<TimerWait> m_wait;
};

} // namespace flowloom::sampling

#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace flowloom::sampling {

enum class ThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

// A timer whose waiting happens on a worker thread and whose ticks run on the
// user-interface thread. The worker waits `Interval` ms on an auto-reset event;
// on a time-out it hands the tick to the UI thread and blocks until the tick
// has run, so ticks never overlap and the time between two ticks is the interval
// plus the previous tick's work.
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

    bool m_enabled = false;
    bool m_allowZero = false;
    std::uint32_t m_interval = 1000;
    ThreadPriority m_priority = ThreadPriority::Normal;
    Poster m_post;
    std::shared_ptr<Shared> m_shared;
    std::thread m_worker;
};

} // namespace flowloom::sampling

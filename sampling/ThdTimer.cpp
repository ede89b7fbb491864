#include "sampling/ThdTimer.h"

#include <chrono>

namespace flowloom::sampling {

// State shared by the worker, the owner and ticks queued on the UI thread. A
// queued tick may outlive the timer; it then finds `owner` empty and does nothing.
struct TThreadedTimer::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    bool running = false;     // the worker is not suspended
    bool eventSet = false;    // the auto-reset stop event
    bool terminating = false; // the worker must end
    bool tickDone = true;
    std::uint32_t interval = 1000;
    TThreadedTimer* owner = nullptr; // only read and written on the UI thread
};

TThreadedTimer::TThreadedTimer(Poster postToUiThread)
    : m_post(std::move(postToUiThread)), m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
    m_worker = std::thread([this] { workerLoop(); });
}

TThreadedTimer::~TThreadedTimer()
{
    m_enabled = false;
    m_shared->owner = nullptr;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->terminating = true;
        m_shared->eventSet = true;
    }
    m_shared->changed.notify_all();
    // The worker never waits on the UI thread itself (it waits on `changed`,
    // which terminating releases), so joining here cannot deadlock.
    m_worker.join();
}

void TThreadedTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    {
        std::lock_guard lock(m_shared->mutex);
        if (!enabled) {
            m_shared->running = false;
        } else if (m_interval != 0 || m_allowZero) {
            // End a wait in progress without a tick, so the first tick comes one
            // full interval from now.
            m_shared->eventSet = true;
            m_shared->running = true;
        }
    }
    m_shared->changed.notify_all();
}

void TThreadedTimer::setInterval(std::uint32_t milliseconds)
{
    if (milliseconds == m_interval)
        return;
    const bool wasEnabled = m_enabled;
    setEnabled(false);
    m_interval = milliseconds;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->interval = milliseconds;
    }
    setEnabled(wasEnabled);
}

void TThreadedTimer::setThreadPriority(ThreadPriority priority)
{
    // Ordinary Linux threads cannot be raised without privileges; the value is
    // kept for the owner and the worker runs at the process's priority.
    m_priority = priority;
}

void TThreadedTimer::workerLoop()
{
    Shared& s = *m_shared;
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.changed.wait(lock, [&] { return s.running || s.terminating; });
        if (s.terminating)
            return;
        const bool signalled = s.changed.wait_for(lock, std::chrono::milliseconds(s.interval),
                                                  [&] { return s.eventSet || s.terminating; });
        if (s.terminating)
            return;
        if (signalled) {
            s.eventSet = false;
            continue;
        }
        if (!s.running)
            continue; // suspended during the wait: a suspended thread delivers nothing
        s.tickDone = false;
        lock.unlock();
        m_post([shared = m_shared] {
            if (shared->owner != nullptr)
                shared->owner->runTick();
            {
                std::lock_guard done(shared->mutex);
                shared->tickDone = true;
            }
            shared->changed.notify_all();
        });
        lock.lock();
        s.changed.wait(lock, [&] { return s.tickDone || s.terminating; });
    }
}

void TThreadedTimer::runTick()
{
    if (!m_enabled || !OnTimer)
        return;
    try {
        OnTimer(*this);
    } catch (...) {
        // A failing tick is dropped; the next one runs normally.
    }
}

} // namespace flowloom::sampling

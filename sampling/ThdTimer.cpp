#include "sampling/ThdTimer.h"

#include "sampling/UnexpectedException.h"
#include "sampling/UniqueFd.h"

#include <cerrno>
#include <chrono>
#include <system_error>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace flowloom::sampling {

using Clock = std::chrono::steady_clock;

// State shared by the worker, the owner and expiries queued on the UI thread.
// A queued expiry may outlive the wait; it then finds `owner` empty.
struct WorkerThreadWait::Shared
{
    Shared()
        : timer(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)),
          terminate(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        if (!timer.valid() || !terminate.valid())
            throw std::system_error(errno, std::system_category());
    }

    UniqueFd timer;
    UniqueFd terminate;
    // Read and written on the UI thread only.
    WorkerThreadWait* owner = nullptr;
    bool armed = false;
    Clock::time_point deadline; // of the wait in progress
};

WorkerThreadWait::WorkerThreadWait(Poster postToUiThread, SteadyNow now)
    : m_post(std::move(postToUiThread)), m_now(std::move(now)), m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
    m_worker = std::thread([this] { workerLoop(); });
}

WorkerThreadWait::~WorkerThreadWait()
{
    m_shared->owner = nullptr;
    disarm();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_shared->terminate.get(), &one, sizeof one);
    // The worker never waits on the UI thread, so joining here cannot deadlock.
    m_worker.join();
}

void WorkerThreadWait::arm(std::uint32_t milliseconds)
{
    // A zero interval still needs a non-zero expiry to run.
    const std::uint64_t ns = milliseconds == 0 ? 1 : std::uint64_t{milliseconds} * 1000000;
    m_shared->armed = true;
    m_shared->deadline = m_now() + std::chrono::nanoseconds(ns);
    itimerspec spec{};
    spec.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    spec.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    ::timerfd_settime(m_shared->timer.get(), 0, &spec, nullptr);
}

void WorkerThreadWait::disarm()
{
    m_shared->armed = false;
    const itimerspec off{};
    ::timerfd_settime(m_shared->timer.get(), 0, &off, nullptr);
}

void WorkerThreadWait::workerLoop()
{
    const std::shared_ptr<Shared> shared = m_shared;
    pollfd waits[2] = {{shared->timer.get(), POLLIN, 0}, {shared->terminate.get(), POLLIN, 0}};
    for (;;) {
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (waits[1].revents != 0)
            return;
        std::uint64_t expirations = 0;
        if (::read(shared->timer.get(), &expirations, sizeof expirations) != sizeof expirations)
            continue; // armed anew or off since the expiry
        m_post([shared] {
            // The kernel timer never expires before the deadline of its
            // arming, so an expiry queued before a later arming finds a
            // deadline still ahead, and one queued before a disarming finds
            // nothing armed: both are dropped.
            WorkerThreadWait* owner = shared->owner;
            if (owner == nullptr || !shared->armed || owner->m_now() < shared->deadline)
                return;
            shared->armed = false;
            if (owner->expired)
                owner->expired();
        });
    }
}

TThreadedTimer::TThreadedTimer(Poster postToUiThread)
    : TThreadedTimer(std::make_unique<WorkerThreadWait>(std::move(postToUiThread)))
{}

TThreadedTimer::TThreadedTimer(std::unique_ptr<TimerWait> wait) : m_wait(std::move(wait))
{
    m_wait->expired = [this] { onExpired(); };
}

TThreadedTimer::~TThreadedTimer()
{
    m_enabled = false;
    m_wait->disarm();
    m_wait->expired = nullptr;
}

void TThreadedTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        m_wait->disarm();
    else if (mayRun() && !m_ticking)
        m_wait->arm(m_interval); // the first tick comes one full interval from now
    // Enabled again within a tick: the tick's end arms the wait, once.
}

void TThreadedTimer::enableAfter(std::uint32_t milliseconds)
{
    if (m_enabled)
        return;
    m_enabled = true;
    if (mayRun() && !m_ticking)
        m_wait->arm(milliseconds);
}

void TThreadedTimer::setInterval(std::uint32_t milliseconds)
{
    if (milliseconds == m_interval)
        return;
    const bool wasEnabled = m_enabled;
    setEnabled(false);
    m_interval = milliseconds;
    setEnabled(wasEnabled);
}

void TThreadedTimer::setThreadPriority(ThreadPriority priority)
{
    // Ordinary Linux threads cannot be raised without privileges; the value is
    // kept for the owner.
    m_priority = priority;
}

void TThreadedTimer::onExpired()
{
    m_ticking = true;
    runTick();
    m_ticking = false;
    // The next interval counts from the end of this tick's work.
    if (m_enabled && mayRun())
        m_wait->arm(m_interval);
}

void TThreadedTimer::runTick()
{
    if (!m_enabled || !OnTimer)
        return;
    try {
        OnTimer(*this);
    } catch (...) {
        // A failing tick is dropped, without a word to the user; the next one
        // runs normally. A tick has no failure it expects to throw, though.
        traceUnexpectedException("TThreadedTimer::runTick");
    }
}

} // namespace flowloom::sampling

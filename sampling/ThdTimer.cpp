#include "sampling/ThdTimer.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <system_error>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace flowloom::sampling {

// State shared by the worker, the owner and ticks queued on the UI thread. A
// queued tick may outlive the timer; it then finds `owner` empty and does nothing.
struct TThreadedTimer::Shared
{
    Shared()
        : timer(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)),
          terminate(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        if (timer < 0 || terminate < 0) {
            const int error = errno;
            closeAll();
            throw std::system_error(error, std::system_category());
        }
    }
    ~Shared() { closeAll(); }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    void closeAll()
    {
        if (timer >= 0)
            ::close(timer);
        if (terminate >= 0)
            ::close(terminate);
    }

    int timer;
    int terminate;
    std::atomic<bool> tickQueued{false};
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
    disarm();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_shared->terminate, &one, sizeof one);
    // The worker never waits on the UI thread, so joining here cannot deadlock.
    m_worker.join();
}

void TThreadedTimer::arm()
{
    // A zero interval (with AllowZero) still needs a non-zero expiry to run.
    const std::uint64_t ns = m_interval == 0 ? 1 : std::uint64_t{m_interval} * 1000000;
    itimerspec spec{};
    spec.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    spec.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    ::timerfd_settime(m_shared->timer, 0, &spec, nullptr);
}

void TThreadedTimer::disarm()
{
    const itimerspec off{};
    ::timerfd_settime(m_shared->timer, 0, &off, nullptr);
}

void TThreadedTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (!enabled) {
        disarm();
    } else if (m_interval != 0 || m_allowZero) {
        // Replaces a wait in progress: the first tick comes one full interval from now.
        arm();
    }
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
    // kept for the owner and the worker runs at the process's priority.
    m_priority = priority;
}

void TThreadedTimer::workerLoop()
{
    const std::shared_ptr<Shared> shared = m_shared;
    pollfd waits[2] = {{shared->timer, POLLIN, 0}, {shared->terminate, POLLIN, 0}};
    for (;;) {
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (waits[1].revents != 0)
            return;
        std::uint64_t expirations = 0;
        if (::read(shared->timer, &expirations, sizeof expirations) != sizeof expirations)
            continue; // armed anew or off since the expiry: no tick
        // One tick at a time: the queued tick arms the timer again once it has run.
        if (shared->tickQueued.exchange(true))
            continue;
        m_post([shared] {
            TThreadedTimer* owner = shared->owner;
            if (owner != nullptr)
                owner->runTick();
            shared->tickQueued = false;
            // The next interval counts from the end of this tick's work.
            owner = shared->owner;
            if (owner != nullptr && owner->m_enabled &&
                (owner->m_interval != 0 || owner->m_allowZero))
                owner->arm();
        });
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

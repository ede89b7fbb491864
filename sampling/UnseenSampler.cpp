#include "sampling/UnseenSampler.h"

#include "sampling/UnexpectedException.h"

namespace flowloom::sampling {

TMIBIfArray SerialSource::interfaceSnapshot()
{
    const std::lock_guard lock(m_mutex);
    return m_source.interfaceSnapshot();
}

TMibIPAddrArray SerialSource::addressSnapshot()
{
    const std::lock_guard lock(m_mutex);
    return m_source.addressSnapshot();
}

UnseenSampler::UnseenSampler(Take take, Ready batchReady, std::size_t batch)
    : m_take(std::move(take)), m_batchReady(std::move(batchReady)), m_batch(batch == 0 ? 1 : batch)
{}

UnseenSampler::~UnseenSampler()
{
    stop();
}

void UnseenSampler::start(std::chrono::milliseconds interval, std::chrono::milliseconds firstIn)
{
    if (running())
        return;
    m_stopping = false;
    const auto first = std::chrono::steady_clock::now() + firstIn;
    m_thread = std::thread([this, interval, first] { run(interval, first); });
}

void UnseenSampler::stop()
{
    if (!running())
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

std::vector<TimedReading> UnseenSampler::takeReadings()
{
    std::vector<TimedReading> taken;
    const std::lock_guard lock(m_mutex);
    taken.swap(m_readings);
    return taken;
}

void UnseenSampler::run(std::chrono::milliseconds interval,
                        std::chrono::steady_clock::time_point next)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_wake.wait_until(lock, next, [this] { return m_stopping; }))
            return;
        lock.unlock();
        bool taken = false;
        TimedReading reading;
        try {
            reading = m_take();
            taken = true;
        } catch (...) {
            // A failed reading is left out; the next one counts across it.
            traceUnexpectedException("UnseenSampler::run");
        }
        lock.lock();
        if (taken)
            m_readings.push_back(std::move(reading));
        // Said once per batch: the owner may be slow to take them.
        const bool full = taken && m_readings.size() == m_batch;
        next = std::chrono::steady_clock::now() + interval;
        if (full) {
            lock.unlock();
            m_batchReady();
            lock.lock();
        }
    }
}

} // namespace flowloom::sampling

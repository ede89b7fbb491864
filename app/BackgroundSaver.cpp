#include "app/BackgroundSaver.h"

namespace flowloom::app {

BackgroundSaver::BackgroundSaver() : m_worker([this] { run(); }) {}

BackgroundSaver::~BackgroundSaver()
{
    {
        std::lock_guard lock(m_mutex);
        m_ending = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void BackgroundSaver::submit(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        m_waiting = std::move(job);
    }
    m_changed.notify_all();
}

void BackgroundSaver::wait()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_waiting && !m_running; });
}

void BackgroundSaver::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_waiting || m_ending; });
        if (!m_waiting)
            return; // ending, and nothing left to write
        Job job = std::move(*m_waiting);
        m_waiting.reset();
        m_running = true;
        lock.unlock();
        job();
        lock.lock();
        m_running = false;
        m_changed.notify_all();
    }
}

} // namespace flowloom::app

#include "web/server/WorkerPool.h"

#include "web/http/Limits.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace flowloom::web {

WorkerPool::WorkerPool(RequestHandler handler, ServerOptions options)
    : m_handler(std::move(handler)), m_options(options),
      m_table(std::min(options.workersPerClient, std::max<std::size_t>(1, options.maxWorkers)))
{
    m_options.maxWorkers = std::max<std::size_t>(1, m_options.maxWorkers);
}

std::pair<std::size_t, std::size_t> WorkerPool::held(std::uint32_t peer)
{
    std::lock_guard lock(m_mutex);
    return {m_table.held(peer), m_table.heldTotal()};
}

void WorkerPool::connectionOpened(std::uint32_t peer)
{
    std::lock_guard lock(m_mutex);
    m_table.connectionOpened(peer);
}

void WorkerPool::connectionClosed(std::uint32_t peer)
{
    std::lock_guard lock(m_mutex);
    m_table.connectionClosed(peer);
}

void WorkerPool::submit(std::unique_ptr<ReadyRequest> ready)
{
    std::unique_lock lock(m_mutex);
    if (m_stopping) {
        m_table.connectionClosed(ready->peer);
        lock.unlock();
        return; // the connection closes with `ready`
    }
    m_table.push(std::move(ready));
    if (!m_table.hasRunnable()) {
        return; // its client is at its share; a worker of that client takes it later
    }
    if (m_wakeups < m_idle) {
        ++m_wakeups;
        m_work.notify_one();
    } else if (m_workers < m_options.maxWorkers) {
        startWorker();
    }
    // Otherwise every worker is busy: the first to finish takes it.
}

void WorkerPool::startWorker()
{
    try {
        std::thread([self = shared_from_this()] { self->workerLoop(); }).detach();
        ++m_workers;
    } catch (const std::system_error&) {
        // No thread to be had: the request waits for a worker that finishes.
    }
}

void WorkerPool::workerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stopping) {
            break;
        }
        if (std::unique_ptr<ReadyRequest> ready = m_table.pop()) {
            const int fd = ready->socket.get();
            m_served.push_back(fd);
            lock.unlock();
            serve(*ready);
            lock.lock();
            // Unregistered before closing: a stop must never shut down a
            // descriptor number that has already been reused elsewhere.
            m_served.erase(std::find(m_served.begin(), m_served.end(), fd));
            m_table.served(ready->peer);
            lock.unlock();
            ready.reset();
            lock.lock();
            continue;
        }
        ++m_idle;
        const bool woken = m_work.wait_for(lock, limits::kWorkerIdleTime,
                                           [this] { return m_stopping || m_wakeups > 0; });
        --m_idle;
        if (m_wakeups > 0) {
            --m_wakeups;
        }
        if (!woken) {
            break; // idle long enough
        }
    }
    --m_workers;
    m_workerEnded.notify_all();
}

void WorkerPool::serve(ReadyRequest& ready)
{
    try {
        in_addr address{ready.peer};
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address, text, sizeof text);
        Connection connection(ready.socket.get(), text, m_options.sendTimeout, m_stopping);
        connection.serve(m_handler, ready.request);
    } catch (...) {
        // Out of memory or the like: this connection is dropped, the worker lives on.
    }
}

void WorkerPool::requestStop()
{
    std::vector<std::unique_ptr<ReadyRequest>> waiting;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_stopping = true;
        for (const int fd : m_served) {
            ::shutdown(fd, SHUT_RDWR);
        }
        waiting = m_table.takeWaiting();
        for (const auto& ready : waiting) {
            m_table.connectionClosed(ready->peer);
        }
    }
    m_work.notify_all();
    // `waiting` closes its connections here, outside the lock.
}

bool WorkerPool::waitForWorkers(std::chrono::milliseconds pollInterval,
                                std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(m_mutex);
    while (m_workers != 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto step =
            std::min<std::chrono::steady_clock::duration>(pollInterval, deadline - now);
        m_workerEnded.wait_for(lock, step, [this] { return m_workers == 0; });
    }
    return true;
}

} // namespace flowloom::web

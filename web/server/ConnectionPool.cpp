#include "web/server/ConnectionPool.h"

#include "web/http/Limits.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <sys/socket.h>

namespace flowloom::web {

ConnectionPool::ConnectionPool(RequestHandler handler, ServerOptions options)
    : m_handler(std::move(handler)), m_options(options)
{
    m_options.maxConnections = std::max<std::size_t>(1, m_options.maxConnections);
}

ConnectionPool::~ConnectionPool() = default;

bool ConnectionPool::waitForSlot()
{
    std::unique_lock lock(m_mutex);
    m_slotFree.wait(lock, [this] { return m_stopping || m_taken < m_options.maxConnections; });
    return !m_stopping;
}

void ConnectionPool::submit(SocketHandle socket, const sockaddr_in& peer)
{
    std::unique_lock lock(m_mutex);
    if (m_stopping) {
        return;
    }
    m_queue.push_back(Pending{std::move(socket), peer, Connection::Clock::now()});
    ++m_taken;
    if (m_queue.size() > m_idle && m_workers < m_options.maxConnections) {
        startWorker(lock);
    } else {
        m_workAvailable.notify_one();
    }
}

void ConnectionPool::startWorker(std::unique_lock<std::mutex>& lock)
{
    try {
        std::thread([self = shared_from_this()] { self->workerLoop(); }).detach();
        ++m_workers;
    } catch (const std::system_error&) {
        // No thread to be had. Existing workers will reach the connection in
        // time; with none at all it could never be served, so it is dropped.
        if (m_workers == 0 && !m_queue.empty()) {
            Pending dropped = std::move(m_queue.back());
            m_queue.pop_back();
            --m_taken;
            lock.unlock();
            dropped.socket.reset();
            lock.lock();
        }
    }
}

void ConnectionPool::workerLoop()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_queue.empty() && !m_stopping) {
            ++m_idle;
            const bool woken = m_workAvailable.wait_for(
                lock, limits::kWorkerIdleTime, [this] { return !m_queue.empty() || m_stopping; });
            --m_idle;
            if (!woken) {
                break;
            }
        }
        if (m_stopping) {
            break;
        }
        Pending pending = std::move(m_queue.front());
        m_queue.pop_front();
        const int fd = pending.socket.get();
        m_served.push_back(fd);
        lock.unlock();

        serve(pending);

        lock.lock();
        // Unregistered before closing: a stop must never shut down a descriptor
        // number that has already been reused elsewhere in the process.
        m_served.erase(std::find(m_served.begin(), m_served.end(), fd));
        lock.unlock();
        pending.socket.reset();
        lock.lock();
        if (m_taken-- == m_options.maxConnections) {
            m_slotFree.notify_one();
        }
    }
    --m_workers;
    m_workerEnded.notify_all();
}

void ConnectionPool::serve(Pending& pending)
{
    try {
        char address[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &pending.peer.sin_addr, address, sizeof address);
        Connection connection(pending.socket.get(), address,
                              pending.acceptedAt + m_options.requestTimeout, m_options.sendTimeout,
                              m_stopping);
        connection.serve(m_handler);
    } catch (...) {
        // Out of memory or the like: this connection is dropped, the worker lives on.
    }
}

void ConnectionPool::requestStop()
{
    std::deque<Pending> unserved;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_stopping = true;
        for (const int fd : m_served) {
            ::shutdown(fd, SHUT_RDWR);
        }
        m_taken -= m_queue.size();
        unserved.swap(m_queue);
    }
    m_workAvailable.notify_all();
    m_slotFree.notify_all();
    // The unserved sockets close here, outside the lock.
}

bool ConnectionPool::waitForWorkers(std::chrono::milliseconds pollInterval,
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

#include "web/server/ConnectionPool.h"

#include "web/http/Limits.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <sys/socket.h>

namespace flowloom::web {

ConnectionPool::ConnectionPool(SocketHandle listener, RequestHandler handler, ServerOptions options)
    : m_listener(std::move(listener)), m_handler(std::move(handler)), m_options(options)
{
    m_options.maxConnections = std::max<std::size_t>(1, m_options.maxConnections);
}

ConnectionPool::~ConnectionPool() = default;

std::size_t ConnectionPool::waitForSlots()
{
    std::unique_lock lock(m_mutex);
    m_slotFree.wait(lock, [this] { return m_stopping || m_taken < m_options.maxConnections; });
    return m_stopping ? 0 : m_options.maxConnections - m_taken;
}

void ConnectionPool::submit(std::vector<Accepted>& batch)
{
    std::size_t wake = 0;
    {
        std::unique_lock lock(m_mutex);
        if (m_stopping) {
            batch.clear();
            return;
        }
        const auto now = Connection::Clock::now();
        for (Accepted& accepted : batch) {
            m_queue.push_back(Pending{std::move(accepted.socket), accepted.peer, now});
            ++m_taken;
        }
        batch.clear();
        // Idle workers take what they can; a worker is started for each
        // connection beyond them.
        wake = std::min(m_idle, m_queue.size());
        while (m_queue.size() > m_idle + m_starting && m_workers < m_options.maxConnections) {
            if (!startWorker(lock)) {
                break;
            }
        }
    }
    // Woken after the lock is released, so they do not wake only to wait for it.
    for (std::size_t i = 0; i < wake; ++i) {
        m_workAvailable.notify_one();
    }
}

bool ConnectionPool::startWorker(std::unique_lock<std::mutex>& lock)
{
    try {
        std::thread([self = shared_from_this()] { self->workerLoop(); }).detach();
        ++m_workers;
        ++m_starting;
        return true;
    } catch (const std::system_error&) {
        // No thread to be had. Existing workers will reach the queue in time;
        // with none at all it could never be served, so it is dropped.
        if (m_workers == 0) {
            std::deque<Pending> dropped;
            dropped.swap(m_queue);
            m_taken -= dropped.size();
            lock.unlock();
            dropped.clear();
            lock.lock();
        }
        return false;
    }
}

void ConnectionPool::workerLoop()
{
    std::unique_lock lock(m_mutex);
    --m_starting;
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
        m_served.push_back(pending.socket.get());
        lock.unlock();

        do {
            serve(pending);
        } while (acceptNext(pending));

        lock.lock();
        const bool wasFull = m_taken-- == m_options.maxConnections;
        if (wasFull) {
            m_slotFree.notify_one();
        }
    }
    --m_workers;
    m_workerEnded.notify_all();
}

// Called without the lock, after serving pending. Replaces it by the next
// connection in the kernel's queue (true), or closes it and leaves the slot to
// be released (false).
bool ConnectionPool::acceptNext(Pending& pending)
{
    SocketHandle next;
    sockaddr_in peer{};
    if (!m_stopping.load(std::memory_order_relaxed)) {
        std::shared_lock guard(m_listenerGuard);
        if (m_listener.valid()) {
            socklen_t length = sizeof peer;
            next.reset(::accept4(m_listener.get(), reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC));
        }
    }
    const int finished = pending.socket.get();
    {
        std::lock_guard lock(m_mutex);
        // Unregistered before closing: a stop must never shut down a descriptor
        // number that has already been reused elsewhere in the process.
        *std::find(m_served.begin(), m_served.end(), finished) = next.get();
        if (!next.valid() || m_stopping) {
            m_served.erase(std::find(m_served.begin(), m_served.end(), next.get()));
            next.reset();
        }
    }
    pending.socket = std::move(next); // closes the finished connection
    if (!pending.socket.valid()) {
        return false;
    }
    pending.peer = peer;
    pending.acceptedAt = Connection::Clock::now();
    return true;
}

void ConnectionPool::closeListener()
{
    std::unique_lock guard(m_listenerGuard);
    m_listener.reset();
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

#include "web/server/ConnectionPool.h"

#include "web/http/Limits.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace flowloom::web {

namespace {

// Errors of one pending connection (gone, refused); the next may be fine.
bool isConnectionError(int error)
{
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

} // namespace

ConnectionPool::ConnectionPool(SocketHandle listener, RequestHandler handler, ServerOptions options)
    : m_listener(std::move(listener)), m_handler(std::move(handler)), m_options(options)
{
    m_options.maxConnections = std::max<std::size_t>(1, m_options.maxConnections);
    const timeval idle{static_cast<time_t>(limits::kWorkerIdleTime.count()), 0};
    ::setsockopt(m_listener.get(), SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
}

ConnectionPool::~ConnectionPool() = default;

void ConnectionPool::runListener()
{
    while (waitUntilNeeded()) {
        Accepted accepted;
        socklen_t length = sizeof accepted.peer;
        accepted.socket.reset(::accept4(m_listener.get(),
                                        reinterpret_cast<sockaddr*>(&accepted.peer), &length,
                                        SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (accepted.socket.valid()) {
            startWorker(std::move(accepted));
            continue;
        }
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK || isConnectionError(error)) {
            continue;
        }
        // Out of descriptors or memory (EMFILE and kin): pause instead of
        // spinning; the pending connection stays in the kernel's queue.
        if (!backOff()) {
            return;
        }
    }
}

bool ConnectionPool::waitUntilNeeded()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] {
        return m_stopping || (m_waiting == 0 && m_workers < m_options.maxConnections);
    });
    return !m_stopping;
}

bool ConnectionPool::backOff()
{
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, limits::kAcceptBackoff, [this] { return m_stopping.load(); });
}

void ConnectionPool::startWorker(Accepted accepted)
{
    Pending first{std::move(accepted.socket), accepted.peer, Connection::Clock::now()};
    const int fd = first.socket.get();
    // Held while starting the thread: should that fail, the socket is closed
    // with the thread's function object, and it must be unregistered before a
    // stop could shut down the same descriptor number given out anew.
    std::lock_guard lock(m_mutex);
    if (m_stopping) {
        return;
    }
    m_served.push_back(fd);
    try {
        std::thread([self = shared_from_this(), first = std::move(first)]() mutable {
            self->workerLoop(std::move(first));
        }).detach();
        ++m_workers;
    } catch (const std::system_error&) {
        // No thread to be had: this connection cannot be served.
        m_served.erase(std::find(m_served.begin(), m_served.end(), fd));
    }
}

void ConnectionPool::workerLoop(Pending first)
{
    Pending current = std::move(first);
    for (;;) {
        serve(current);
        finish(current);
        if (acceptNext(current) != AcceptResult::Accepted) {
            break;
        }
    }
    std::lock_guard lock(m_mutex);
    --m_workers;
    m_workerEnded.notify_all();
    m_changed.notify_all();
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

void ConnectionPool::finish(Pending& pending)
{
    {
        std::lock_guard lock(m_mutex);
        // Unregistered before closing: a stop must never shut down a descriptor
        // number that has already been reused elsewhere in the process.
        m_served.erase(std::find(m_served.begin(), m_served.end(), pending.socket.get()));
    }
    pending.socket.reset();
}

ConnectionPool::AcceptResult ConnectionPool::acceptNext(Pending& next)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return AcceptResult::Stopped;
        }
        ++m_waiting;
    }
    AcceptResult result = AcceptResult::Stopped;
    for (;;) {
        int error = 0;
        {
            std::shared_lock guard(m_listenerGuard);
            if (m_stopping || !m_listener.valid()) {
                break;
            }
            socklen_t length = sizeof next.peer;
            next.socket.reset(::accept4(m_listener.get(), reinterpret_cast<sockaddr*>(&next.peer),
                                        &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
            error = errno;
        }
        if (next.socket.valid()) {
            next.acceptedAt = Connection::Clock::now();
            result = AcceptResult::Accepted;
            break;
        }
        if (error == EAGAIN || error == EWOULDBLOCK) {
            // The listening socket's receive time-out: idle long enough.
            result = AcceptResult::Idle;
            break;
        }
        if (!isConnectionError(error) && !backOff()) {
            break;
        }
    }

    std::lock_guard lock(m_mutex);
    --m_waiting;
    if (result == AcceptResult::Accepted) {
        if (m_stopping) {
            next.socket.reset();
            return AcceptResult::Stopped;
        }
        m_served.push_back(next.socket.get());
    }
    // The last waiting worker has left: the listener takes over accepting.
    if (m_waiting == 0) {
        m_changed.notify_all();
    }
    return result;
}

void ConnectionPool::requestStop()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_stopping = true;
        for (const int fd : m_served) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    // Ends listening: every thread blocked in accept() returns at once.
    ::shutdown(m_listener.get(), SHUT_RDWR);
    m_changed.notify_all();
}

void ConnectionPool::closeListener()
{
    std::unique_lock guard(m_listenerGuard);
    m_listener.reset();
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

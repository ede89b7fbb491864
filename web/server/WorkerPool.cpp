#include "web/server/WorkerPool.h"

#include "sampling/UnexpectedException.h"
#include "web/http/Limits.h"
#include "web/server/HeadReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
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

// What a worker reads of a new connection before it decides, without waiting.
constexpr std::size_t kFirstLookBytes = 64 * 1024;

} // namespace

WorkerPool::WorkerPool(sampling::UniqueFd listener, RequestHandler handler, ServerOptions options)
    : m_listener(std::move(listener)), m_handler(std::move(handler)), m_options(options),
      m_table(std::min(options.workersPerClient, std::max<std::size_t>(1, options.maxWorkers)))
{
    m_options.maxWorkers = std::max<std::size_t>(1, m_options.maxWorkers);
    m_reader = std::make_unique<HeadReader>(*this);
    const timeval idle{static_cast<time_t>(limits::kWorkerIdleTime.count()), 0};
    ::setsockopt(m_listener.get(), SOL_SOCKET, SO_RCVTIMEO, &idle, sizeof idle);
}

WorkerPool::~WorkerPool() = default;

void WorkerPool::runListener()
{
    while (waitUntilNeeded()) {
        Accepted accepted;
        socklen_t length = sizeof accepted.peer;
        accepted.socket.reset(::accept4(m_listener.get(),
                                        reinterpret_cast<sockaddr*>(&accepted.peer), &length,
                                        SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (accepted.socket.valid()) {
            accepted.acceptedAt = Connection::Clock::now();
            std::lock_guard lock(m_mutex);
            if (!m_stopping) {
                startWorker(std::move(accepted));
            }
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

bool WorkerPool::waitUntilNeeded()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] {
        return m_stopping || (m_accepting == 0 && m_workers < m_options.maxWorkers);
    });
    return !m_stopping;
}

bool WorkerPool::backOff()
{
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, limits::kAcceptBackoff, [this] { return m_stopping.load(); });
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
    offerWork();
}

// With the mutex held: a waiting request that may run finds a worker.
void WorkerPool::offerWork()
{
    if (!m_table.hasRunnable()) {
        return; // its client is at its share: one of its workers takes it later
    }
    if (m_wakeups < m_idle) {
        ++m_wakeups;
        m_work.notify_one();
    } else if (m_workers < m_options.maxWorkers) {
        startWorker(std::nullopt);
    }
    // Otherwise every worker is busy but one that accepts, and the first to
    // finish takes it.
}

void WorkerPool::startWorker(std::optional<Accepted> first)
{
    try {
        std::thread([self = shared_from_this(), first = std::move(first)]() mutable {
            self->workerLoop(std::move(first));
        }).detach();
        ++m_workers;
    } catch (const std::system_error&) {
        // No thread to be had: a connection given is closed; a waiting
        // request waits for a worker that finishes.
    }
}

void WorkerPool::workerLoop(std::optional<Accepted> first)
{
    if (first) {
        take(std::move(*first));
    }
    // One worker never waits in accept(), so that queued work always finds one.
    const std::size_t acceptors = std::max<std::size_t>(1, m_options.maxWorkers - 1);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stopping) {
            break;
        }
        if (std::unique_ptr<ReadyRequest> ready = m_table.pop()) {
            serveLocked(std::move(ready), lock);
            continue;
        }
        if (m_accepting < acceptors) {
            ++m_accepting;
            lock.unlock();
            Accepted next;
            const AcceptResult result = acceptNext(next);
            lock.lock();
            // The last waiting worker has left: the listener takes over accepting.
            if (--m_accepting == 0) {
                m_changed.notify_all();
            }
            if (result == AcceptResult::Accepted) {
                lock.unlock();
                take(std::move(next));
                lock.lock();
                continue;
            }
            if (result == AcceptResult::Idle && m_table.hasRunnable()) {
                continue;
            }
            break; // idle long enough, or stopping
        }
        ++m_idle;
        const bool woken = m_work.wait_for(lock, limits::kWorkerIdleTime,
                                           [this] { return m_stopping || m_wakeups > 0; });
        --m_idle;
        if (m_wakeups > 0) {
            --m_wakeups;
        }
        if (!woken) {
            break;
        }
    }
    --m_workers;
    m_workerEnded.notify_all();
    m_changed.notify_all();
}

WorkerPool::AcceptResult WorkerPool::acceptNext(Accepted& next)
{
    for (;;) {
        int error = 0;
        {
            std::shared_lock guard(m_listenerGuard);
            if (m_stopping || !m_listener.valid()) {
                return AcceptResult::Stopped;
            }
            socklen_t length = sizeof next.peer;
            next.socket.reset(::accept4(m_listener.get(), reinterpret_cast<sockaddr*>(&next.peer),
                                        &length, SOCK_NONBLOCK | SOCK_CLOEXEC));
            error = errno;
        }
        if (next.socket.valid()) {
            next.acceptedAt = Connection::Clock::now();
            return AcceptResult::Accepted;
        }
        if (error == EAGAIN || error == EWOULDBLOCK) {
            return AcceptResult::Idle; // the listening socket's receive time-out
        }
        if (!isConnectionError(error) && !backOff()) {
            return AcceptResult::Stopped;
        }
    }
}

// One look, without waiting, at what a new connection has sent; then it is
// served, queued or handed to the reading thread.
void WorkerPool::take(Accepted accepted)
{
    RequestParser parser;
    std::array<char, 8192> buffer; // filled by recv before use
    std::size_t budget = kFirstLookBytes;
    ParseStatus status = ParseStatus::NeedsMore;
    while (status == ParseStatus::NeedsMore && budget > 0) {
        const ssize_t received = ::recv(accepted.socket.get(), buffer.data(), buffer.size(), 0);
        if (received > 0) {
            status = parser.feed({buffer.data(), static_cast<std::size_t>(received)});
            budget -= std::min(budget, static_cast<std::size_t>(received));
        } else if (received == 0) {
            status = parser.finish();
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else if (errno != EINTR) {
            return; // reset by the peer: closed
        }
    }
    if (status == ParseStatus::Bad) {
        return;
    }
    const std::uint32_t peer = accepted.peer.sin_addr.s_addr;
    std::unique_lock lock(m_mutex);
    if (m_stopping) {
        return;
    }
    m_table.connectionOpened(peer);
    if (status == ParseStatus::Complete && m_table.held(peer) <= m_options.connectionsPerClient &&
        m_table.heldTotal() <= m_options.maxOpenConnections) {
        auto ready = std::make_unique<ReadyRequest>();
        ready->socket = std::move(accepted.socket);
        ready->peer = peer;
        ready->request = parser.takeRequest();
        if (m_table.startServing(peer)) {
            serveLocked(std::move(ready), lock);
        } else {
            m_table.push(std::move(ready));
            offerWork();
        }
        return;
    }
    lock.unlock();
    // Incomplete, or beyond a share of connections: the reading thread makes
    // room or refuses, and reads on.
    m_reader->adopt(std::move(accepted.socket), peer, accepted.acceptedAt, std::move(parser));
}

// Serves a request counted as being served; the mutex is held on entry and exit.
void WorkerPool::serveLocked(std::unique_ptr<ReadyRequest> ready,
                             std::unique_lock<std::mutex>& lock)
{
    const int fd = ready->socket.get();
    m_served.push_back(fd);
    lock.unlock();
    try {
        in_addr address{ready->peer};
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &address, text, sizeof text);
        Connection connection(fd, text, m_options.sendTimeout, m_stopping);
        connection.serve(m_handler, ready->request);
    } catch (const std::bad_alloc&) {
        // Out of memory: this connection is dropped, the worker lives on.
    } catch (...) {
        sampling::traceUnexpectedException("WorkerPool::serveLocked");
    }
    lock.lock();
    // Unregistered before closing: a stop must never shut down a descriptor
    // number that has already been reused elsewhere in the process.
    m_served.erase(std::find(m_served.begin(), m_served.end(), fd));
    m_table.served(ready->peer);
    lock.unlock();
    ready.reset();
    lock.lock();
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
    // Ends listening: every thread blocked in accept() returns at once.
    ::shutdown(m_listener.get(), SHUT_RDWR);
    m_changed.notify_all();
    m_work.notify_all();
    m_reader->stop();
    // `waiting` closes its connections here, outside the lock.
}

void WorkerPool::closeListener()
{
    std::unique_lock guard(m_listenerGuard);
    m_listener.reset();
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

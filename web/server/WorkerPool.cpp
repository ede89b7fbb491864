#include "web/server/WorkerPool.h"

#include "sampling/UnexpectedException.h"
#include "web/http/Limits.h"
#include "web/server/BlockingWait.h"
#include "web/server/HeadReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

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

// What a worker reads of a new connection before it decides.
constexpr std::size_t kFirstLookBytes = 64 * 1024;

// What an event of the idle workers' epoll set is about.
constexpr std::uint64_t kListenerEvent = 0;
constexpr std::uint64_t kWakeEvent = 1;
// Every idle worker waits in a set of its own that holds the listener and the
// wake-up counter, each marked exclusive: a new connection or a wake-up rouses
// one waiting worker, not all of them, and nothing is re-armed per connection.
constexpr std::uint32_t kWaitEvents = EPOLLIN | EPOLLEXCLUSIVE;

// Connections accepted at most in one pass over the listen queue.
constexpr std::size_t kAcceptBatch = 64;
// Connections waiting in the listen queue that make it a crowd.
constexpr std::uint32_t kCrowdedQueue = 10;

// How long a waiting connection finds no worker free before one is started
// beyond the eager ones.
constexpr std::chrono::milliseconds kWorkerStartDelay{2};

// How long a worker waits once for the first bytes of a new connection.
constexpr int kFirstBytesWaitMilliseconds = 1;
// Looks without waiting for them before that wait.
constexpr int kQuickLooks = 8;

const int kIdleMilliseconds =
    static_cast<int>(std::chrono::milliseconds(limits::kWorkerIdleTime).count());

} // namespace

// The dotted form inet_ntop() writes, without its formatted printing, which
// was a visible part of a small request's own work.
std::string dottedAddress(std::uint32_t networkOrder)
{
    const std::uint32_t host = ntohl(networkOrder);
    std::string text;
    text.reserve(INET_ADDRSTRLEN - 1);
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned part = (host >> shift) & 0xffu;
        if (part >= 100) {
            text.push_back(static_cast<char>('0' + part / 100));
        }
        if (part >= 10) {
            text.push_back(static_cast<char>('0' + part / 10 % 10));
        }
        text.push_back(static_cast<char>('0' + part % 10));
        if (shift != 0) {
            text.push_back('.');
        }
    }
    return text;
}

namespace {

void addToSet(int set, int fd, std::uint32_t events, std::uint64_t tag)
{
    epoll_event event{};
    event.events = events;
    event.data.u64 = tag;
    if (::epoll_ctl(set, EPOLL_CTL_ADD, fd, &event) != 0) {
        throw std::system_error(errno, std::system_category());
    }
}

} // namespace

WorkerPool::WorkerPool(sampling::UniqueFd listener, RequestHandler handler, ServerOptions options)
    : m_listener(std::move(listener)),
      m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC | EFD_SEMAPHORE)),
      m_handler(std::move(handler)), m_options(options),
      m_table(std::min(options.workersPerClient, std::max<std::size_t>(1, options.maxWorkers))),
      m_eagerWorkers(std::max<std::size_t>(4, 2 * std::thread::hardware_concurrency()))
{
    m_options.maxWorkers = std::max<std::size_t>(1, m_options.maxWorkers);
    if (!m_wake.valid()) {
        throw std::system_error(errno, std::system_category());
    }
    const int flags = ::fcntl(m_listener.get(), F_GETFL);
    if (flags < 0 || ::fcntl(m_listener.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::system_category());
    }
    m_reader = std::make_unique<HeadReader>(*this);
}

WorkerPool::~WorkerPool() = default;

sampling::UniqueFd WorkerPool::makeWaitSet() const
{
    sampling::UniqueFd set(::epoll_create1(EPOLL_CLOEXEC));
    if (!set.valid()) {
        throw std::system_error(errno, std::system_category());
    }
    addToSet(set.get(), m_listener.get(), kWaitEvents, kListenerEvent);
    addToSet(set.get(), m_wake.get(), kWaitEvents, kWakeEvent);
    return set;
}

void WorkerPool::runListener()
{
    while (waitUntilNeeded()) {
        if (!startsEagerly()) {
            startWorkerIfStillNeeded();
            continue;
        }
        // A worker that starts waiting meanwhile may take the connection first.
        pollfd entry{m_listener.get(), POLLIN, 0};
        if (::poll(&entry, 1, kIdleMilliseconds) <= 0) {
            continue;
        }
        Accepted accepted;
        const int error = acceptNow(accepted);
        if (error == 0) {
            bool handedToWorker = false;
            {
                std::lock_guard lock(m_mutex);
                if (m_stopping) {
                    continue;
                }
                if (m_workers < m_options.maxWorkers) {
                    startWorker(std::move(accepted));
                    handedToWorker = true;
                }
            }
            if (!handedToWorker) {
                // Workers were started while this thread waited: the request
                // waits its turn like any other.
                take(std::move(accepted), false);
            }
            takePending();
            continue;
        }
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
        return m_stopping || (m_waiting == 0 && m_workers < m_options.maxWorkers);
    });
    return !m_stopping;
}

// Workers that are neither waiting for work nor in a blocking wait.
std::size_t WorkerPool::runningWorkers() const
{
    return m_workers - std::min(m_workers, m_blockedWorkers.load(std::memory_order_relaxed));
}

bool WorkerPool::startsEagerly()
{
    std::lock_guard lock(m_mutex);
    return runningWorkers() < m_eagerWorkers;
}

// Beyond the eager workers, busy workers are most often busy on the
// processors, and another thread would only add switching between them. So
// a worker is started only when work (a connection or a queued request)
// waits and no request has been finished for a little while (the workers
// are held by something they did not say was a wait), or when workers have
// gone into blocking waits since.
void WorkerPool::startWorkerIfStillNeeded()
{
    std::size_t finishedBefore = 0;
    {
        std::lock_guard lock(m_mutex);
        finishedBefore = m_finished;
    }
    std::this_thread::sleep_for(kWorkerStartDelay);
    pollfd entry{m_listener.get(), POLLIN, 0};
    const bool connectionWaits = ::poll(&entry, 1, 0) > 0;
    std::lock_guard lock(m_mutex);
    if (!m_stopping && m_waiting == 0 && m_workers < m_options.maxWorkers &&
        (connectionWaits || m_table.hasRunnable()) &&
        (m_finished == finishedBefore || runningWorkers() < m_eagerWorkers)) {
        startWorker(std::nullopt);
    }
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
    if (m_wakeups < m_waiting) {
        const std::uint64_t one = 1;
        if (::write(m_wake.get(), &one, sizeof one) == sizeof one) {
            ++m_wakeups;
            return;
        }
    }
    if (runningWorkers() < m_eagerWorkers) {
        startWorker(std::nullopt);
    }
    // Otherwise every worker is busy: the first to finish takes it, or the
    // listener thread starts one if none is free for a while.
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
    BlockingWait::countOnThisThread(&m_blockedWorkers);
    if (first) {
        take(std::move(*first), true);
    }
    sampling::UniqueFd waitSet;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stopping) {
            break;
        }
        if (std::unique_ptr<ReadyRequest> ready = m_table.pop()) {
            serveLocked(std::move(ready), lock);
            continue;
        }
        // Workers started while others waited for images or slow clients are
        // too many once those waits end: the surplus ends.
        if (runningWorkers() > 2 * m_eagerWorkers) {
            break;
        }
        if (!waitSet.valid()) {
            try {
                waitSet = makeWaitSet();
            } catch (const std::system_error&) {
                break; // out of descriptors: the workers left take the work
            }
        }
        ++m_waiting;
        lock.unlock();
        Accepted next;
        const WaitResult result = waitForWork(waitSet.get(), next);
        lock.lock();
        // The last waiting worker has left: the listener takes over accepting.
        if (--m_waiting == 0) {
            m_changed.notify_all();
        }
        if (result == WaitResult::Woken) {
            m_wakeups -= std::min<std::size_t>(m_wakeups, 1);
            continue;
        }
        if (result == WaitResult::Accepted) {
            // A wake-up given to the waiting workers meanwhile may have been
            // meant for this one, whose set reported the connection instead:
            // it takes that wake-up and the queued request first, and queues
            // the connection behind it.
            const bool wakeUpMeantForThis = m_wakeups > m_waiting && m_table.hasRunnable();
            if (wakeUpMeantForThis) {
                std::uint64_t taken = 0;
                if (::read(m_wake.get(), &taken, sizeof taken) == sizeof taken) {
                    m_wakeups -= std::min<std::size_t>(m_wakeups, 1);
                }
            }
            // While another worker waits, the next connection in the queue
            // rouses it: the queue is looked at (a system call) only when
            // nobody else would take what is in it.
            const bool othersWaiting = m_waiting > 0;
            lock.unlock();
            if (!othersWaiting && listenQueueFilling()) {
                takePending();
            }
            take(std::move(next), !wakeUpMeantForThis);
            lock.lock();
            continue;
        }
        if (result == WaitResult::Idle && m_table.hasRunnable()) {
            continue;
        }
        break; // idle long enough, or stopping
    }
    --m_workers;
    BlockingWait::countOnThisThread(nullptr);
    m_workerEnded.notify_all();
    m_changed.notify_all();
}

// Waits in the idle workers' set for a connection or a wake-up for queued work.
WorkerPool::WaitResult WorkerPool::waitForWork(int waitSet, Accepted& next)
{
    for (;;) {
        if (m_stopping) {
            return WaitResult::Stopped;
        }
        epoll_event event{};
        const int count = ::epoll_wait(waitSet, &event, 1, kIdleMilliseconds);
        if (count == 0) {
            return WaitResult::Idle;
        }
        if (count < 0 || m_stopping) {
            continue; // interrupted; or stopping, and the wake-up stays for the others
        }
        if (event.data.u64 == kWakeEvent) {
            std::uint64_t taken = 0;
            if (::read(m_wake.get(), &taken, sizeof taken) == sizeof taken) {
                return WaitResult::Woken;
            }
            continue; // another worker took it
        }
        const WaitResult result = acceptOne(next);
        if (result != WaitResult::Woken) {
            return result;
        }
    }
}

// One accept without waiting; the error is accept's when nothing was accepted.
int WorkerPool::acceptNow(Accepted& next)
{
    std::shared_lock guard(m_listenerGuard);
    if (m_stopping || !m_listener.valid()) {
        return EBADF;
    }
    socklen_t length = sizeof next.peer;
    next.socket.reset(::accept4(m_listener.get(), reinterpret_cast<sockaddr*>(&next.peer), &length,
                                SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (!next.socket.valid()) {
        return errno;
    }
    next.acceptedAt = Connection::Clock::now();
    return 0;
}

// After the listener's event: one accept. Woken means nothing was accepted
// (another worker was first).
WorkerPool::WaitResult WorkerPool::acceptOne(Accepted& next)
{
    const int error = acceptNow(next);
    if (error == 0) {
        return WaitResult::Accepted;
    }
    // Out of descriptors or memory (EMFILE and kin): a pause before the next
    // try, so that no worker spins on the pending connection.
    if (error != EAGAIN && error != EWOULDBLOCK && !isConnectionError(error) && !backOff()) {
        return WaitResult::Stopped;
    }
    return m_stopping ? WaitResult::Stopped : WaitResult::Woken;
}

// Whether connections pile up in the listen queue: a crowd, whose
// connections are better taken at once (and handed to the reading thread when
// silent) than one by one with a wait for each one's first bytes.
bool WorkerPool::listenQueueFilling()
{
    tcp_info info{};
    socklen_t length = sizeof info;
    std::shared_lock guard(m_listenerGuard);
    if (!m_listener.valid() ||
        ::getsockopt(m_listener.get(), IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
        return false;
    }
    // A listening socket reports its queue's length here.
    return info.tcpi_unacked >= kCrowdedQueue;
}

// Empties the listen queue (at most a batch). The requests that arrived whole
// are queued for the workers, the others go to the reading thread; none is
// waited for here.
void WorkerPool::takePending()
{
    for (std::size_t taken = 0; taken < kAcceptBatch; ++taken) {
        Accepted more;
        const int error = acceptNow(more);
        if (error != 0) {
            if (isConnectionError(error)) {
                continue;
            }
            return; // empty, or out of descriptors: the next accept deals with it
        }
        take(std::move(more), false);
    }
}

// One look at what a new connection has sent; then it is served, queued or
// handed to the reading thread.
// serveHere: the calling worker may serve it, and waits at most a millisecond
// for its first bytes; otherwise it is queued, without a wait.
void WorkerPool::take(Accepted accepted, bool serveHere)
{
    RequestParser parser;
    std::array<char, 8192> buffer; // filled by recv before use
    std::size_t budget = kFirstLookBytes;
    ParseStatus status = ParseStatus::NeedsMore;
    enum class Look { First, AfterQuickLooks, AfterWait };
    Look look = Look::First;
    while (status == ParseStatus::NeedsMore && budget > 0) {
        const ssize_t received = ::recv(accepted.socket.get(), buffer.data(), buffer.size(), 0);
        if (received > 0) {
            status = parser.feed({buffer.data(), static_cast<std::size_t>(received)});
            budget -= std::min(budget, static_cast<std::size_t>(received));
        } else if (received == 0) {
            status = parser.finish();
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // A client's request usually follows its connection within a
            // moment: looking again spares the hand-over to the reading
            // thread and back. A silent client costs a worker this moment once.
            if (!serveHere || budget != kFirstLookBytes || look == Look::AfterWait) {
                break;
            }
            if (look == Look::First) {
                // The client has most often been woken by the same handshake:
                // on the other processor it sends its request within a few
                // microseconds, and on this one once it is offered the
                // processor. A few quick looks, with that offer halfway,
                // usually find the request there without going to sleep and
                // being woken for it (most of a small request's switches
                // between threads).
                look = Look::AfterQuickLooks;
                for (int quickLook = 0; quickLook < kQuickLooks; ++quickLook) {
                    pollfd entry{accepted.socket.get(), POLLIN, 0};
                    if (::poll(&entry, 1, 0) > 0) {
                        break;
                    }
                    if (quickLook == kQuickLooks / 2) {
                        ::sched_yield();
                    }
                }
                continue;
            }
            look = Look::AfterWait;
            pollfd entry{accepted.socket.get(), POLLIN, 0};
            if (::poll(&entry, 1, kFirstBytesWaitMilliseconds) > 0) {
                continue;
            }
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
        if (serveHere && m_table.startServing(peer)) {
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
        Connection connection(fd, dottedAddress(ready->peer), m_options.sendTimeout, m_stopping,
                              m_options.challengeRealm);
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
    ++m_finished;
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
    // Never read after a stop; the listener's shutdown above wakes every
    // waiting worker, exclusive or not.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
    m_changed.notify_all();
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

#include "web/server/HeadReader.h"

#include "web/http/Limits.h"
#include "web/server/WorkerPool.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <unordered_map>

#include <fcntl.h>
#include <netinet/in.h>
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

// Connections taken per wake-up of the listener, so reading goes on under a flood.
constexpr int kAcceptsPerRound = 64;
// Bytes read from one connection per turn, so that a fast sender of a long
// body does not keep the others waiting.
constexpr std::size_t kBytesPerTurn = 64 * 1024;

void addOrThrow(int epoll, int fd, void* tag)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = tag;
    if (::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
        throw std::system_error(errno, std::system_category());
    }
}

} // namespace

HeadReader::HeadReader(SocketHandle listener, std::shared_ptr<WorkerPool> pool)
    : m_listener(std::move(listener)), m_epoll(::epoll_create1(EPOLL_CLOEXEC)),
      m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_pool(std::move(pool))
{
    if (!m_epoll.valid() || !m_wake.valid()) {
        throw std::system_error(errno, std::system_category());
    }
    const int flags = ::fcntl(m_listener.get(), F_GETFL);
    if (flags < 0 || ::fcntl(m_listener.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::system_category());
    }
    addOrThrow(m_epoll.get(), m_listener.get(), &m_listenerTag);
    addOrThrow(m_epoll.get(), m_wake.get(), &m_wakeTag);
}

HeadReader::~HeadReader() = default;

void HeadReader::stop()
{
    m_stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
}

void HeadReader::run()
{
    std::array<epoll_event, 64> events{};
    while (!m_stopping) {
        const int count = ::epoll_wait(m_epoll.get(), events.data(),
                                       static_cast<int>(events.size()), waitMilliseconds());
        for (int i = 0; i < count; ++i) {
            void* tag = events[static_cast<std::size_t>(i)].data.ptr;
            if (tag == &m_listenerTag) {
                acceptAll();
            } else if (tag != &m_wakeTag) {
                readFrom(*static_cast<Reading*>(tag));
            }
        }
        expire();
        if (m_acceptPaused && Clock::now() >= m_acceptResumes) {
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.ptr = &m_listenerTag;
            m_acceptPaused =
                ::epoll_ctl(m_epoll.get(), EPOLL_CTL_MOD, m_listener.get(), &event) != 0;
        }
        // No event of this round can name a connection that left it any more.
        m_finished.clear();
    }
    while (!m_reading.empty()) {
        close(m_reading.front());
    }
    m_finished.clear();
    m_listener.reset();
}

int HeadReader::waitMilliseconds() const
{
    if (m_reading.empty() && !m_acceptPaused) {
        return -1;
    }
    Clock::time_point next = Clock::time_point::max();
    if (!m_reading.empty()) {
        next = m_reading.front().deadline;
    }
    if (m_acceptPaused) {
        next = std::min(next, m_acceptResumes);
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

void HeadReader::acceptAll()
{
    const ServerOptions& options = m_pool->options();
    for (int round = 0; round < kAcceptsPerRound; ++round) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        SocketHandle socket(::accept4(m_listener.get(), reinterpret_cast<sockaddr*>(&peer), &length,
                                      SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!socket.valid()) {
            const int error = errno;
            if (error == EAGAIN || error == EWOULDBLOCK) {
                return;
            }
            if (isConnectionError(error)) {
                continue;
            }
            // Out of descriptors or memory (EMFILE and kin): an unfinished
            // connection makes room, else pause instead of spinning; the
            // pending connection stays in the kernel's queue meanwhile.
            if ((error == EMFILE || error == ENFILE) && evictFromLargestHolder()) {
                continue;
            }
            pauseAccepting();
            return;
        }
        const std::uint32_t address = peer.sin_addr.s_addr;
        if (!makeRoomFor(address)) {
            continue; // refused: closes with `socket`
        }
        m_pool->connectionOpened(address);
        Reading& reading = m_reading.emplace_back();
        reading.self = std::prev(m_reading.end());
        reading.socket = std::move(socket);
        reading.peer = address;
        reading.deadline = Clock::now() + options.requestTimeout;
        // The request often arrives with the connection: read it at once.
        readFrom(reading);
    }
}

bool HeadReader::makeRoomFor(std::uint32_t peer)
{
    const ServerOptions& options = m_pool->options();
    const auto [mine, total] = m_pool->held(peer);
    if (mine >= options.connectionsPerClient) {
        return evictOldest(peer);
    }
    if (total >= options.maxOpenConnections) {
        return evictFromLargestHolder();
    }
    return true;
}

bool HeadReader::evictOldest(std::uint32_t peer)
{
    const auto oldest = std::find_if(m_reading.begin(), m_reading.end(),
                                     [peer](const Reading& r) { return r.peer == peer; });
    if (oldest == m_reading.end()) {
        return false;
    }
    close(*oldest);
    return true;
}

bool HeadReader::evictFromLargestHolder()
{
    std::unordered_map<std::uint32_t, std::size_t> unfinished;
    std::uint32_t largest = 0;
    std::size_t most = 0;
    for (const Reading& reading : m_reading) {
        const std::size_t count = ++unfinished[reading.peer];
        if (count > most) {
            most = count;
            largest = reading.peer;
        }
    }
    return most > 0 && evictOldest(largest);
}

void HeadReader::readFrom(Reading& reading)
{
    if (reading.done) {
        return; // evicted or expired earlier in this round
    }
    std::size_t budget = kBytesPerTurn;
    for (;;) {
        const ssize_t received = ::recv(reading.socket.get(), m_buffer.data(), m_buffer.size(), 0);
        ParseStatus status = ParseStatus::NeedsMore;
        if (received > 0) {
            status = reading.parser.feed({m_buffer.data(), static_cast<std::size_t>(received)});
            budget -= std::min(budget, static_cast<std::size_t>(received));
        } else if (received == 0) {
            status = reading.parser.finish();
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            close(reading);
            return;
        }
        if (status == ParseStatus::Complete) {
            handOver(reading);
            return;
        }
        if (status == ParseStatus::Bad) {
            close(reading);
            return;
        }
        if (received < 0 || budget == 0) {
            break; // nothing more for now, or its turn is over
        }
    }
    // One event per arrival; armed again for the next.
    epoll_event event{};
    event.events = EPOLLIN | EPOLLONESHOT;
    event.data.ptr = &reading;
    const int operation = reading.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (::epoll_ctl(m_epoll.get(), operation, reading.socket.get(), &event) != 0) {
        close(reading);
        return;
    }
    reading.registered = true;
}

void HeadReader::close(Reading& reading)
{
    reading.done = true;
    reading.socket.reset();
    m_pool->connectionClosed(reading.peer);
    m_finished.splice(m_finished.end(), m_reading, reading.self);
}

void HeadReader::handOver(Reading& reading)
{
    // A registration left behind is disarmed (one event per arming) and goes
    // when the worker closes the connection.
    auto ready = std::make_unique<ReadyRequest>();
    ready->socket = std::move(reading.socket);
    ready->peer = reading.peer;
    ready->request = reading.parser.takeRequest();
    reading.done = true;
    m_finished.splice(m_finished.end(), m_reading, reading.self);
    m_pool->submit(std::move(ready));
}

void HeadReader::expire()
{
    const Clock::time_point now = Clock::now();
    while (!m_reading.empty() && m_reading.front().deadline <= now) {
        close(m_reading.front());
    }
}

void HeadReader::pauseAccepting()
{
    epoll_event event{};
    event.events = 0;
    event.data.ptr = &m_listenerTag;
    ::epoll_ctl(m_epoll.get(), EPOLL_CTL_MOD, m_listener.get(), &event);
    m_acceptPaused = true;
    m_acceptResumes = Clock::now() + limits::kAcceptBackoff;
}

} // namespace flowloom::web

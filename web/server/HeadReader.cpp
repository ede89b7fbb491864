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

// Bytes read from one connection per turn, so that a fast sender of a long
// body does not keep the others waiting.
constexpr std::size_t kBytesPerTurn = 64 * 1024;

} // namespace

HeadReader::HeadReader(WorkerPool& pool)
    : m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      m_pool(pool)
{
    if (!m_epoll.valid() || !m_wake.valid()) {
        throw std::system_error(errno, std::system_category());
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = &m_wakeTag;
    if (::epoll_ctl(m_epoll.get(), EPOLL_CTL_ADD, m_wake.get(), &event) != 0) {
        throw std::system_error(errno, std::system_category());
    }
}

HeadReader::~HeadReader() = default;

void HeadReader::adopt(sampling::UniqueFd socket, std::uint32_t peer,
                       Connection::Clock::time_point acceptedAt, RequestParser parser)
{
    {
        std::lock_guard lock(m_inboxMutex);
        if (m_stopping) {
            return; // closes with `socket`
        }
        m_inbox.push_back({std::move(socket), peer, acceptedAt, std::move(parser)});
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
}

void HeadReader::stop()
{
    {
        std::lock_guard lock(m_inboxMutex);
        m_stopping = true;
        m_inbox.clear();
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
}

void HeadReader::run()
{
    std::array<epoll_event, 64> events{};
    for (;;) {
        {
            std::lock_guard lock(m_inboxMutex);
            if (m_stopping) {
                break;
            }
        }
        const int count = ::epoll_wait(m_epoll.get(), events.data(),
                                       static_cast<int>(events.size()), waitMilliseconds());
        for (int i = 0; i < count; ++i) {
            void* tag = events[static_cast<std::size_t>(i)].data.ptr;
            if (tag == &m_wakeTag) {
                takeAdopted();
            } else {
                readFrom(*static_cast<Reading*>(tag));
            }
        }
        expire();
        // No event of this round can name a connection that left it any more.
        m_finished.clear();
    }
    while (!m_reading.empty()) {
        close(m_reading.front());
    }
    m_finished.clear();
}

void HeadReader::takeAdopted()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_wake.get(), &count, sizeof count);
    std::vector<Adopted> adopted;
    {
        std::lock_guard lock(m_inboxMutex);
        adopted.swap(m_inbox);
    }
    const std::chrono::milliseconds timeout = m_pool.options().requestTimeout;
    for (Adopted& next : adopted) {
        Reading& reading = m_reading.emplace_back();
        reading.self = std::prev(m_reading.end());
        reading.socket = std::move(next.socket);
        reading.peer = next.peer;
        reading.deadline = next.acceptedAt + timeout;
        reading.parser = std::move(next.parser);
        if (!makeRoomFor(reading)) {
            close(reading); // refused
        } else if (reading.parser.status() == ParseStatus::Complete) {
            handOver(reading);
        } else {
            readFrom(reading);
        }
    }
    // Adopted ones may be older than those read already: the oldest first.
    m_reading.sort([](const Reading& a, const Reading& b) { return a.deadline < b.deadline; });
}

int HeadReader::waitMilliseconds() const
{
    if (m_reading.empty()) {
        return -1;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_reading.front().deadline - Clock::now())
            .count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

// The newcomer is counted already: over a share, someone gives way.
bool HeadReader::makeRoomFor(const Reading& newcomer)
{
    const ServerOptions& options = m_pool.options();
    const auto [mine, total] = m_pool.held(newcomer.peer);
    if (mine > options.connectionsPerClient) {
        return evictOldest(newcomer.peer, &newcomer);
    }
    if (total > options.maxOpenConnections) {
        return evictFromLargestHolder(&newcomer);
    }
    return true;
}

bool HeadReader::evictOldest(std::uint32_t peer, const Reading* except)
{
    const auto oldest = std::find_if(m_reading.begin(), m_reading.end(), [&](const Reading& r) {
        return r.peer == peer && &r != except;
    });
    if (oldest == m_reading.end()) {
        return false;
    }
    close(*oldest);
    return true;
}

bool HeadReader::evictFromLargestHolder(const Reading* except)
{
    std::unordered_map<std::uint32_t, std::size_t> unfinished;
    std::uint32_t largest = 0;
    std::size_t most = 0;
    for (const Reading& reading : m_reading) {
        if (&reading == except) {
            continue;
        }
        const std::size_t count = ++unfinished[reading.peer];
        if (count > most) {
            most = count;
            largest = reading.peer;
        }
    }
    return most > 0 && evictOldest(largest, except);
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
    m_pool.connectionClosed(reading.peer);
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
    m_pool.submit(std::move(ready));
}

void HeadReader::expire()
{
    const Clock::time_point now = Clock::now();
    while (!m_reading.empty() && m_reading.front().deadline <= now) {
        close(m_reading.front());
    }
}

} // namespace flowloom::web

#include "web/server/EventStreams.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace flowloom::web {

namespace {

// The send buffer of a stream's socket (the kernel doubles it): a few events
// of the usual size. Kept small so that a reader who stops reading is seen
// as stalled after a few events instead of megabytes of them, and so that the
// kernel's memory for streams stays bounded too.
constexpr int kStreamSendBuffer = 16 * 1024;

// What a reader may send once its stream runs (nothing is expected): beyond
// it, the stream ends.
constexpr std::size_t kMostInputAfterHead = 4096;

constexpr std::uint64_t kWakeKey = 0;
constexpr int kEventsPerWait = 64;

} // namespace

struct EventStreams::Stream
{
    sampling::UniqueFd socket;
    std::string peer;
    // What is being sent (the prelude, then events) and how far; once it is
    // all sent, the stream waits for an event that is not this one.
    std::shared_ptr<const std::string> piece;
    std::size_t offset = 0;
    bool writable = true;        // until a send finds the socket's buffer full
    Clock::time_point fullSince; // when it did
    std::size_t inputBytes = 0;
};

// --- Places -----------------------------------------------------------------------------

EventStreams::Place::Place(Place&& other) noexcept
    : m_owner(std::exchange(other.m_owner, nullptr)), m_peer(std::move(other.m_peer)),
      m_refusal(other.m_refusal)
{}

EventStreams::Place& EventStreams::Place::operator=(Place&& other) noexcept
{
    if (this != &other) {
        if (m_owner != nullptr)
            m_owner->release(m_peer);
        m_owner = std::exchange(other.m_owner, nullptr);
        m_peer = std::move(other.m_peer);
        m_refusal = other.m_refusal;
    }
    return *this;
}

EventStreams::Place::~Place()
{
    if (m_owner != nullptr)
        m_owner->release(m_peer);
}

// --- Bounds, from any thread ----------------------------------------------------------

EventStreams::EventStreams() = default;

EventStreams::~EventStreams()
{
    stop();
}

EventStreams::Place EventStreams::reserve(const std::string& peer)
{
    Place place;
    std::lock_guard lock(m_mutex);
    std::size_t& ofPeer = m_heldBy[peer];
    if (!m_running || m_stopping)
        place.m_refusal = Refusal::NotRunning;
    else if (ofPeer >= m_bounds.perClient)
        place.m_refusal = Refusal::ClientFull;
    else if (m_held >= m_bounds.total)
        place.m_refusal = Refusal::ServerFull;
    if (place.m_refusal != Refusal::None) {
        if (ofPeer == 0)
            m_heldBy.erase(peer);
        return place;
    }
    ++ofPeer;
    ++m_held;
    place.m_owner = this;
    place.m_peer = peer;
    return place;
}

void EventStreams::release(const std::string& peer)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_heldBy.find(peer);
    if (found == m_heldBy.end())
        return;
    if (--found->second == 0)
        m_heldBy.erase(found);
    --m_held;
}

std::size_t EventStreams::held() const
{
    std::lock_guard lock(m_mutex);
    return m_held;
}

std::size_t EventStreams::heldBy(const std::string& peer) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_heldBy.find(peer);
    return found == m_heldBy.end() ? 0 : found->second;
}

// --- Hand-over, events and stopping, from any thread -----------------------------------

void EventStreams::adopt(Place place, sampling::UniqueFd socket, std::string prelude)
{
    {
        std::lock_guard lock(m_mutex);
        if (place.m_owner != this || !m_running || m_stopping)
            return; // the socket closes; the place is released after the lock
        m_inbox.push_back({std::move(socket), std::move(place.m_peer), std::move(prelude)});
        place.m_owner = nullptr; // the stream holds the place from here on
        wakeLocked();
    }
}

// Under the mutex, so that a stop cannot close the eventfd in between.
void EventStreams::wakeLocked()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wake.get(), &one, sizeof one);
}

void EventStreams::publish(std::shared_ptr<const std::string> event)
{
    std::lock_guard lock(m_mutex);
    m_published = std::move(event);
    // Without a stream the thread sleeps on: one that starts takes the
    // newest then.
    if (m_running && m_held > 0)
        wakeLocked();
}

void EventStreams::endAll()
{
    std::lock_guard lock(m_mutex);
    if (!m_running)
        return;
    m_endAll = true;
    wakeLocked();
}

void EventStreams::start(Bounds bounds)
{
    std::lock_guard lock(m_mutex);
    if (m_running)
        return;
    sampling::UniqueFd epoll(::epoll_create1(EPOLL_CLOEXEC));
    sampling::UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!epoll.valid() || !wake.valid())
        throw std::system_error(errno, std::system_category());
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kWakeKey;
    if (::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, wake.get(), &event) != 0)
        throw std::system_error(errno, std::system_category());
    m_epoll = std::move(epoll);
    m_wake = std::move(wake);
    m_bounds = bounds;
    m_stopping = false;
    m_endAll = false;
    m_thread = std::thread([this] { run(); }); // throws std::system_error
    m_running = true;
}

void EventStreams::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_running || m_stopping)
            return;
        m_stopping = true;
        wakeLocked();
    }
    m_thread.join();
    std::lock_guard lock(m_mutex);
    m_running = false;
    m_stopping = false;
    m_epoll.reset();
    m_wake.reset();
}

// --- The streams' thread ----------------------------------------------------------------

void EventStreams::run()
{
    std::array<epoll_event, kEventsPerWait> events{};
    for (;;) {
        // Woken only by events, hand-overs and readers: with every stream
        // writable the thread sleeps until the next tick.
        int wait = -1;
        const Clock::time_point now = Clock::now();
        for (const auto& [key, stream] : m_streams) {
            if (stream->writable)
                continue;
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                stream->fullSince + m_bounds.sendTimeout - now);
            const int ms = static_cast<int>(std::clamp<long long>(left.count(), 0, 60000));
            wait = wait < 0 ? ms : std::min(wait, ms);
        }
        const int count = ::epoll_wait(m_epoll.get(), events.data(), kEventsPerWait, wait);
        if (count < 0 && errno != EINTR)
            break; // cannot happen with a valid set; end rather than spin
        for (int i = 0; i < count; ++i) {
            const epoll_event& event = events[static_cast<std::size_t>(i)];
            // Copied out: the structure is packed, its member may be misaligned.
            const std::uint64_t key = event.data.u64;
            const std::uint32_t happened = event.events;
            if (key == kWakeKey) {
                std::uint64_t counted = 0;
                [[maybe_unused]] const ssize_t taken =
                    ::read(m_wake.get(), &counted, sizeof counted);
                bool stopping = false;
                {
                    std::lock_guard lock(m_mutex);
                    stopping = m_stopping;
                }
                if (stopping) {
                    endEveryStream();
                    return;
                }
                takeInbox();
                continue;
            }
            const auto found = m_streams.find(key);
            if (found == m_streams.end())
                continue; // ended earlier in this round
            Stream& stream = *found->second;
            bool alive = (happened & (EPOLLERR | EPOLLHUP)) == 0;
            if (alive && (happened & (EPOLLIN | EPOLLRDHUP)) != 0)
                alive = drainInput(stream);
            if (alive && (happened & EPOLLOUT) != 0) {
                stream.writable = true;
                alive = pump(stream);
            }
            if (!alive)
                end(found->first);
        }
        endStalled();
    }
    endEveryStream();
}

void EventStreams::takeInbox()
{
    std::vector<Incoming> incoming;
    std::shared_ptr<const std::string> published;
    bool endAll = false;
    {
        std::lock_guard lock(m_mutex);
        incoming.swap(m_inbox);
        published = m_published;
        endAll = std::exchange(m_endAll, false);
    }
    if (endAll) {
        // Hand-overs that came before it end with the rest.
        endEveryStream();
        for (const Incoming& one : incoming)
            release(one.peer);
        incoming.clear();
    }
    if (published != m_newest) {
        m_newest = std::move(published);
        std::vector<std::uint64_t> ended;
        for (auto& [key, stream] : m_streams)
            if (!pump(*stream))
                ended.push_back(key);
        for (const std::uint64_t key : ended)
            end(key);
    }
    for (Incoming& one : incoming)
        startStream(std::move(one));
}

void EventStreams::startStream(Incoming incoming)
{
    const int fd = incoming.socket.get();
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kStreamSendBuffer, sizeof kStreamSendBuffer);
    auto stream = std::make_unique<Stream>();
    stream->socket = std::move(incoming.socket);
    stream->peer = std::move(incoming.peer);
    stream->piece = std::make_shared<const std::string>(std::move(incoming.prelude));
    const std::uint64_t key = m_nextKey++;
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    event.data.u64 = key;
    if (::epoll_ctl(m_epoll.get(), EPOLL_CTL_ADD, fd, &event) != 0) {
        release(stream->peer);
        return; // closes
    }
    Stream& added = *m_streams.emplace(key, std::move(stream)).first->second;
    if (!pump(added))
        end(key);
}

bool EventStreams::pump(Stream& stream)
{
    while (stream.writable) {
        if (stream.offset == stream.piece->size()) {
            if (!m_newest || m_newest == stream.piece)
                return true; // sent all there is
            stream.piece = m_newest;
            stream.offset = 0;
        }
        const std::string& bytes = *stream.piece;
        const ssize_t sent = ::send(stream.socket.get(), bytes.data() + stream.offset,
                                    bytes.size() - stream.offset, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            stream.offset += static_cast<std::size_t>(sent);
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            stream.writable = false; // the edge of EPOLLOUT says when it may go on
            stream.fullSince = Clock::now();
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

bool EventStreams::drainInput(Stream& stream)
{
    std::array<char, 1024> buffer; // filled by recv before use
    for (;;) {
        const ssize_t received = ::recv(stream.socket.get(), buffer.data(), buffer.size(), 0);
        if (received > 0) {
            stream.inputBytes += static_cast<std::size_t>(received);
            if (stream.inputBytes > kMostInputAfterHead)
                return false;
        } else if (received == 0) {
            return false; // the reader has gone
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
}

void EventStreams::end(std::uint64_t key)
{
    const auto found = m_streams.find(key);
    if (found == m_streams.end())
        return;
    // Out of the set before the close: the worker's copy of the descriptor
    // may still be open, and would keep the registration alive.
    ::epoll_ctl(m_epoll.get(), EPOLL_CTL_DEL, found->second->socket.get(), nullptr);
    const std::string peer = found->second->peer;
    m_streams.erase(found);
    release(peer);
}

void EventStreams::endStalled()
{
    const Clock::time_point now = Clock::now();
    std::vector<std::uint64_t> stalled;
    for (const auto& [key, stream] : m_streams)
        if (!stream->writable && now - stream->fullSince >= m_bounds.sendTimeout)
            stalled.push_back(key);
    for (const std::uint64_t key : stalled)
        end(key);
}

void EventStreams::endEveryStream()
{
    while (!m_streams.empty())
        end(m_streams.begin()->first);
    std::vector<Incoming> incoming;
    {
        std::lock_guard lock(m_mutex);
        incoming.swap(m_inbox);
    }
    for (const Incoming& one : incoming)
        release(one.peer);
    // `incoming` closes its sockets here.
}

} // namespace flowloom::web

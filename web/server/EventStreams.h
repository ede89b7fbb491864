#pragma once

#include "sampling/UniqueFd.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace flowloom::web {

// The server's open event streams (text/event-stream), on one event-driven
// thread of their own. A worker answers the request's head, then hands the
// connection over here and is free: a stream never holds a worker.
//
// Every stream is sent the newest event, never a queue of them. An event is
// one immutable text, shared by every stream (published once per tick), and
// a stream holds a reference to the one it is sending and how far it got:
// a few hundred bytes a stream, whatever the events' size. A stream that is
// still sending an older event when a new one comes finishes that one and
// then skips to the newest; the events it skipped are lost to it, and since
// each event carries the whole state of its tick, nothing else is. A stream
// whose reader takes nothing for the send time-out (its socket's buffer,
// kept small, stays full) is ended, as is a stream whose peer closes or
// sends more than a request.
//
// Bounded in all and per client (peer address): reserve() refuses beyond
// either bound, so that the handler can answer with a refusal instead of a
// stream. Streams end, and their sockets close, when the server stops.
class EventStreams
{
public:
    struct Bounds
    {
        std::size_t total = 0;
        std::size_t perClient = 0;
        std::chrono::milliseconds sendTimeout{10000};
    };

    enum class Refusal {
        None,
        NotRunning, // the server is not running (or stopping)
        ClientFull, // this peer holds its share of streams
        ServerFull, // the server holds all the streams it allows
    };

    // A place for one stream of a peer, counted from reserve() to the end of
    // the stream; released by its destructor when it never became one.
    class Place
    {
    public:
        Place() = default;
        Place(Place&& other) noexcept;
        Place& operator=(Place&& other) noexcept;
        Place(const Place&) = delete;
        Place& operator=(const Place&) = delete;
        ~Place();

        bool held() const { return m_owner != nullptr; }
        Refusal refusal() const { return m_refusal; }

    private:
        friend class EventStreams;
        EventStreams* m_owner = nullptr;
        std::string m_peer;
        Refusal m_refusal = Refusal::None;
    };

    EventStreams();
    ~EventStreams();
    EventStreams(const EventStreams&) = delete;
    EventStreams& operator=(const EventStreams&) = delete;

    // Starts the thread with these bounds; does nothing when running. Throws
    // std::system_error when no thread, epoll set or eventfd can be had.
    void start(Bounds bounds);
    // Ends every stream (their sockets close), then the thread; returns once
    // it has ended. Callable from any thread but the streams' own.
    void stop();

    // A place for a stream of `peer`, or a refusal that says why.
    Place reserve(const std::string& peer);
    // The connection of a held place becomes a stream: `prelude` goes first,
    // then the newest event and each later one. Without a place, or after a
    // stop, the socket is closed at once.
    void adopt(Place place, sampling::UniqueFd socket, std::string prelude);

    // The newest event; every stream is sent it (and skips older ones it has
    // not begun). Events are told apart by their text's identity, so each
    // publish is a new event.
    void publish(std::shared_ptr<const std::string> event);
    // Ends every stream (their peers may come back when served again).
    void endAll();

    // Streams held (places reserved included), in all and of one peer.
    std::size_t held() const;
    std::size_t heldBy(const std::string& peer) const;

private:
    using Clock = std::chrono::steady_clock;
    struct Stream;
    struct Incoming
    {
        sampling::UniqueFd socket;
        std::string peer;
        std::string prelude;
    };

    void release(const std::string& peer);
    void wakeLocked();
    void run();
    void takeInbox();
    void startStream(Incoming incoming);
    // Sends what the stream can take now; false when it has ended.
    bool pump(Stream& stream);
    bool drainInput(Stream& stream);
    void end(std::uint64_t key);
    void endStalled();
    void endEveryStream();

    // Shared with the other threads, under m_mutex.
    mutable std::mutex m_mutex;
    bool m_running = false;
    bool m_stopping = false;
    bool m_endAll = false;
    Bounds m_bounds;
    std::size_t m_held = 0;
    std::unordered_map<std::string, std::size_t> m_heldBy;
    std::vector<Incoming> m_inbox;
    std::shared_ptr<const std::string> m_published;

    // The thread's own.
    sampling::UniqueFd m_epoll;
    sampling::UniqueFd m_wake; // eventfd
    std::thread m_thread;
    std::shared_ptr<const std::string> m_newest;
    std::map<std::uint64_t, std::unique_ptr<Stream>> m_streams; // by key, in order of adoption
    std::uint64_t m_nextKey = 1;                                // 0 tags the wake-up
};

} // namespace flowloom::web

#pragma once

#include "sampling/UniqueFd.h"
#include "web/http/RequestParser.h"
#include "web/server/Connection.h"

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <vector>

struct epoll_event;

namespace flowloom::web {

class WorkerPool;

// The server's one event-driven thread: reads the request heads (and any body)
// of the connections that did not arrive whole, with epoll, however many there
// are and however slowly they send, and hands each complete request to the
// worker pool. A connection that is still sending costs a descriptor and its
// parser here, never a thread.
//
// It also keeps the bounds that need no worker: a connection that has not
// delivered its request within the request time-out (counted from accept) is
// closed without a reply; a client at its share of connections gives up its
// oldest unfinished one for a new one, and a new one is refused when it has
// none; with the server at its share of connections, the client holding the
// most unfinished ones gives up its oldest. So no client can crowd another
// out, only itself.
class HeadReader
{
public:
    explicit HeadReader(WorkerPool& pool);
    ~HeadReader();
    HeadReader(const HeadReader&) = delete;
    HeadReader& operator=(const HeadReader&) = delete;

    // A connection a worker has looked at (`parser` holds what arrived),
    // counted as held. Callable from any thread; closed after a stop.
    void adopt(sampling::UniqueFd socket, std::uint32_t peer,
               Connection::Clock::time_point acceptedAt, RequestParser parser);

    // The thread's work, until stop(). Closes every unfinished connection
    // before it returns.
    void run();
    // Callable from any thread; run() returns soon after.
    void stop();

private:
    using Clock = Connection::Clock;
    struct Reading
    {
        sampling::UniqueFd socket;
        std::uint32_t peer = 0;
        Clock::time_point deadline;
        RequestParser parser;
        std::list<Reading>::iterator self;
        bool registered = false; // with the epoll set
        bool done = false;
    };

    struct Adopted
    {
        sampling::UniqueFd socket;
        std::uint32_t peer = 0;
        Clock::time_point acceptedAt;
        RequestParser parser;
    };

    void takeAdopted();
    bool makeRoomFor(const Reading& newcomer);
    bool evictOldest(std::uint32_t peer, const Reading* except);
    bool evictFromLargestHolder(const Reading* except);
    void readFrom(Reading& reading);
    void close(Reading& reading);
    void handOver(Reading& reading);
    void expire();
    int waitMilliseconds() const;

    sampling::UniqueFd m_epoll;
    sampling::UniqueFd m_wake; // eventfd: adopt() and stop() write it
    WorkerPool& m_pool;
    std::mutex m_inboxMutex;
    std::vector<Adopted> m_inbox;
    bool m_stopping = false;       // guarded by m_inboxMutex
    std::list<Reading> m_reading;  // in order of acceptance, and so of deadline
    std::list<Reading> m_finished; // left this round; freed once no event can name them
    std::array<char, 16384> m_buffer{};
    // The address that tells the wake-up's events apart from connections'.
    char m_wakeTag = 0;
};

} // namespace flowloom::web

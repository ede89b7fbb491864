#pragma once

#include "web/http/RequestParser.h"
#include "web/server/Connection.h"
#include "web/server/SocketHandle.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>

struct epoll_event;

namespace flowloom::web {

class WorkerPool;

// The server's one event-driven thread: accepts connections and reads their
// request heads (and any body) with epoll, however many arrive and however
// slowly they send, and hands each complete request to the worker pool. A
// connection that is still sending costs a descriptor and its parser here,
// never a thread.
//
// It also keeps the bounds that need no worker: a connection that has not
// delivered its request within the request time-out is closed without a reply;
// a client at its share of connections gives up its oldest unfinished one for
// a new one; with the server at its share of connections, the client holding
// the most unfinished ones gives up its oldest. So no client can crowd another
// out, only itself.
class HeadReader
{
public:
    HeadReader(SocketHandle listener, std::shared_ptr<WorkerPool> pool);
    ~HeadReader();
    HeadReader(const HeadReader&) = delete;
    HeadReader& operator=(const HeadReader&) = delete;

    // The thread's work, until stop(). Closes every unfinished connection and
    // the listening socket before it returns.
    void run();
    // Callable from any thread; run() returns soon after.
    void stop();

private:
    using Clock = Connection::Clock;
    struct Reading
    {
        SocketHandle socket;
        std::uint32_t peer = 0;
        Clock::time_point deadline;
        RequestParser parser;
        std::list<Reading>::iterator self;
        bool registered = false; // with the epoll set
        bool done = false;
    };

    void acceptAll();
    bool makeRoomFor(std::uint32_t peer);
    bool evictOldest(std::uint32_t peer);
    bool evictFromLargestHolder();
    void readFrom(Reading& reading);
    void close(Reading& reading);
    void handOver(Reading& reading);
    void expire();
    void pauseAccepting();
    int waitMilliseconds() const;

    SocketHandle m_listener;
    SocketHandle m_epoll;
    SocketHandle m_wake; // eventfd: stop() writes it
    std::shared_ptr<WorkerPool> m_pool;
    std::atomic<bool> m_stopping{false};
    std::list<Reading> m_reading;  // in order of acceptance, and so of deadline
    std::list<Reading> m_finished; // left this round; freed once no event can name them
    bool m_acceptPaused = false;
    Clock::time_point m_acceptResumes;
    std::array<char, 16384> m_buffer{};
    // Addresses that tell the listener's and the wake-up's events apart from connections'.
    char m_listenerTag = 0;
    char m_wakeTag = 0;
};

} // namespace flowloom::web

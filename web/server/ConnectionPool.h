#pragma once

#include "web/server/Connection.h"
#include "web/server/ServerOptions.h"
#include "web/server/SocketHandle.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <netinet/in.h>

namespace flowloom::web {

// The worker threads of one running server. Each worker serves one connection
// at a time on its own thread, as the design asks, but workers are kept and
// reused instead of being created per connection: a new thread per connection
// costs more than the whole request. At most ServerOptions::maxConnections
// connections are taken at once (queued plus served); the listener waits for a
// free slot before accepting more, so the rest stay in the kernel's queue.
//
// Workers are detached and share ownership of the pool, so a worker stuck in a
// handler past the stop limit can still finish safely later.
class ConnectionPool : public std::enable_shared_from_this<ConnectionPool>
{
public:
    ConnectionPool(RequestHandler handler, ServerOptions options);
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // Listener side: waits until a connection may be taken; false once stopping.
    bool waitForSlot();
    // Hands an accepted socket to a worker (starting one if none is idle).
    void submit(SocketHandle socket, const sockaddr_in& peer);

    // Refuses further work and shuts down every connection taken, waking
    // workers blocked on their peers. Does not wait.
    void requestStop();
    // Waits for every worker to end, checking each pollInterval, at most limit.
    bool waitForWorkers(std::chrono::milliseconds pollInterval, std::chrono::milliseconds limit);

private:
    struct Pending
    {
        SocketHandle socket;
        sockaddr_in peer{};
        Connection::Clock::time_point acceptedAt;
    };

    void startWorker(std::unique_lock<std::mutex>& lock);
    void workerLoop();
    void serve(Pending& pending);
    void finishConnection(int fd);

    RequestHandler m_handler;
    ServerOptions m_options;
    std::atomic<bool> m_stopping{false};

    std::mutex m_mutex;
    std::condition_variable m_workAvailable; // workers wait for connections
    std::condition_variable m_slotFree;      // the listener waits for a slot
    std::condition_variable m_workerEnded;   // stop waits for the workers
    std::deque<Pending> m_queue;
    std::vector<int> m_served; // sockets being served, shut down on stop
    std::size_t m_taken = 0;   // queued + served
    std::size_t m_workers = 0;
    std::size_t m_idle = 0;
};

} // namespace flowloom::web

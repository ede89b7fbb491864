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
#include <shared_mutex>
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
// A worker that has finished a connection first takes the next one waiting in
// the kernel's queue itself, keeping its slot, and only goes idle when there is
// none. Under load connections then flow without a hand-over between threads
// (a wake-up and two context switches each); the listener thread accepts
// whatever arrives while the workers are idle.
//
// Workers are detached and share ownership of the pool, so a worker stuck in a
// handler past the stop limit can still finish safely later.
class ConnectionPool : public std::enable_shared_from_this<ConnectionPool>
{
public:
    // Takes the listening socket: workers accept from it too (see workerLoop).
    ConnectionPool(SocketHandle listener, RequestHandler handler, ServerOptions options);
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    struct Accepted
    {
        SocketHandle socket;
        sockaddr_in peer{};
    };

    // Listener side: waits until at least one connection may be taken and
    // returns how many may; 0 once stopping.
    std::size_t waitForSlots();
    // Hands accepted sockets to workers (starting workers when none is idle).
    // Taking them in batches lets the listener empty the kernel's short queue
    // before any worker is woken.
    void submit(std::vector<Accepted>& batch);

    int listener() const { return m_listener.get(); }
    // Closes the listening socket once no worker is accepting from it.
    void closeListener();

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

    bool startWorker(std::unique_lock<std::mutex>& lock);
    void workerLoop();
    void serve(Pending& pending);
    bool acceptNext(Pending& pending);

    SocketHandle m_listener;
    std::shared_mutex m_listenerGuard; // shared while accepting, unique to close
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
    std::size_t m_starting = 0; // started, not yet looking at the queue
};

} // namespace flowloom::web

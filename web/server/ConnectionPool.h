#pragma once

#include "web/server/Connection.h"
#include "web/server/ServerOptions.h"
#include "web/server/SocketHandle.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include <netinet/in.h>

namespace flowloom::web {

// The worker threads of one running server. Each worker serves one connection
// at a time on its own thread, and handlers of different connections run side
// by side, as the design asks; but a worker is kept after its connection
// closes instead of ending, since creating a thread costs more than a request.
//
// A worker that has finished waits for its next connection in accept() on the
// listening socket itself. The kernel wakes exactly one waiting worker per
// connection, so a connection costs one wake-up and no hand-over between
// threads. The listener thread accepts only when no worker is waiting: it then
// starts a new worker for the connection, never more than maxConnections in
// all. With every worker busy nobody accepts, and further connections wait in
// the kernel's queue until a worker is free.
//
// Workers are detached and share ownership of the pool, so a worker stuck in a
// handler past the stop limit can still finish safely later.
class ConnectionPool : public std::enable_shared_from_this<ConnectionPool>
{
public:
    struct Accepted
    {
        SocketHandle socket;
        sockaddr_in peer{};
    };

    // Takes the listening socket (blocking, with the idle time as its receive
    // time-out so that an idle worker's accept() returns in time).
    ConnectionPool(SocketHandle listener, RequestHandler handler, ServerOptions options);
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    int listener() const { return m_listener.get(); }

    // The listener thread's work, until stopped: whenever no worker waits for
    // a connection and another may be started, accept one and start a worker
    // for it.
    void runListener();

    // Refuses further work, stops accepting and shuts down every connection
    // taken, waking workers blocked on their peers. Does not wait.
    void requestStop();
    // Closes the listening socket once no worker is in accept() on it.
    void closeListener();
    // Waits for every worker to end, checking each pollInterval, at most limit.
    bool waitForWorkers(std::chrono::milliseconds pollInterval, std::chrono::milliseconds limit);

private:
    struct Pending
    {
        SocketHandle socket;
        sockaddr_in peer{};
        Connection::Clock::time_point acceptedAt;
    };
    enum class AcceptResult { Accepted, Idle, Stopped };

    bool waitUntilNeeded();
    void startWorker(Accepted accepted);
    bool backOff();
    void workerLoop(Pending first);
    void serve(Pending& pending);
    void finish(Pending& pending);
    AcceptResult acceptNext(Pending& next);

    SocketHandle m_listener;
    std::shared_mutex m_listenerGuard; // shared while in accept(), unique to close
    RequestHandler m_handler;
    ServerOptions m_options;
    std::atomic<bool> m_stopping{false};

    std::mutex m_mutex;
    std::condition_variable m_changed;     // the listener and backing-off workers wait here
    std::condition_variable m_workerEnded; // stop waits for the workers
    std::vector<int> m_served;             // sockets being served, shut down on stop
    std::size_t m_workers = 0;
    std::size_t m_waiting = 0; // workers waiting in accept()
};

} // namespace flowloom::web

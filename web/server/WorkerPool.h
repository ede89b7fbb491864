#pragma once

#include "sampling/UniqueFd.h"
#include "web/http/RequestParser.h"
#include "web/server/ClientTable.h"
#include "web/server/Connection.h"
#include "web/server/ServerOptions.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include <netinet/in.h>

namespace flowloom::web {

class HeadReader;

// A peer's IPv4 address (network byte order) as inet_ntop() writes it.
std::string dottedAddress(std::uint32_t networkOrder);

// The worker threads of one running server, the table of what each client
// holds and the reading thread's object.
//
// An idle worker waits in an epoll set of its own that holds the listening
// socket and an eventfd that announces queued work, both exclusive, so that a
// connection or a wake-up rouses one waiting worker. So a worker waiting for a
// connection is also reachable for a waiting request: a request completed by
// the reading thread never waits while a worker idles.
//
// The worker looks at what a new connection has sent, waiting at most a
// millisecond for its first bytes: a complete request of a client below its
// shares is served at once, which is the common case and costs one wake-up; a
// complete request of a client at its share of workers waits in the table's
// queue; anything else (a head still incomplete, or a client at its share of
// connections) goes to the reading thread (HeadReader), and the worker is free
// again at once. A worker that accepts while ten or more connections wait in
// the listen queue accepts everything waiting, queues the requests that
// arrived whole and hands the rest to the reading thread.
//
// The listener thread acts only when no worker is waiting. While fewer than a
// few workers per core are running (workers in a BlockingWait, for an image
// being drawn or a slow client, do not count), it accepts the connection and
// starts a new worker for it. Beyond them, running workers are busy on the
// processors and another thread would only add switching (on two cores, a
// thread per connection of 64 clients cost a third of the throughput): it
// starts one only when work waits and no request has been finished for a
// little while, never more than maxWorkers in all. Running workers beyond
// twice the eager number end instead of waiting for more work.
//
// A worker that finishes a request takes the next waiting one from the table
// (round robin over clients below their share) before it waits again. Workers
// are kept after their request, since creating a thread costs more than a
// request, and end after an idle while. They are detached and share ownership
// of the pool, so a worker stuck in a handler past the stop limit can still
// finish safely later.
class WorkerPool : public std::enable_shared_from_this<WorkerPool>
{
public:
    // Takes the listening socket (made non-blocking: the waiting is done in
    // epoll and poll).
    WorkerPool(sampling::UniqueFd listener, RequestHandler handler, ServerOptions options);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    const ServerOptions& options() const { return m_options; }
    HeadReader& reader() { return *m_reader; }

    // The listener thread's work, until stopped: whenever no worker waits for
    // a connection and another may be started, accept one and start a worker
    // for it.
    void runListener();

    // For the reading thread: connections held by this client and by all.
    std::pair<std::size_t, std::size_t> held(std::uint32_t peer);
    void connectionOpened(std::uint32_t peer);
    void connectionClosed(std::uint32_t peer);
    // A complete request: served when a worker and the client's share allow.
    void submit(std::unique_ptr<ReadyRequest> ready);

    // Refuses further work, drops the waiting requests, shuts down every
    // connection being served and ends listening, waking every thread
    // blocked. Does not wait.
    void requestStop();
    // Closes the listening socket once no worker is in accept() on it.
    void closeListener();
    // Waits for every worker to end, checking each pollInterval, at most limit.
    bool waitForWorkers(std::chrono::milliseconds pollInterval, std::chrono::milliseconds limit);

private:
    struct Accepted
    {
        sampling::UniqueFd socket;
        sockaddr_in peer{};
        Connection::Clock::time_point acceptedAt;
    };
    enum class WaitResult { Accepted, Woken, Idle, Stopped };

    bool waitUntilNeeded();
    std::size_t runningWorkers() const;
    bool startsEagerly();
    void startWorkerIfStillNeeded();
    bool backOff();
    void startWorker(std::optional<Accepted> first);
    void workerLoop(std::optional<Accepted> first);
    sampling::UniqueFd makeWaitSet() const;
    WaitResult waitForWork(int waitSet, Accepted& next);
    int acceptNow(Accepted& next);
    WaitResult acceptOne(Accepted& next);
    bool listenQueueFilling();
    void takePending();
    void take(Accepted accepted, bool serveHere);
    void serveLocked(std::unique_ptr<ReadyRequest> ready, std::unique_lock<std::mutex>& lock);
    void offerWork();

    sampling::UniqueFd m_listener;
    std::shared_mutex m_listenerGuard; // shared while in accept(), unique to close
    sampling::UniqueFd m_wake;         // eventfd (semaphore): one count per wake-up given
    RequestHandler m_handler;
    ServerOptions m_options;
    std::unique_ptr<HeadReader> m_reader;
    std::atomic<bool> m_stopping{false};

    std::mutex m_mutex;
    std::condition_variable m_changed;     // the listener and backing-off workers wait here
    std::condition_variable m_workerEnded; // stop waits for the workers
    ClientTable m_table;
    std::vector<int> m_served;                    // sockets being served, shut down on stop
    const std::size_t m_eagerWorkers;             // started at once when none is free
    std::atomic<std::size_t> m_blockedWorkers{0}; // in a BlockingWait
    std::size_t m_workers = 0;
    std::size_t m_finished = 0; // requests served, counted to see the workers progress
    std::size_t m_waiting = 0;  // idle workers in the wait set
    std::size_t m_wakeups = 0;  // wake-ups written to m_wake, not yet taken
};

} // namespace flowloom::web

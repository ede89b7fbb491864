#pragma once

#include "web/server/ClientTable.h"
#include "web/server/Connection.h"
#include "web/server/ServerOptions.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace flowloom::web {

// The worker threads of one running server and the table of what each client
// holds. Workers serve complete requests only, in the order the table gives
// (round robin over clients below their share). A worker is kept after its
// request instead of ending, since creating a thread costs more than a
// request, and ends after an idle while. Workers are detached and share
// ownership of the pool, so a worker stuck in a handler past the stop limit
// can still finish safely later.
class WorkerPool : public std::enable_shared_from_this<WorkerPool>
{
public:
    WorkerPool(RequestHandler handler, ServerOptions options);
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    const ServerOptions& options() const { return m_options; }
    // Connections held by this client and by all clients.
    std::pair<std::size_t, std::size_t> held(std::uint32_t peer);
    void connectionOpened(std::uint32_t peer);
    void connectionClosed(std::uint32_t peer);
    // A complete request: served when a worker and the client's share allow.
    void submit(std::unique_ptr<ReadyRequest> ready);

    // Refuses further work, drops the waiting requests and shuts down every
    // connection being served, waking workers blocked on their peers. Does
    // not wait.
    void requestStop();
    // Waits for every worker to end, checking each pollInterval, at most limit.
    bool waitForWorkers(std::chrono::milliseconds pollInterval, std::chrono::milliseconds limit);

private:
    void startWorker();
    void workerLoop();
    void serve(ReadyRequest& ready);

    RequestHandler m_handler;
    ServerOptions m_options;
    std::atomic<bool> m_stopping{false};

    std::mutex m_mutex;
    std::condition_variable m_work;        // idle workers wait here
    std::condition_variable m_workerEnded; // stop waits for the workers
    ClientTable m_table;
    std::vector<int> m_served; // sockets being served, shut down on stop
    std::size_t m_workers = 0;
    std::size_t m_idle = 0;    // workers waiting for work
    std::size_t m_wakeups = 0; // wake-ups given to idle workers, not yet taken
};

} // namespace flowloom::web

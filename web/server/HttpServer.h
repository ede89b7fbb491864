#pragma once

#include "web/server/Connection.h"
#include "web/server/ServerOptions.h"
#include "web/server/SocketHandle.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace flowloom::web {

class HeadReader;
class WorkerPool;

// A start or stop that failed; what() is the text shown to the user.
class HttpServerError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct Binding
{
    std::string address; // dotted IPv4; empty for all addresses
    std::uint16_t port = 0;
};

// The HTTP server: one binding, one request per connection. start() and stop()
// are called from one thread (the user-interface thread); the handler runs on
// the workers.
//
// Design. Resources go to complete requests, and each client (peer address)
// gets a fair share of them:
// - One thread (HeadReader) accepts every connection and reads the request
//   heads of all of them event-driven (epoll). A connection that is idle or
//   trickles its head costs a descriptor and a parser, never a thread; it is
//   closed without a reply when its request is not complete 10 s after it was
//   accepted. Only a complete request goes to a worker.
// - Workers (WorkerPool, at most limits::kMaxWorkers threads, kept while busy)
//   run the handler and write the reply; a reply that makes no progress for
//   10 s is abandoned. Complete requests wait in one queue per client and are
//   taken round robin over the clients below their share of workers
//   (limits::kWorkersPerClient), so a client with many requests waits behind
//   every other client's next one (ClientTable).
// - Connections held are bounded per client (limits::kConnectionsPerClient)
//   and in all (limits::kMaxOpenConnections). At its bound a client's new
//   connection replaces its own oldest unfinished one; at the server's bound
//   the client holding the most unfinished connections gives up its oldest.
//   Connections are accepted as they come, so the listen queue of 15 only
//   holds what arrives between two turns of the reading thread.
// What a reply contains is the handler's and Reply's business: nothing here
// changes a byte of it.
class HttpServer
{
public:
    explicit HttpServer(RequestHandler handler, ServerOptions options = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Takes effect at the next start. After a start the binding holds the
    // address and port actually bound (port 0 becomes the chosen port).
    void setBinding(Binding binding) { m_binding = std::move(binding); }
    void clearBinding() { m_binding.reset(); }
    const std::optional<Binding>& binding() const { return m_binding; }

    bool isActive() const { return m_active; }

    // Binds, listens and starts accepting; does nothing when already active.
    // Throws HttpServerError and stays inactive when it fails.
    void start();
    // Closes the listener and every connection, then waits for the workers.
    // Throws HttpServerError("Terminate Thread Timeout") when a worker is still
    // busy at the limit; the server is inactive afterwards either way.
    void stop();

private:
    SocketHandle openListener(Binding& binding);

    RequestHandler m_handler;
    ServerOptions m_options;
    std::optional<Binding> m_binding;
    bool m_active = false;
    std::shared_ptr<WorkerPool> m_pool;
    std::unique_ptr<HeadReader> m_reader;
    std::thread m_readerThread;
};

} // namespace flowloom::web

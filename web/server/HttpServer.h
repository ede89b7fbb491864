#pragma once

#include "sampling/UniqueFd.h"
#include "web/server/Connection.h"
#include "web/server/EventStreams.h"
#include "web/server/ServerOptions.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace flowloom::web {

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
// - Idle workers (WorkerPool, at most limits::kMaxWorkers threads) wait in
//   epoll for a connection (one worker woken per connection) or for queued
//   work. The worker takes one look (waiting at most 1 ms for the first
//   bytes): a complete request is
//   served at once (the common case: one wake-up per request); anything still
//   incomplete goes to one event-driven thread (HeadReader), and the worker is
//   free again. That thread reads the heads of all such connections with epoll:
//   an idle or trickling connection costs a descriptor and a parser, never a
//   thread, and is closed without a reply when its request is not complete 10 s
//   after it was accepted. Only complete requests are served by workers.
// - A worker runs the handler and writes the reply; a reply that makes no
//   progress for 10 s is abandoned. A client holds at most its share of
//   workers (limits::kWorkersPerClient); its further complete requests wait in
//   a queue of its own, and waiting requests are taken round robin over the
//   clients below their share, so a client with many requests waits behind
//   every other client's next one (ClientTable).
// - Connections held are bounded per client (limits::kConnectionsPerClient)
//   and in all (limits::kMaxOpenConnections). At its bound a client's new
//   connection replaces its own oldest unfinished one (or is refused at once
//   when it has none); at the server's bound the client holding the most
//   unfinished connections gives up its oldest. So a crowding client crowds
//   out only itself. A connection whose request has not arrived whole
//   when a worker accepts it passes on to the reading thread at once.
// - A handler may turn its connection into an event stream (EventStreams):
//   after the head is answered the connection leaves the workers for the
//   streams' one thread, bounded in all and per client on its own, beside the
//   connections above. The soft descriptor limit is raised at start to make
//   room for them (DescriptorBudget).
// What a reply contains is the handler's and Reply's business, and that each
// request sees the figures of one tick is the web service's (one published
// view per tick): nothing here changes a byte of either.
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

    // The event streams; they run while the server does. For handlers and for
    // the publisher of events (any thread).
    EventStreams& eventStreams() { return m_streams; }

    // Binds, listens and starts accepting; does nothing when already active.
    // Throws HttpServerError and stays inactive when it fails.
    void start();
    // Ends every event stream, closes the listener and every connection, then
    // waits for the workers.
    // Throws HttpServerError("Terminate Thread Timeout") when a worker is still
    // busy at the limit; the server is inactive afterwards either way.
    void stop();

private:
    sampling::UniqueFd openListener(Binding& binding);

    RequestHandler m_handler;
    ServerOptions m_options;
    std::optional<Binding> m_binding;
    bool m_active = false;
    std::shared_ptr<WorkerPool> m_pool;
    std::thread m_listenerThread;
    std::thread m_readerThread;
    EventStreams m_streams;
};

} // namespace flowloom::web

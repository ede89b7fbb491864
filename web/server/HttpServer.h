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

class ConnectionPool;

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

// The HTTP server: one binding, a listener thread and a pool of worker threads,
// one request per connection. start() and stop() are called from one thread
// (the user-interface thread); the handler runs on the workers.
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
    std::shared_ptr<ConnectionPool> m_pool;
    std::thread m_listenerThread;
};

} // namespace flowloom::web

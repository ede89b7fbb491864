#include "web/server/HttpServer.h"

#include "web/http/Limits.h"
#include "web/server/DescriptorBudget.h"
#include "web/server/HeadReader.h"
#include "web/server/WorkerPool.h"

#include <cerrno>
#include <system_error>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace flowloom::web {

namespace {

constexpr const char* kAddressInUse = "Could not bind socket. Address and port are already in use.";

HttpServerError socketError(int error)
{
    if (error == EADDRINUSE) {
        return HttpServerError(kAddressInUse);
    }
    return HttpServerError("Socket Error # " + std::to_string(error) + "\r\n" +
                           std::system_category().message(error));
}

} // namespace

HttpServer::HttpServer(RequestHandler handler, ServerOptions options)
    : m_handler(std::move(handler)), m_options(options)
{}

HttpServer::~HttpServer()
{
    try {
        stop();
    } catch (const HttpServerError&) {
        // Workers still busy are detached and end on their own.
    }
}

sampling::UniqueFd HttpServer::openListener(Binding& binding)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(binding.port);
    if (binding.address.empty()) {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (::inet_pton(AF_INET, binding.address.c_str(), &address.sin_addr) != 1) {
        throw HttpServerError("The address \"" + binding.address +
                              "\" is not a dotted IPv4 address.");
    }

    sampling::UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener.valid()) {
        throw socketError(errno);
    }
    // A port on which another socket listens must still fail, and does: on
    // Linux this option never lets two sockets listen on one port. What it
    // allows is binding while the last run's closed connections linger in
    // TIME_WAIT; without it a stop and start on the same port would fail for
    // a minute after any request was served.
    const int reuse = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), limits::kListenQueue) != 0) {
        throw socketError(errno);
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        throw socketError(errno);
    }
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &bound.sin_addr, text, sizeof text);
    binding.address = text;
    binding.port = ntohs(bound.sin_port);
    return listener;
}

void HttpServer::start()
{
    if (m_active) {
        return;
    }
    if (!m_binding) {
        throw HttpServerError("No address and port to listen on.");
    }
    Binding bound = *m_binding;
    sampling::UniqueFd listener = openListener(bound);

    try {
        const std::size_t descriptors = DescriptorBudget::raiseSoftLimit();
        m_streams.start({DescriptorBudget::streamsWithin(descriptors, m_options.maxEventStreams),
                         m_options.eventStreamsPerClient, m_options.sendTimeout});
        auto pool = std::make_shared<WorkerPool>(std::move(listener), m_handler, m_options);
        m_readerThread = std::thread([pool] { pool->reader().run(); });
        try {
            m_listenerThread = std::thread([pool] { pool->runListener(); });
        } catch (...) {
            pool->requestStop();
            m_readerThread.join();
            throw;
        }
        m_pool = std::move(pool);
    } catch (const std::system_error& failure) {
        m_streams.stop();
        throw socketError(failure.code().value());
    }
    m_binding = bound;
    m_active = true;
}

void HttpServer::stop()
{
    if (!m_active) {
        return;
    }
    m_active = false;
    m_streams.stop();
    const std::shared_ptr<WorkerPool> pool = std::move(m_pool);
    pool->requestStop();
    m_listenerThread.join();
    m_readerThread.join();
    pool->closeListener();
    if (!pool->waitForWorkers(limits::kStopPollInterval, limits::kStopTimeout)) {
        throw HttpServerError("Terminate Thread Timeout");
    }
}

} // namespace flowloom::web

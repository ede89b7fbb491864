#include "web/server/HttpServer.h"

#include "web/http/Limits.h"
#include "web/server/ConnectionPool.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <system_error>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

// Errors of one pending connection (it is gone or refused); the next may be fine.
bool isConnectionError(int error)
{
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EPERM:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

// Accepts until stopped, as many connections at a time as are waiting and
// allowed, so that the kernel's short queue is emptied quickly. Out of
// descriptors or memory (EMFILE and kin, or anything unexpected) it pauses
// before trying again instead of spinning: the pending connection stays queued.
void acceptLoop(int listener, int wake, const std::shared_ptr<ConnectionPool>& pool)
{
    constexpr std::size_t kBatch = 32;
    std::vector<ConnectionPool::Accepted> batch;
    batch.reserve(kBatch);
    for (;;) {
        const std::size_t room = std::min(pool->waitForSlots(), kBatch);
        if (room == 0) {
            return;
        }
        int error = 0;
        while (batch.size() < room) {
            sockaddr_in peer{};
            socklen_t length = sizeof peer;
            const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0) {
                batch.push_back({SocketHandle(fd), peer});
            } else if (!isConnectionError(errno)) {
                error = errno;
                break;
            }
        }
        if (!batch.empty()) {
            pool->submit(batch);
        }
        if (error == 0) {
            continue;
        }
        std::array<pollfd, 2> entries{{{wake, POLLIN, 0}, {listener, POLLIN, 0}}};
        int ready = 0;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            ready = ::poll(entries.data(), 2, -1);
        } else {
            ready = ::poll(entries.data(), 1, static_cast<int>(limits::kAcceptBackoff.count()));
        }
        if (ready > 0 && (entries[0].revents & POLLIN) != 0) {
            return;
        }
    }
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

SocketHandle HttpServer::openListener(Binding& binding)
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

    // No address-reuse option: a port that another socket holds must fail.
    SocketHandle listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener.valid()) {
        throw socketError(errno);
    }
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
    SocketHandle listener = openListener(bound);

    int pipeEnds[2] = {-1, -1};
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw socketError(errno);
    }
    SocketHandle wakeRead(pipeEnds[0]);
    SocketHandle wakeWrite(pipeEnds[1]);

    auto pool = std::make_shared<ConnectionPool>(std::move(listener), m_handler, m_options);
    try {
        m_listenerThread = std::thread(
            [wake = wakeRead.get(), pool] { acceptLoop(pool->listener(), wake, pool); });
    } catch (const std::system_error& failure) {
        throw socketError(failure.code().value());
    }
    m_wakeRead = std::move(wakeRead);
    m_wakeWrite = std::move(wakeWrite);
    m_pool = std::move(pool);
    m_binding = bound;
    m_active = true;
}

void HttpServer::stop()
{
    if (!m_active) {
        return;
    }
    m_active = false;
    m_pool->requestStop();
    const char wake = 1;
    while (::write(m_wakeWrite.get(), &wake, 1) < 0 && errno == EINTR) {
    }
    m_listenerThread.join();
    m_wakeRead.reset();
    m_wakeWrite.reset();

    const std::shared_ptr<ConnectionPool> pool = std::move(m_pool);
    pool->closeListener();
    if (!pool->waitForWorkers(limits::kStopPollInterval, limits::kStopTimeout)) {
        throw HttpServerError("Terminate Thread Timeout");
    }
}

} // namespace flowloom::web

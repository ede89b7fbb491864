#include "support/LoopbackClient.h"

#include <cerrno>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace flowloom::test {

namespace {

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, millisecondsLeft(deadline));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

} // namespace

LoopbackClient::LoopbackClient(std::uint16_t port, ConnectMode mode,
                               std::chrono::milliseconds connectLimit, const std::string& from)
{
    m_socket.reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!m_socket.valid()) {
        return;
    }
    if (!from.empty()) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        // Only loopback sources: tests never send from or to anywhere else.
        if (::inet_pton(AF_INET, from.c_str(), &source.sin_addr) != 1 ||
            (ntohl(source.sin_addr.s_addr) >> 24) != 127 ||
            ::bind(m_socket.get(), reinterpret_cast<const sockaddr*>(&source), sizeof source) !=
                0) {
            return;
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
        0) {
        m_connected = true;
        return;
    }
    if (errno != EINPROGRESS) {
        return;
    }
    if (mode == ConnectMode::NoWait) {
        m_connected = true;
        return;
    }
    if (!waitFor(m_socket.get(), POLLOUT, Clock::now() + connectLimit)) {
        return;
    }
    int error = 0;
    socklen_t length = sizeof error;
    m_connected =
        ::getsockopt(m_socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

bool LoopbackClient::waitConnected(std::chrono::milliseconds limit)
{
    if (!m_connected || !waitFor(m_socket.get(), POLLOUT, Clock::now() + limit)) {
        return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    m_connected =
        ::getsockopt(m_socket.get(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    return m_connected;
}

LoopbackClient::LoopbackClient(LoopbackClient&& other) noexcept
    : m_socket(std::move(other.m_socket)), m_connected(other.m_connected)
{
    other.m_connected = false;
}

bool LoopbackClient::send(std::string_view bytes)
{
    if (!m_connected) {
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!bytes.empty()) {
        const ssize_t sent = ::send(m_socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(m_socket.get(), POLLOUT, deadline)) {
                return false;
            }
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

bool LoopbackClient::trySend(std::string_view bytes)
{
    return m_connected && ::send(m_socket.get(), bytes.data(), bytes.size(),
                                 MSG_NOSIGNAL | MSG_DONTWAIT) == static_cast<ssize_t>(bytes.size());
}

void LoopbackClient::finishSending()
{
    if (m_socket.valid()) {
        ::shutdown(m_socket.get(), SHUT_WR);
    }
}

Received LoopbackClient::readUntilClose(std::chrono::milliseconds limit)
{
    Received received;
    if (!m_connected) {
        return received;
    }
    const auto deadline = Clock::now() + limit;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::recv(m_socket.get(), buffer, sizeof buffer, 0);
        if (count > 0) {
            received.bytes.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0) {
            received.end = ReadEnd::Closed;
            return received;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!waitFor(m_socket.get(), POLLIN, deadline)) {
                received.end = ReadEnd::TimedOut;
                return received;
            }
        } else if (errno == ECONNRESET) {
            received.end = ReadEnd::Reset;
            return received;
        } else if (errno != EINTR) {
            received.end = ReadEnd::Failed;
            return received;
        }
    }
}

Received LoopbackClient::exchange(std::uint16_t port, std::string_view bytes,
                                  std::chrono::milliseconds limit)
{
    LoopbackClient client(port);
    // A server may close before taking everything (an over-long line); what it
    // answered, or that it reset, is still what the caller wants to see.
    client.send(bytes);
    return client.readUntilClose(limit);
}

} // namespace flowloom::test

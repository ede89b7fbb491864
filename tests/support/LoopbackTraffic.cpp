#include "support/LoopbackTraffic.h"

#include "sampling/UniqueFd.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace flowloom::testsupport {

namespace {
using sampling::UniqueFd;

// A socket bound to 127.0.0.1 on a port the system chooses.
UniqueFd boundLoopbackSocket(sockaddr_in& address)
{
    UniqueFd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!s.valid() || ::bind(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return s;
    socklen_t length = sizeof address;
    ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&address), &length);
    return s;
}
} // namespace

std::uint16_t freeLoopbackPort()
{
    sockaddr_in address{};
    boundLoopbackSocket(address); // closed at once: the port is free again
    return ntohs(address.sin_port);
}

std::size_t pushThroughLoopback(std::size_t bytes)
{
    sockaddr_in address{};
    const UniqueFd listener = boundLoopbackSocket(address);
    if (!listener.valid() || ::listen(listener.get(), 1) != 0)
        return 0;
    std::thread sender([&] {
        const UniqueFd s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (::connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const std::vector<char> chunk(65536, 'x');
            for (std::size_t left = bytes; left > 0;) {
                const ssize_t sent =
                    ::send(s.get(), chunk.data(), std::min(left, chunk.size()), MSG_NOSIGNAL);
                if (sent <= 0)
                    break;
                left -= static_cast<std::size_t>(sent);
            }
        }
    });
    std::size_t received = 0;
    const UniqueFd peer(::accept(listener.get(), nullptr, nullptr));
    std::vector<char> buffer(65536);
    for (ssize_t n; peer.valid() && (n = ::recv(peer.get(), buffer.data(), buffer.size(), 0)) > 0;)
        received += static_cast<std::size_t>(n);
    sender.join();
    return received;
}

} // namespace flowloom::testsupport

#include "support/LoopbackTraffic.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace flowloom::testsupport {

namespace {
// A socket bound to 127.0.0.1 on a port the system chooses.
int boundLoopbackSocket(sockaddr_in& address)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return s;
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    return s;
}
} // namespace

std::uint16_t freeLoopbackPort()
{
    sockaddr_in address{};
    const int s = boundLoopbackSocket(address);
    if (s >= 0)
        ::close(s);
    return ntohs(address.sin_port);
}

std::size_t pushThroughLoopback(std::size_t bytes)
{
    sockaddr_in address{};
    const int listener = boundLoopbackSocket(address);
    if (listener < 0 || ::listen(listener, 1) != 0)
        return 0;
    std::thread sender([&] {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const std::vector<char> chunk(65536, 'x');
            for (std::size_t left = bytes; left > 0;) {
                const ssize_t sent =
                    ::send(s, chunk.data(), std::min(left, chunk.size()), MSG_NOSIGNAL);
                if (sent <= 0)
                    break;
                left -= static_cast<std::size_t>(sent);
            }
        }
        ::close(s);
    });
    std::size_t received = 0;
    const int peer = ::accept(listener, nullptr, nullptr);
    std::vector<char> buffer(65536);
    for (ssize_t n; peer >= 0 && (n = ::recv(peer, buffer.data(), buffer.size(), 0)) > 0;)
        received += static_cast<std::size_t>(n);
    sender.join();
    if (peer >= 0)
        ::close(peer);
    ::close(listener);
    return received;
}

} // namespace flowloom::testsupport

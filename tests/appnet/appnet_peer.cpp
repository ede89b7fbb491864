// A program that makes exact TCP and UDP traffic over loopback when told to,
// for the collector's test in a private network namespace.
//   argument: 4 or 6 (the address family of its TCP connections)
//   stdin: "long N"  (one connection that stays open: N bytes each way)
//          "more N"  (N more bytes each way over every long connection)
//          "short M" (a connection that carries M bytes to the listener and closes)
//          "udp K"   (K bytes of UDP datagrams from one socket to another)
//   stdout: "ok" after each, or "failed <what>"
#include "sampling/UniqueFd.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using flowloom::sampling::UniqueFd;

namespace {

int g_family = AF_INET;

sockaddr_storage loopback(std::uint16_t port)
{
    sockaddr_storage address{};
    if (g_family == AF_INET) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        v6->sin6_addr = in6addr_loopback;
    }
    return address;
}

socklen_t lengthOf()
{
    return g_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
}

bool sendAll(int fd, std::size_t count)
{
    const std::vector<char> block(16384, 'x');
    while (count > 0) {
        const ssize_t sent = ::send(fd, block.data(), std::min(count, block.size()), 0);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        count -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool receiveAll(int fd, std::size_t count)
{
    std::vector<char> block(16384);
    while (count > 0) {
        const ssize_t got = ::recv(fd, block.data(), std::min(count, block.size()), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

struct Peer
{
    UniqueFd listener;
    std::uint16_t port = 0;
    std::vector<UniqueFd> open; // the long connections' two ends

    bool listen()
    {
        if (listener.valid())
            return true;
        listener.reset(::socket(g_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_storage address = loopback(0);
        if (!listener.valid() ||
            ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), lengthOf()) != 0 ||
            ::listen(listener.get(), 8) != 0)
            return false;
        socklen_t length = sizeof address;
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(g_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&address)->sin_port
                                         : reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
        return true;
    }

    // A connected pair: the client end, then the server end.
    bool connectPair(UniqueFd& client, UniqueFd& server)
    {
        if (!listen())
            return false;
        client.reset(::socket(g_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const sockaddr_storage address = loopback(port);
        if (!client.valid() ||
            ::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), lengthOf()) != 0)
            return false;
        server.reset(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        return server.valid();
    }

    // Both directions at once would need two threads; the socket buffers on
    // loopback take the bytes of one direction in turns of one block.
    static bool exchange(int client, int server, std::size_t n)
    {
        for (std::size_t done = 0; done < n;) {
            const std::size_t part = std::min<std::size_t>(n - done, 65536);
            if (!sendAll(client, part) || !receiveAll(server, part) || !sendAll(server, part) ||
                !receiveAll(client, part))
                return false;
            done += part;
        }
        return true;
    }

    bool longConnection(std::size_t n)
    {
        UniqueFd client;
        UniqueFd server;
        if (!connectPair(client, server) || !exchange(client.get(), server.get(), n))
            return false;
        open.push_back(std::move(client));
        open.push_back(std::move(server));
        return true;
    }

    bool more(std::size_t n)
    {
        for (std::size_t i = 0; i + 1 < open.size(); i += 2)
            if (!exchange(open[i].get(), open[i + 1].get(), n))
                return false;
        return !open.empty();
    }

    bool shortConnection(std::size_t m)
    {
        UniqueFd client;
        UniqueFd server;
        if (!connectPair(client, server))
            return false;
        for (std::size_t done = 0; done < m;) {
            const std::size_t part = std::min<std::size_t>(m - done, 65536);
            if (!sendAll(client.get(), part) || !receiveAll(server.get(), part))
                return false;
            done += part;
        }
        // The client closes first; the server reads the end and closes too.
        client.close();
        char byte;
        if (::recv(server.get(), &byte, 1, 0) != 0)
            return false;
        return server.close();
    }
};

bool udp(std::size_t k)
{
    const int family = g_family;
    UniqueFd from(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    UniqueFd to(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_storage address = loopback(0);
    if (!from.valid() || !to.valid() ||
        ::bind(to.get(), reinterpret_cast<sockaddr*>(&address), lengthOf()) != 0)
        return false;
    socklen_t length = sizeof address;
    ::getsockname(to.get(), reinterpret_cast<sockaddr*>(&address), &length);
    const std::vector<char> block(1000, 'u');
    std::vector<char> in(2000);
    while (k > 0) {
        const std::size_t part = std::min(k, block.size());
        if (::sendto(from.get(), block.data(), part, 0, reinterpret_cast<sockaddr*>(&address),
                     length) != static_cast<ssize_t>(part) ||
            ::recv(to.get(), in.data(), in.size(), 0) != static_cast<ssize_t>(part))
            return false;
        k -= part;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "6") == 0)
        g_family = AF_INET6;
    Peer peer;
    std::string command;
    std::size_t count = 0;
    while (std::cin >> command >> count) {
        bool ok = false;
        if (command == "long")
            ok = peer.longConnection(count);
        else if (command == "more")
            ok = peer.more(count);
        else if (command == "short")
            ok = peer.shortConnection(count);
        else if (command == "udp")
            ok = udp(count);
        std::printf(ok ? "ok\n" : "failed %s\n", command.c_str());
        std::fflush(stdout);
    }
    return 0;
}

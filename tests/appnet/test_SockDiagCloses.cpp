// The TCP close announcements as SockDiagSource drains them, in a network
// namespace of its own (loopback carries only this test's connections): more
// closes than one batch of datagrams, every one taken once, each with its
// final byte counts.
#include "appnet/SockDiagSource.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using flowloom::appnet::SockDiagSource;
using flowloom::appnet::TcpSocketReading;
using flowloom::sampling::UniqueFd;

namespace {

// Over two batches of 64 datagrams, and one more: three calls' worth.
constexpr std::size_t kConnections = 150;
// Connection i sends kBase + 2 i bytes, so every close has a count of its own:
// the kernel counts a received FIN as one byte more.
constexpr std::size_t kBase = 1000;
constexpr std::size_t bytesOf(std::size_t connection)
{
    return kBase + 2 * connection;
}

UniqueFd listener(std::uint16_t& port)
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (!fd.valid() || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(fd.get(), 256) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return UniqueFd();
    port = ntohs(address.sin_port);
    return fd;
}

// One connection that carries `bytes` from the connecting end, read in full
// by the accepting end; both ends closed.
bool carry(int listening, std::uint16_t port, std::size_t bytes)
{
    UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (!client.valid() ||
        ::connect(client.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return false;
    UniqueFd server(::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC));
    const std::vector<char> payload(bytes, 'x');
    if (!server.valid() || ::send(client.get(), payload.data(), bytes, 0) != ssize_t(bytes))
        return false;
    std::vector<char> into(bytes);
    for (std::size_t read = 0; read < bytes;) {
        const ssize_t got = ::recv(server.get(), into.data() + read, bytes - read, 0);
        if (got <= 0)
            return false;
        read += static_cast<std::size_t>(got);
    }
    return true; // both ends close here
}

// Sockets of socket diagnostics (netlink family 4) in this network namespace
// that belong to some multicast group: the listeners every close is built for.
int closeListeners()
{
    std::ifstream table("/proc/net/netlink");
    std::string line;
    std::getline(table, line); // the heading
    int listeners = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string socket;
        std::string groups;
        int family = -1;
        long owner = 0;
        fields >> socket >> family >> owner >> groups;
        if (family == 4 && groups.find_first_not_of('0') != std::string::npos)
            ++listeners;
    }
    return listeners;
}

// The closes announced within a moment after `count` connections ended.
std::size_t closesOf(SockDiagSource& source, int listening, std::uint16_t port, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (!carry(listening, port, bytesOf(i)))
            return SIZE_MAX;
    std::vector<TcpSocketReading> closed;
    const auto end = std::chrono::steady_clock::now() + 500ms;
    while (closed.size() < 2 * count && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(20ms);
        source.drainClosed(closed);
    }
    return closed.size();
}

} // namespace

TEST(SockDiagCloses, NobodyListensWhileNotFollowingAndNothingOfThatTimeIsRead)
{
    SockDiagSource source;
    ASSERT_TRUE(source.available()) << source.problem();
    std::uint16_t port = 0;
    const UniqueFd listening = listener(port);
    ASSERT_TRUE(listening.valid());
    EXPECT_EQ(closeListeners(), 1);
    ASSERT_EQ(closesOf(source, listening.get(), port, 3), 6u);

    // Closes queued when it stops following are dropped with the listening.
    ASSERT_TRUE(carry(listening.get(), port, bytesOf(0)));
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(source.followCloses(false));
    EXPECT_EQ(closeListeners(), 0);
    EXPECT_EQ(closesOf(source, listening.get(), port, 3), 0u);

    ASSERT_TRUE(source.followCloses(true));
    ASSERT_TRUE(source.followCloses(true)); // once is enough
    EXPECT_EQ(closeListeners(), 1);
    EXPECT_EQ(closesOf(source, listening.get(), port, 2), 4u);
    EXPECT_EQ(source.lostCloses(), 0u);
}

TEST(SockDiagCloses, EveryCloseOfABurstDrainedOnceWithItsCounts)
{
    SockDiagSource source;
    ASSERT_TRUE(source.available()) << source.problem();
    std::vector<TcpSocketReading> closed;
    source.drainClosed(closed);
    closed.clear(); // nothing of this test yet

    std::uint16_t port = 0;
    const UniqueFd listening = listener(port);
    ASSERT_TRUE(listening.valid());
    for (std::size_t i = 0; i < kConnections; ++i)
        ASSERT_TRUE(carry(listening.get(), port, bytesOf(i))) << "connection " << i;

    // The kernel announces closes from a work queue, a moment after the close.
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (closed.size() < 2 * kConnections && std::chrono::steady_clock::now() < end) {
        source.drainClosed(closed);
        std::this_thread::sleep_for(20ms);
    }
    std::this_thread::sleep_for(200ms);
    source.drainClosed(closed); // nothing more may come
    ASSERT_EQ(source.lostCloses(), 0u);
    ASSERT_EQ(closed.size(), 2 * kConnections) << "both ends of every connection, once";

    // The accepting ends, by what they received (the payload, and perhaps the
    // other end's FIN): each count once.
    std::vector<int> seen(kConnections, 0);
    std::size_t sentTotal = 0;
    for (const TcpSocketReading& socket : closed) {
        ASSERT_TRUE(socket.hasInfo);
        sentTotal += socket.bytesSent;
        if (socket.localPort == port) {
            ASSERT_GE(socket.bytesReceived, bytesOf(0));
            ASSERT_LE(socket.bytesReceived, bytesOf(kConnections - 1) + 1);
            ++seen[(socket.bytesReceived - kBase) / 2];
        }
    }
    for (std::size_t i = 0; i < kConnections; ++i)
        EXPECT_EQ(seen[i], 1) << "the accepting end of connection " << i;
    // Only the connecting ends sent payload: the sum of kBase + 2 i over all
    // connections (a FIN is not counted as sent).
    EXPECT_EQ(sentTotal, kConnections * kBase + kConnections * (kConnections - 1));
}

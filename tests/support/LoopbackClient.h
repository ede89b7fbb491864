#pragma once

#include "sampling/UniqueFd.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace flowloom::test {

enum class ConnectMode {
    Wait,   // connect() completes before the constructor returns
    NoWait, // the connection may still be in progress (a client that never speaks)
};

enum class ReadEnd {
    Closed,   // orderly close by the peer
    Reset,    // the peer reset the connection
    TimedOut, // still open when the time ran out
    Failed,   // not connected, or another error
};

struct Received
{
    std::string bytes;
    ReadEnd end = ReadEnd::Failed;
};

// A TCP client on 127.0.0.1 that sends exact bytes and reads until the server
// closes, for testing servers byte by byte. Every wait is bounded.
class LoopbackClient
{
public:
    // from: the loopback address the client sends from (127.0.0.2 ...); empty
    // lets the system choose (127.0.0.1).
    explicit LoopbackClient(std::uint16_t port, ConnectMode mode = ConnectMode::Wait,
                            std::chrono::milliseconds connectLimit = std::chrono::seconds(20),
                            const std::string& from = {});
    LoopbackClient(LoopbackClient&& other) noexcept;
    LoopbackClient& operator=(LoopbackClient&&) = delete;
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool connected() const { return m_connected; }
    // The socket (non-blocking), for a client that waits on many at once.
    int descriptor() const { return m_socket.get(); }
    // For a client made with ConnectMode::NoWait: waits until the connection is
    // established; false if it failed or the limit passed.
    bool waitConnected(std::chrono::milliseconds limit);
    bool send(std::string_view bytes);
    // One attempt without waiting; false if not (yet) connected or not all taken.
    bool trySend(std::string_view bytes);
    // Half-close: the server sees the end of the request stream.
    void finishSending();
    Received readUntilClose(std::chrono::milliseconds limit = std::chrono::seconds(10));

    // Connects, sends, reads until close.
    static Received exchange(std::uint16_t port, std::string_view bytes,
                             std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    sampling::UniqueFd m_socket;
    bool m_connected = false;
};

} // namespace flowloom::test

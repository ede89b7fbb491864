#pragma once

#include "web/http/Limits.h"

#include <chrono>
#include <cstddef>
#include <string>

namespace flowloom::web {

// The server's bounds. The defaults are the layer's limits; tests shorten the
// time-out so that waiting for silent clients stays quick, and narrow the
// shares to reach them with few connections.
struct ServerOptions
{
    std::chrono::milliseconds requestTimeout = limits::kRequestTimeout;
    std::chrono::milliseconds sendTimeout = limits::kSendTimeout;
    std::size_t maxWorkers = limits::kMaxWorkers;
    std::size_t workersPerClient = limits::kWorkersPerClient;
    std::size_t maxOpenConnections = limits::kMaxOpenConnections;
    std::size_t connectionsPerClient = limits::kConnectionsPerClient;
    std::size_t maxEventStreams = limits::kMaxEventStreams;
    std::size_t eventStreamsPerClient = limits::kEventStreamsPerClient;
    // The realm of the Basic challenge that answers credentials in another
    // scheme; the service's own, so that a browser asks for the right ones.
    // Empty: such a request gets 401 without a challenge.
    std::string challengeRealm;
};

} // namespace flowloom::web

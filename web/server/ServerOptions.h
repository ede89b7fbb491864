#pragma once

#include "web/http/Limits.h"

#include <chrono>
#include <cstddef>

namespace flowloom::web {

// The server's bounds. The defaults are the layer's limits; tests shorten the
// time-out so that waiting for silent clients stays quick.
struct ServerOptions
{
    std::chrono::milliseconds requestTimeout = limits::kRequestTimeout;
    std::chrono::milliseconds sendTimeout = limits::kSendTimeout;
    std::size_t maxConnections = limits::kMaxConnections;
};

} // namespace flowloom::web

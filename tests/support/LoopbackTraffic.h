#pragma once

#include <cstddef>
#include <cstdint>

namespace flowloom::testsupport {

// A TCP port on 127.0.0.1 that was free a moment ago.
std::uint16_t freeLoopbackPort();

// Sends `bytes` through a TCP connection on 127.0.0.1 to a reader that takes
// them all; returns how many arrived.
std::size_t pushThroughLoopback(std::size_t bytes);

} // namespace flowloom::testsupport

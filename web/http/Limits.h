#pragma once

#include <chrono>
#include <cstddef>

// Every bound of the HTTP layer in one place, so that the reader, the server and
// their tests agree on them and a reviewer can see the whole resource budget.
namespace flowloom::web::limits {

// Longest request line or header line, counted without its line break.
inline constexpr std::size_t kMaxLineLength = 16384;

// Longest request head (request line, header lines and the empty line that ends
// them, line breaks included). Bodies are counted and discarded, never kept, so
// this also bounds what one connection holds in memory.
inline constexpr std::size_t kMaxHeadLength = 64 * 1024;

// A connection that has not delivered a complete request this long after it was
// accepted is closed without a reply, so silent or slow clients cannot hold a
// worker thread for ever.
inline constexpr std::chrono::seconds kRequestTimeout{10};

// Connections served at once; further ones wait in the listen queue until a slot
// frees. Bounds the worker threads and descriptors one server can use.
inline constexpr std::size_t kMaxConnections = 256;

// Pending connections the kernel keeps for the listening socket.
inline constexpr int kListenQueue = 15;

// The kernel hands a new connection over only once its first bytes have
// arrived, or after about this long, so a worker is woken once per request
// instead of once for the connection and again for its data. The request
// time-out counts from that hand-over.
inline constexpr std::chrono::seconds kDeferAccept{1};

// A reply that makes no progress for this long (peer not reading) is abandoned.
inline constexpr std::chrono::seconds kSendTimeout{10};

// How stopping waits for the workers: checked every step, given up after the limit.
inline constexpr std::chrono::milliseconds kStopPollInterval{250};
inline constexpr std::chrono::milliseconds kStopTimeout{5000};

// Pause before accepting again when the process is out of descriptors.
inline constexpr std::chrono::milliseconds kAcceptBackoff{100};

// An idle pooled worker ends after this long without a connection to serve.
inline constexpr std::chrono::seconds kWorkerIdleTime{30};

} // namespace flowloom::web::limits

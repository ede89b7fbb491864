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

// Requests handled at once: the worker threads one server can run. Only a
// complete request takes a worker for longer than one look at what has
// arrived; connections still sending their head cost a descriptor and their
// parser, nothing more.
inline constexpr std::size_t kMaxWorkers = 256;

// The most workers the requests of one peer address hold at once. Its further
// complete requests wait while other clients' requests are served in turn.
inline constexpr std::size_t kWorkersPerClient = 64;

// Connections held at once, from accept to close (heads being read, requests
// waiting for a worker or being served). Below the usual limit of 1024
// descriptors, so the rest of the program keeps its files.
inline constexpr std::size_t kMaxOpenConnections = 640;

// Connections one peer address may hold. A further one from it replaces its
// oldest connection that has not finished its head (or is refused when it has
// none), so a client crowding the server only crowds out itself.
inline constexpr std::size_t kConnectionsPerClient = 256;

// Event streams (/api/v1/events) held open at once, in all and per peer
// address. A stream is not a connection of the bounds above: once its head is
// answered it leaves the workers and costs a descriptor and a few hundred
// bytes on the streams' own thread. The total is further bounded by the
// descriptors left above the HTTP connections' budget (DescriptorBudget).
inline constexpr std::size_t kMaxEventStreams = 1024;
inline constexpr std::size_t kEventStreamsPerClient = 256;

// Pending connections the kernel keeps for the listening socket. Linux drops
// a connection that finds the queue full without a word, and the client tries
// again only a second later (then three, then seven): on loopback a client
// opens many connections within one system call each, so a queue of 15 turned
// a burst from 64 clients into stalls of a second for hundreds of them. The
// server's own bounds on connections (above) apply once they are accepted.
inline constexpr int kListenQueue = 511;

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

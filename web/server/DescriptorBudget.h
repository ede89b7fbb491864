#pragma once

#include <cstddef>

namespace flowloom::web {

// Descriptors are the event streams' one real cost, and the process's soft
// limit is usually 1024, which the HTTP connections' bounds already fill:
// limits::kMaxOpenConnections connections, one wait set per worker
// (limits::kMaxWorkers) and the program's own files. So the server raises its
// soft limit at start, and the streams get what lies above that budget.
struct DescriptorBudget
{
    // What the HTTP side is sized for (640 + 256 + the program's own, 128).
    static constexpr std::size_t kHttpSide = 1024;
    // The soft limit the server asks for: the HTTP side and 1024 streams, and
    // some to spare. Not the whole hard limit (often a million): the program's
    // children inherit it, and a limit far above 1024 trips any library that
    // still sizes a select() set by it.
    static constexpr std::size_t kWanted = 4096;
    // Streams allowed however low the limit, so that a process that cannot
    // raise a limit of 1024 still serves a few; beyond the budget the server
    // copes with a full table (accept backs off, a stream is refused).
    static constexpr std::size_t kFewestStreams = 64;

    // Raises the soft limit toward min(hard limit, wanted) and returns the soft
    // limit in force afterwards; never lowers it.
    static std::size_t raiseSoftLimit(std::size_t wanted = kWanted);

    // The streams allowed in all under a soft limit, at most `configured`.
    static std::size_t streamsWithin(std::size_t softLimit, std::size_t configured);
};

} // namespace flowloom::web

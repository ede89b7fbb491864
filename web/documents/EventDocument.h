#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace flowloom::web {

// The event stream of the live figures: one event per tick, in the
// text/event-stream format that browsers read with EventSource.
inline constexpr std::string_view kEventsPath = "/api/v1/events";
inline constexpr std::string_view kEventStreamType = "text/event-stream";

// What a stream starts with: the pause a browser waits before it connects
// again after losing the stream, in milliseconds, then a blank line.
inline constexpr std::string_view kEventStreamPrelude = "retry: 2000\n\n";

// One event: "id: <tick>", then the document as "data:" lines (one per line
// of it; a line break that ends the document adds none), then a blank line.
// With no "event:" line a browser delivers it as a "message".
std::string eventText(std::uint64_t tick, std::string_view document);

} // namespace flowloom::web

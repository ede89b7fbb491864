#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace flowloom::web {

// Texts that come from the system (interface names) may hold any bytes;
// Prometheus and JSON parsers take only UTF-8. Each byte that is not part of
// a valid UTF-8 sequence becomes U+FFFD.
std::string validUtf8(std::string_view text);

// A moment (seconds since 1970 UTC) in ISO 8601: "2026-12-08T15:07:28Z".
std::string isoInstant(std::int64_t seconds);

} // namespace flowloom::web

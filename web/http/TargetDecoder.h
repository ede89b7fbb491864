#pragma once

#include <string>
#include <string_view>

namespace flowloom::web {

struct DecodedTarget
{
    std::string query;        // after the first "?", empty if none
    std::string documentPath; // path part without scheme and host, percent-decoded
};

// Splits a request target into query and document path: "*" stays "*"; an
// absolute form loses its scheme, host and port; the rest is percent-decoded.
DecodedTarget decodeTarget(std::string_view target);

// "+" becomes a space and "%hh" the byte hh. A "%" sequence that is not two hex
// digits, or that encodes 0, is dropped whole ("%" plus up to two bytes), so a
// decoded path never holds a NUL that would cut it short further down.
std::string percentDecode(std::string_view text);

} // namespace flowloom::web

// Feeds arbitrary bytes to the request reader in arbitrary pieces, then writes
// a reply built from what it read; checks the reader's promises on the way.
#include "web/http/Limits.h"
#include "web/http/Reply.h"
#include "web/http/RequestParser.h"
#include "web/http/TargetDecoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace flowloom::web;

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

class CountingSink : public flowloom::output::ByteSink
{
public:
    bool write(const std::uint8_t* data, std::size_t size) noexcept override
    {
        written.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    std::string written;
};

void writeReplyFor(const Request& request, bool headOnly)
{
    CountingSink sink;
    Reply reply(sink, headOnly);
    reply.setContentType(request.query());
    reply.setContentText(request.documentPath());
    if (!request.userName().empty()) {
        reply.setRealm(request.userName());
    }
    reply.writeContent();
    const std::string& out = sink.written;
    const std::size_t headEnd = out.find("\r\n\r\n");
    check(headEnd != std::string::npos);
    // Values from the request must never open a header line of their own.
    check(out.find("\r\n\r\n", headEnd + 1) == std::string::npos || !headOnly);
    const std::size_t length = out.find("\r\nContent-Length: ");
    if (length != std::string::npos && length < headEnd && !headOnly) {
        const std::size_t bodySize = out.size() - headEnd - 4;
        check(std::stoull(out.substr(length + 18)) == bodySize);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    // The first byte picks the piece size, as the network might split the bytes.
    const std::size_t piece = data[0] == 0 ? size : data[0];
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

    RequestParser parser;
    ParseStatus status = ParseStatus::NeedsMore;
    while (!input.empty()) {
        const std::string_view chunk = input.substr(0, piece);
        input.remove_prefix(chunk.size());
        const ParseStatus before = status;
        status = parser.feed(chunk);
        // Final states stay final.
        check(before == ParseStatus::NeedsMore || status == before);
    }
    if (status == ParseStatus::NeedsMore) {
        status = parser.finish();
        check(status != ParseStatus::NeedsMore);
    }
    check((status == ParseStatus::Bad) == (parser.error() != ParseError::None));
    if (status != ParseStatus::Complete) {
        return 0;
    }
    const Request& request = parser.request();
    check(request.method().size() <= limits::kMaxLineLength);
    check(request.target().size() <= limits::kMaxLineLength);
    // Decoding never makes a NUL ("%00" is dropped): only raw ones remain.
    const auto nuls = [](const std::string& text) {
        return std::count(text.begin(), text.end(), '\0');
    };
    check(nuls(request.documentPath()) <= nuls(request.target()));
    check(request.documentPath().size() <= request.target().size());
    for (std::size_t i = 0; i < request.headerCount(); ++i) {
        const HeaderField field = request.headerAt(i);
        check(request.header(field.name).has_value());
    }
    check(percentDecode(request.documentPath()).size() <= request.documentPath().size());
    writeReplyFor(request, false);
    writeReplyFor(request, true);
    return 0;
}

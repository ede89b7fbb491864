#pragma once

#include "web/http/Request.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace flowloom::web {

enum class ParseStatus { Complete, NeedsMore, Bad };

enum class ParseError {
    None,
    LineTooLong,
    HeadTooLong,
    Truncated, // the peer closed before the request was complete
};

// Reads one request from bytes as they arrive, in chunks of any size. Only the
// head is kept (at most limits::kMaxHeadLength bytes); body bytes are counted
// and dropped, since no handler uses them. Bytes after a complete request are
// ignored: a connection serves one request.
//
// A request line without a space, or credentials in a scheme other than
// Basic, still make a complete request (its head read to the end, so that the
// answer reaches the client), marked with its fault (Request::fault), which
// the server answers itself. Only what cannot be answered is Bad.
class RequestParser
{
public:
    ParseStatus feed(std::string_view bytes);
    // The peer has closed its sending side: a POST body without a length ends
    // here, anything else still incomplete is bad.
    ParseStatus finish();

    ParseStatus status() const { return m_status; }
    ParseError error() const { return m_error; }
    const Request& request() const { return m_request; }
    Request takeRequest() { return std::move(m_request); }

    static std::string_view errorText(ParseError error);

private:
    enum class Stage { RequestLine, Headers, Body, BodyUntilClose, Done };

    void consumeHead(std::string_view& bytes);
    void acceptLine(std::string_view line);
    void acceptRequestLine(std::string_view line);
    void acceptHeaderLine(std::string_view line);
    void finishHead();
    void consumeBody(std::string_view& bytes);
    void fail(ParseError error);

    Stage m_stage = Stage::RequestLine;
    ParseStatus m_status = ParseStatus::NeedsMore;
    ParseError m_error = ParseError::None;
    std::string m_partialLine;
    std::size_t m_headLength = 0;
    std::uint64_t m_bodyRemaining = 0;
    Request m_request;
};

} // namespace flowloom::web

#include "web/http/RequestParser.h"

#include "web/http/BasicAuth.h"
#include "web/http/Limits.h"
#include "web/http/TargetDecoder.h"

#include "sampling/TextBlanks.h"

#include <algorithm>
#include <optional>

namespace flowloom::web {

namespace {

using sampling::trimBlanks;

std::string upperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

// A plain decimal number that fits in 64 bits; anything else is no number.
std::optional<std::uint64_t> parseLength(std::string_view text)
{
    text = trimBlanks(text);
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

std::string_view RequestParser::errorText(ParseError error)
{
    switch (error) {
    case ParseError::None:
        return {};
    case ParseError::LineTooLong:
        return "Request line or header line too long.";
    case ParseError::HeadTooLong:
        return "Request head too long.";
    case ParseError::Truncated:
        return "Connection closed before the request was complete.";
    }
    return {};
}

ParseStatus RequestParser::feed(std::string_view bytes)
{
    while (m_status == ParseStatus::NeedsMore && !bytes.empty()) {
        switch (m_stage) {
        case Stage::RequestLine:
        case Stage::Headers:
            consumeHead(bytes);
            break;
        case Stage::Body:
        case Stage::BodyUntilClose:
            consumeBody(bytes);
            break;
        case Stage::Done:
            bytes = {};
            break;
        }
    }
    return m_status;
}

ParseStatus RequestParser::finish()
{
    if (m_status != ParseStatus::NeedsMore) {
        return m_status;
    }
    if (m_stage == Stage::BodyUntilClose) {
        m_stage = Stage::Done;
        m_status = ParseStatus::Complete;
    } else {
        fail(ParseError::Truncated);
    }
    return m_status;
}

void RequestParser::consumeHead(std::string_view& bytes)
{
    const std::size_t lf = bytes.find('\n');
    const std::size_t taken = lf == std::string_view::npos ? bytes.size() : lf + 1;
    m_headLength += taken;
    if (m_headLength > limits::kMaxHeadLength) {
        fail(ParseError::HeadTooLong);
        return;
    }
    if (lf == std::string_view::npos) {
        // One more byte than the limit may still be the CR that gets dropped.
        if (m_partialLine.size() + bytes.size() > limits::kMaxLineLength + 1) {
            fail(ParseError::LineTooLong);
            return;
        }
        m_partialLine.append(bytes);
        bytes = {};
        return;
    }
    std::string_view line = bytes.substr(0, lf);
    bytes.remove_prefix(taken);
    if (!m_partialLine.empty()) {
        if (m_partialLine.size() + line.size() > limits::kMaxLineLength + 1) {
            fail(ParseError::LineTooLong);
            return;
        }
        m_partialLine.append(line);
        const std::string whole = std::move(m_partialLine);
        m_partialLine.clear();
        acceptLine(whole);
    } else {
        acceptLine(line);
    }
}

void RequestParser::acceptLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.size() > limits::kMaxLineLength) {
        fail(ParseError::LineTooLong);
        return;
    }
    if (m_stage == Stage::RequestLine) {
        acceptRequestLine(line);
    } else if (line.empty()) {
        finishHead();
    } else {
        acceptHeaderLine(line);
    }
}

void RequestParser::acceptRequestLine(std::string_view line)
{
    const std::size_t lastSpace = line.rfind(' ');
    if (lastSpace == std::string_view::npos) {
        // Answered with 400 once the head is in; no method, target or version.
        m_request.setFault(RequestFault::MalformedRequestLine);
        m_stage = Stage::Headers;
        return;
    }
    m_request.setVersion(std::string(line.substr(lastSpace + 1)));
    const std::string_view front = line.substr(0, lastSpace);
    const std::size_t firstSpace = front.find(' ');
    if (firstSpace == std::string_view::npos) {
        m_request.setMethod(upperAscii(front));
    } else {
        m_request.setMethod(upperAscii(front.substr(0, firstSpace)));
        m_request.setTarget(std::string(front.substr(firstSpace + 1)));
    }
    m_stage = Stage::Headers;
}

void RequestParser::acceptHeaderLine(std::string_view line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        m_request.addHeader(trimBlanks(line), {});
    } else {
        m_request.addHeader(trimBlanks(line.substr(0, colon)), trimBlanks(line.substr(colon + 1)));
    }
}

void RequestParser::finishHead()
{
    DecodedTarget decoded = decodeTarget(m_request.target());
    m_request.setQuery(std::move(decoded.query));
    m_request.setDocumentPath(std::move(decoded.documentPath));

    if (const auto authorization = m_request.header("Authorization")) {
        Credentials credentials = parseAuthorization(*authorization);
        if (credentials.status == AuthorizationStatus::Unsupported &&
            m_request.fault() == RequestFault::None) {
            m_request.setFault(RequestFault::UnsupportedAuthorization);
        }
        // Basic credentials that are not Base64 are wrong credentials: the
        // handler answers them with its challenge, so a browser asks again.
        m_request.setCredentialsMalformed(credentials.status == AuthorizationStatus::Malformed);
        m_request.setCredentials(std::move(credentials.userName), std::move(credentials.password));
    }

    const auto contentLength = m_request.header("Content-Length");
    const std::optional<std::uint64_t> length =
        contentLength ? parseLength(*contentLength) : std::nullopt;
    if (length && *length > 0) {
        m_bodyRemaining = *length;
        m_stage = Stage::Body;
    } else if (!contentLength && m_request.method() == "POST") {
        m_stage = Stage::BodyUntilClose;
    } else {
        m_stage = Stage::Done;
        m_status = ParseStatus::Complete;
    }
}

void RequestParser::consumeBody(std::string_view& bytes)
{
    if (m_stage == Stage::BodyUntilClose) {
        bytes = {};
        return;
    }
    const std::uint64_t taken = std::min<std::uint64_t>(m_bodyRemaining, bytes.size());
    m_bodyRemaining -= taken;
    bytes = {};
    if (m_bodyRemaining == 0) {
        m_stage = Stage::Done;
        m_status = ParseStatus::Complete;
    }
}

void RequestParser::fail(ParseError error)
{
    m_error = error;
    m_status = ParseStatus::Bad;
    m_partialLine.clear();
}

} // namespace flowloom::web

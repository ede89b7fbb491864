#include "web/http/Reply.h"

namespace flowloom::web {

namespace {

// Header values come from the handler; a line break inside one would let it
// forge further headers, so line breaks are never written.
void appendHeaderValue(std::string& out, std::string_view value)
{
    for (char c : value) {
        if (c != '\r' && c != '\n') {
            out.push_back(c);
        }
    }
}

void appendQuoted(std::string& out, std::string_view value)
{
    out.push_back('"');
    for (char c : value) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        if (c != '\r' && c != '\n') {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

} // namespace

Reply::Reply(output::ByteSink& sink, bool headOnly) : m_sink(sink), m_headOnly(headOnly) {}

std::string_view Reply::statusTextFor(int code)
{
    switch (code) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    default:
        return {};
    }
}

std::string Reply::statusPage(int code, std::string_view text)
{
    std::string page = "<HTML><BODY><B>" + std::to_string(code) + " ";
    page += text;
    page += "</B></BODY></HTML>";
    return page;
}

void Reply::addHeader(std::string_view name, std::string_view value)
{
    appendHeaderValue(m_extraHeaders, name);
    m_extraHeaders += ": ";
    appendHeaderValue(m_extraHeaders, value);
    m_extraHeaders += "\r\n";
}

void Reply::setStatusPage(int code)
{
    setStatus(code);
    m_contentText = statusPage(m_statusCode, m_statusText);
}

void Reply::setStatus(int code)
{
    setStatus(code, std::string(statusTextFor(code)));
}

void Reply::setStatus(int code, std::string text)
{
    // The status line carries exactly three digits.
    if (code < 100 || code > 999) {
        throw std::invalid_argument("Invalid status code " + std::to_string(code) + ".");
    }
    m_statusCode = code;
    m_statusText = std::move(text);
}

std::string_view Reply::body() const
{
    if (!m_contentText.empty()) {
        return m_contentText;
    }
    if (m_contentBytes && !m_contentBytes->empty()) {
        return {reinterpret_cast<const char*>(m_contentBytes->data()), m_contentBytes->size()};
    }
    return {};
}

std::string Reply::buildHeader()
{
    if (!m_realm.empty()) {
        setStatus(401);
        if (!hasContent()) {
            m_contentText = statusPage(m_statusCode, m_statusText);
        }
    }
    // Whatever the handler said, a reply with content announces exactly the
    // bytes of that content, so the client neither waits for nor drops bytes.
    std::optional<std::uint64_t> length = m_contentLength;
    if (hasContent()) {
        length = body().size();
    }

    std::string header;
    header.reserve(192 + m_contentType.size() + m_realm.size() + m_extraHeaders.size());
    header += "HTTP/1.1 ";
    header += std::to_string(m_statusCode);
    header += ' ';
    appendHeaderValue(header, m_statusText);
    header += "\r\nConnection: close\r\n";
    if (!m_contentType.empty()) {
        header += "Content-Type: ";
        appendHeaderValue(header, m_contentType);
        header += "\r\n";
    }
    if (length) {
        header += "Content-Length: ";
        header += std::to_string(*length);
        header += "\r\n";
    }
    header += "Server: ";
    header += kServerName;
    header += "\r\n";
    header += m_extraHeaders;
    if (!m_realm.empty()) {
        header += "WWW-Authenticate: Basic realm=";
        appendQuoted(header, m_realm);
        header += "\r\n";
    }
    header += "\r\n";
    return header;
}

void Reply::send(std::string_view bytes)
{
    if (!m_sink.writeText(bytes)) {
        throw ReplyWriteError("Could not send the reply.");
    }
}

void Reply::send(std::string_view first, std::string_view second)
{
    if (!m_sink.writeBoth(first, second)) {
        throw ReplyWriteError("Could not send the reply.");
    }
}

void Reply::writeHeader()
{
    if (m_headerWritten) {
        throw std::logic_error("Header has already been written.");
    }
    const std::string header = buildHeader();
    m_headerWritten = true;
    send(header);
}

void Reply::writeContent()
{
    // The content is dropped after this call also when sending fails.
    struct Release
    {
        Reply& reply;
        ~Release() { reply.releaseContent(); }
    } release{*this};

    if (!m_headerWritten) {
        const std::string header = buildHeader();
        m_headerWritten = true;
        const std::string_view content = m_headOnly ? std::string_view{} : body();
        if (content.empty()) {
            send(header);
        } else {
            send(header, content);
        }
    } else if (!m_headOnly && !body().empty()) {
        send(body());
    }
}

void Reply::releaseContent()
{
    m_contentText.clear();
    m_contentText.shrink_to_fit();
    m_contentBytes.reset();
}

void Reply::resetForFailure(std::string message)
{
    setStatus(500);
    m_realm.clear();
    m_extraHeaders.clear();
    m_contentBytes.reset();
    m_contentLength.reset();
    m_contentText = std::move(message);
}

} // namespace flowloom::web

#pragma once

#include "output/encoders/ByteSink.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace flowloom::web {

// The sink refused bytes: the peer is gone, nothing more can be sent.
class ReplyWriteError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The reply to one request. The handler fills it, or writes it out itself
// through writeHeader()/writeContent(); the server writes whatever is left.
class Reply
{
public:
    static constexpr std::string_view kServerName = "Flowloom/1.0";

    // headOnly: the request was HEAD; headers are those of the same GET, no body.
    Reply(output::ByteSink& sink, bool headOnly);
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;

    int statusCode() const { return m_statusCode; }
    const std::string& statusText() const { return m_statusText; }
    // Sets the code and its text from the table (empty text for other codes).
    void setStatus(int code);
    void setStatus(int code, std::string text);
    static std::string_view statusTextFor(int code);
    // The small page of a reply that has nothing else to say: a bold line
    // reading the status code and text, e.g. "401 Unauthorized".
    static std::string statusPage(int code, std::string_view text);
    // Sets the code, its text and the status page as the content.
    void setStatusPage(int code);

    const std::string& contentType() const { return m_contentType; }
    void setContentType(std::string type) { m_contentType = std::move(type); }

    const std::string& contentText() const { return m_contentText; }
    void setContentText(std::string text) { m_contentText = std::move(text); }

    using Bytes = std::vector<std::uint8_t>;
    // Binary content, or null. The reply keeps its reference until the body is
    // written, so replies to requests that share one encoded image send from
    // the same immutable bytes.
    const std::shared_ptr<const Bytes>& contentBytes() const { return m_contentBytes; }
    void setContentBytes(Bytes bytes)
    {
        m_contentBytes = std::make_shared<const Bytes>(std::move(bytes));
    }
    void shareContentBytes(std::shared_ptr<const Bytes> bytes)
    {
        m_contentBytes = std::move(bytes);
    }

    // A further header line ("Cache-Control", "Retry-After"), written after
    // the usual ones; line breaks in either part are dropped.
    void addHeader(std::string_view name, std::string_view value);

    const std::string& realm() const { return m_realm; }
    void setRealm(std::string realm) { m_realm = std::move(realm); }

    // Used only when the reply has no content of its own, e.g. a handler that
    // streams the body after writing the header. Otherwise the length is always
    // that of the body sent.
    std::optional<std::uint64_t> contentLength() const { return m_contentLength; }
    void setContentLength(std::uint64_t length) { m_contentLength = length; }

    bool closeConnection() const { return true; }
    bool headerWritten() const { return m_headerWritten; }
    bool hasContent() const { return !m_contentText.empty() || m_contentBytes != nullptr; }

    // Status line and headers now. A second call throws std::logic_error
    // ("Header has already been written.").
    void writeHeader();
    // The body now (the header first if not yet written); then the content is
    // dropped. Sink failures throw ReplyWriteError.
    void writeContent();

    // Drops content and realm: a failing handler's reply becomes a plain 500.
    void resetForFailure(std::string message);

private:
    std::string buildHeader();
    void send(std::string_view bytes);
    void send(std::string_view first, std::string_view second);
    std::string_view body() const;
    void releaseContent();

    output::ByteSink& m_sink;
    bool m_headOnly;
    int m_statusCode = 200;
    std::string m_statusText{"OK"};
    std::string m_contentType{"text/html"};
    std::string m_contentText;
    std::shared_ptr<const Bytes> m_contentBytes;
    std::string m_realm;
    std::string m_extraHeaders; // whole lines, CR LF included
    std::optional<std::uint64_t> m_contentLength;
    bool m_headerWritten = false;
};

} // namespace flowloom::web

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flowloom::web {

// What makes a complete request one the server answers itself, without the
// handler.
enum class RequestFault {
    None,
    MalformedRequestLine,     // no space in the request line ("Error in parsing command.")
    UnsupportedAuthorization, // an "Authorization" scheme other than Basic
};

struct HeaderField
{
    std::string_view name;
    std::string_view value;
};

// One request as the handler sees it. All texts are byte strings as received
// (the document path after decoding).
class Request
{
public:
    const std::string& method() const { return m_method; }
    const std::string& target() const { return m_target; }
    const std::string& version() const { return m_version; }
    const std::string& query() const { return m_query; }
    const std::string& documentPath() const { return m_documentPath; }
    const std::string& userName() const { return m_userName; }
    const std::string& password() const { return m_password; }
    const std::string& remoteAddress() const { return m_remoteAddress; }
    // The "Authorization" header said Basic but held no Base64: no user name
    // and password can match it.
    bool credentialsMalformed() const { return m_credentialsMalformed; }
    RequestFault fault() const { return m_fault; }

    // Header lines in arrival order.
    std::size_t headerCount() const { return m_headerSpans.size(); }
    HeaderField headerAt(std::size_t index) const;
    // The first header of that name, compared without regard to ASCII case.
    std::optional<std::string_view> header(std::string_view name) const;

    void setMethod(std::string method) { m_method = std::move(method); }
    void setTarget(std::string target) { m_target = std::move(target); }
    void setVersion(std::string version) { m_version = std::move(version); }
    void setQuery(std::string query) { m_query = std::move(query); }
    void setDocumentPath(std::string path) { m_documentPath = std::move(path); }
    void setCredentials(std::string userName, std::string password);
    void setRemoteAddress(std::string address) { m_remoteAddress = std::move(address); }
    void setCredentialsMalformed(bool malformed) { m_credentialsMalformed = malformed; }
    void setFault(RequestFault fault) { m_fault = fault; }
    void addHeader(std::string_view name, std::string_view value);

private:
    // Headers are packed into one text with offsets: a head full of tiny header
    // lines then costs a few bytes per line instead of two strings each.
    struct HeaderSpan
    {
        std::uint32_t nameOffset;
        std::uint32_t nameLength;
        std::uint32_t valueOffset;
        std::uint32_t valueLength;
    };

    std::string m_method;
    std::string m_target;
    std::string m_version;
    std::string m_query;
    std::string m_documentPath;
    std::string m_userName;
    std::string m_password;
    std::string m_remoteAddress;
    bool m_credentialsMalformed = false;
    RequestFault m_fault = RequestFault::None;
    std::string m_headerText;
    std::vector<HeaderSpan> m_headerSpans;
};

bool equalsIgnoringCase(std::string_view a, std::string_view b);

// The status the server answers a request with itself, without the handler:
// 400 for a request line it cannot read, 501 for a method other than GET,
// HEAD and POST, 401 for credentials in a scheme other than Basic; 0 for a
// request that the handler answers.
int statusWithoutHandler(const Request& request);

} // namespace flowloom::web

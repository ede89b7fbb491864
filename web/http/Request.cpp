#include "web/http/Request.h"

#include <algorithm>
#include <stdexcept>

namespace flowloom::web {

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y);
           });
}

HeaderField Request::headerAt(std::size_t index) const
{
    const HeaderSpan& span = m_headerSpans.at(index);
    const std::string_view text = m_headerText;
    return {text.substr(span.nameOffset, span.nameLength),
            text.substr(span.valueOffset, span.valueLength)};
}

std::optional<std::string_view> Request::header(std::string_view name) const
{
    for (std::size_t i = 0; i < m_headerSpans.size(); ++i) {
        const HeaderField field = headerAt(i);
        if (equalsIgnoringCase(field.name, name)) {
            return field.value;
        }
    }
    return std::nullopt;
}

void Request::setCredentials(std::string userName, std::string password)
{
    m_userName = std::move(userName);
    m_password = std::move(password);
}

void Request::addHeader(std::string_view name, std::string_view value)
{
    // Offsets are 32-bit; the reader's head limit keeps far below that, this
    // guards other callers.
    if (m_headerText.size() + name.size() + value.size() > UINT32_MAX) {
        throw std::length_error("Header text too long.");
    }
    if (m_headerSpans.empty()) {
        // Room for a usual head at once, instead of growing step by step.
        m_headerSpans.reserve(8);
        m_headerText.reserve(160);
    }
    HeaderSpan span{};
    span.nameOffset = static_cast<std::uint32_t>(m_headerText.size());
    span.nameLength = static_cast<std::uint32_t>(name.size());
    m_headerText.append(name);
    span.valueOffset = static_cast<std::uint32_t>(m_headerText.size());
    span.valueLength = static_cast<std::uint32_t>(value.size());
    m_headerText.append(value);
    m_headerSpans.push_back(span);
}

int statusWithoutHandler(const Request& request)
{
    if (request.fault() == RequestFault::MalformedRequestLine) {
        return 400;
    }
    const std::string& method = request.method();
    if (method != "GET" && method != "HEAD" && method != "POST") {
        return 501;
    }
    if (request.fault() == RequestFault::UnsupportedAuthorization) {
        return 401;
    }
    return 0;
}

} // namespace flowloom::web

#include "web/http/BasicAuth.h"

#include "web/http/Request.h"

#include "sampling/TextBlanks.h"

#include <cstdint>

namespace flowloom::web {

namespace {

using sampling::isBlank;
using sampling::trimBlanks;

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

} // namespace

std::optional<std::string> decodeBase64(std::string_view text)
{
    text = trimBlanks(text);
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    std::uint32_t bits = 0;
    int bitCount = 0;
    std::size_t digits = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] != '='; ++i) {
        const int value = base64Value(text[i]);
        if (value < 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        bitCount += 6;
        ++digits;
        if (bitCount >= 8) {
            bitCount -= 8;
            out.push_back(static_cast<char>((bits >> bitCount) & 0xFFu));
        }
    }
    // A single digit in the last group carries fewer than 8 bits: not Base64.
    if (digits % 4 == 1) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    for (; i < text.size(); ++i) {
        if (text[i] != '=' || ++padding > 2) {
            return std::nullopt;
        }
    }
    if (padding != 0 && (digits + padding) % 4 != 0) {
        return std::nullopt;
    }
    return out;
}

Credentials parseAuthorization(std::string_view value)
{
    Credentials credentials;
    value = trimBlanks(value);
    if (value.empty()) {
        return credentials;
    }
    std::size_t end = 0;
    while (end < value.size() && !isBlank(value[end])) {
        ++end;
    }
    if (!equalsIgnoringCase(value.substr(0, end), "Basic")) {
        credentials.status = AuthorizationStatus::Unsupported;
        return credentials;
    }
    const std::optional<std::string> decoded = decodeBase64(value.substr(end));
    if (!decoded) {
        credentials.status = AuthorizationStatus::Malformed;
        return credentials;
    }
    credentials.status = AuthorizationStatus::Basic;
    const std::size_t colon = decoded->find(':');
    if (colon == std::string::npos) {
        credentials.userName = *decoded;
    } else {
        credentials.userName = decoded->substr(0, colon);
        credentials.password = decoded->substr(colon + 1);
    }
    return credentials;
}

} // namespace flowloom::web

#include "web/http/TargetDecoder.h"

#include <algorithm>

namespace flowloom::web {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string_view withoutSchemeAndHost(std::string_view path)
{
    const std::size_t scheme = path.find("://");
    if (scheme == std::string_view::npos) {
        return path;
    }
    const std::size_t slash = path.find('/', scheme + 3);
    return slash == std::string_view::npos ? std::string_view{} : path.substr(slash);
}

} // namespace

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c != '%') {
            out.push_back(c);
        } else {
            const int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            const int value = (high < 0 || low < 0) ? 0 : high * 16 + low;
            if (value != 0) {
                out.push_back(static_cast<char>(static_cast<unsigned char>(value)));
            }
            i += std::min<std::size_t>(2, text.size() - i - 1);
        }
    }
    return out;
}

DecodedTarget decodeTarget(std::string_view target)
{
    DecodedTarget decoded;
    std::string_view path = target;
    const std::size_t question = target.find('?');
    if (question != std::string_view::npos) {
        path = target.substr(0, question);
        decoded.query = std::string(target.substr(question + 1));
    }
    if (target == "*") {
        decoded.documentPath = std::string(target);
        return decoded;
    }
    decoded.documentPath = percentDecode(withoutSchemeAndHost(path));
    return decoded;
}

} // namespace flowloom::web

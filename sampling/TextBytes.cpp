#include "sampling/TextBytes.h"

namespace flowloom::sampling {

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0u) != 0x80u)
                return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
        const char32_t smallest = length == 3 ? 0x800 : length == 4 ? 0x10000 : 0x80;
        if (code < smallest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += length;
    }
    return true;
}

std::string shownText(std::string_view stored)
{
    if (isValidUtf8(stored))
        return std::string(stored);
    std::string shown;
    shown.reserve(stored.size() * 2);
    for (const char c : stored) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            shown.push_back(c);
        } else {
            shown.push_back(static_cast<char>(0xC0u | (byte >> 6)));
            shown.push_back(static_cast<char>(0x80u | (byte & 0x3Fu)));
        }
    }
    return shown;
}

std::string storedText(std::string_view shown, std::string_view original)
{
    if (shown == shownText(original))
        return std::string(original);
    return std::string(shown);
}

} // namespace flowloom::sampling

#include "web/documents/JsonWriter.h"

#include "web/documents/TextForms.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

namespace flowloom::web {

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (const char c : validUtf8(text)) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void JsonWriter::beforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasMember.empty()) {
        if (m_hasMember.back())
            m_text += ',';
        m_hasMember.back() = true;
    }
}

JsonWriter& JsonWriter::beginObject()
{
    beforeValue();
    m_text += '{';
    m_hasMember.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    m_text += '}';
    m_hasMember.pop_back();
    return *this;
}

JsonWriter& JsonWriter::beginArray()
{
    beforeValue();
    m_text += '[';
    m_hasMember.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    m_text += ']';
    m_hasMember.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name)
{
    beforeValue();
    m_text += jsonString(name) + ':';
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text)
{
    beforeValue();
    m_text += jsonString(text);
    return *this;
}

JsonWriter& JsonWriter::value(std::uint64_t number)
{
    beforeValue();
    m_text += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(std::int64_t number)
{
    beforeValue();
    m_text += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(double number)
{
    beforeValue();
    if (!std::isfinite(number)) {
        m_text += "null"; // JSON has no infinities
        return *this;
    }
    // Locale-free and the shortest text that reads back as the same number.
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, number).ptr;
    m_text.append(text, end);
    return *this;
}

JsonWriter& JsonWriter::value(bool on)
{
    beforeValue();
    m_text += on ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null()
{
    beforeValue();
    m_text += "null";
    return *this;
}

std::string JsonWriter::take()
{
    m_hasMember.clear();
    m_afterKey = false;
    return std::exchange(m_text, {});
}

} // namespace flowloom::web

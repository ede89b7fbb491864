#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace flowloom::web {

// Writes one JSON text (RFC 8259), compact, members in the order given.
// Strings are escaped and made valid UTF-8; the caller nests objects and
// arrays properly (a key goes before each member of an object).
class JsonWriter
{
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(std::uint64_t number);
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
    JsonWriter& value(double number);
    JsonWriter& value(bool on);
    JsonWriter& null();

    // The text; the writer is empty afterwards.
    std::string take();

private:
    void beforeValue();

    std::string m_text;
    // Per open object or array: whether it has a member yet.
    std::vector<bool> m_hasMember;
    bool m_afterKey = false;
};

// A JSON string literal of `text`, quotes included.
std::string jsonString(std::string_view text);

} // namespace flowloom::web

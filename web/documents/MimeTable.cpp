#include "web/documents/MimeTable.h"

#include <algorithm>
#include <array>

namespace flowloom::web {

namespace {

struct MimeEntry
{
    std::string_view extension; // lower case, with its "."
    std::string_view type;
};

// Every document the service can publish has one of these extensions, since
// the name rules give each name the extension of what it serves.
constexpr std::array<MimeEntry, 6> kEntries = {{
    {".bmp", "image/bmp"},
    {".csv", "text/csv"}, // the usage history document
    {".gif", "image/gif"},
    {".jpg", "image/jpeg"},
    {".png", "image/x-png"},
    {".txt", "text/plain"},
}};

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(std::string_view text, std::string_view lower)
{
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(),
                      [](char a, char b) { return lowerAscii(a) == b; });
}

} // namespace

std::string_view MimeTable::GetMIMEType(std::string_view document)
{
    const std::size_t dot = document.rfind('.');
    if (dot == std::string_view::npos) {
        return kDefaultType;
    }
    const std::string_view extension = document.substr(dot);
    for (const MimeEntry& entry : kEntries) {
        if (equalIgnoringCase(extension, entry.extension)) {
            return entry.type;
        }
    }
    return kDefaultType;
}

} // namespace flowloom::web

#include "web/documents/EventDocument.h"

namespace flowloom::web {

std::string eventText(std::uint64_t tick, std::string_view document)
{
    if (!document.empty() && document.back() == '\n')
        document.remove_suffix(1);
    if (!document.empty() && document.back() == '\r')
        document.remove_suffix(1);
    std::string text;
    text.reserve(document.size() + 32);
    text += "id: ";
    text += std::to_string(tick);
    text += "\ndata: ";
    // A line break inside would end the field: each line gets a "data:" of its
    // own, which the reader joins again with "\n" (CR LF and lone CR count as
    // one break, as the format says).
    for (std::size_t i = 0; i < document.size(); ++i) {
        const char c = document[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < document.size() && document[i + 1] == '\n')
                ++i;
            text += "\ndata: ";
        } else {
            text += c;
        }
    }
    text += "\n\n";
    return text;
}

} // namespace flowloom::web

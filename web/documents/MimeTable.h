#pragma once

#include <string_view>

namespace flowloom::web {

// Content types of the published documents, chosen by extension.
class MimeTable
{
public:
    static constexpr std::string_view kDefaultType = "application/octet-stream";

    // The extension is the part from the last "." on, compared without regard
    // to case; a path without "." or with an unknown extension gets the
    // default type.
    static std::string_view GetMIMEType(std::string_view document);
};

} // namespace flowloom::web

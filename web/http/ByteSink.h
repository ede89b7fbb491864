#pragma once

#include <string_view>

namespace flowloom::web {

// Where a reply's bytes go: a socket in the server, a string in tests.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    // Writes all bytes; false when they could not all be delivered.
    virtual bool write(std::string_view bytes) = 0;
    // Writes two pieces as one; a socket sends them in one call so that a small
    // reply leaves in one segment.
    virtual bool writeBoth(std::string_view first, std::string_view second)
    {
        return write(first) && write(second);
    }
};

} // namespace flowloom::web

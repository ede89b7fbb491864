#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace flowloom::output {

// The CRC-32 of PNG chunks (reflected polynomial 0xEDB88320, as in zlib).
class Crc32
{
public:
    // Continues a CRC over more bytes; start with 0.
    static std::uint32_t update(std::uint32_t crc, const std::uint8_t* data, std::size_t size);
    static std::uint32_t compute(const std::uint8_t* data, std::size_t size)
    {
        return update(0, data, size);
    }

    // The byte-wise lookup table (exposed so that it can be checked entry by entry).
    static const std::array<std::uint32_t, 256>& table();
};

} // namespace flowloom::output

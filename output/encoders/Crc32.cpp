#include "output/encoders/Crc32.h"

namespace flowloom::output {

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

constexpr std::array<std::uint32_t, 256> makeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) != 0 ? kPolynomial ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTable = makeTable();

} // namespace

std::uint32_t Crc32::update(std::uint32_t crc, const std::uint8_t* data, std::size_t size)
{
    std::uint32_t c = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        c = kTable[(c ^ data[i]) & 0xFFu] ^ (c >> 8);
    return ~c;
}

const std::array<std::uint32_t, 256>& Crc32::table()
{
    return kTable;
}

} // namespace flowloom::output

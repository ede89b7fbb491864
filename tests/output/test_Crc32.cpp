#include "output/encoders/Crc32.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include <zlib.h>

using flowloom::output::Crc32;

namespace {

std::uint32_t bitwiseCrc(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

const std::uint8_t* bytesOf(std::string_view text)
{
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

} // namespace

TEST(Crc32, TableMatchesTheBitwiseDefinition)
{
    const auto& table = Crc32::table();
    for (std::uint32_t n = 0; n < 256; ++n) {
        // The table entry is the register after shifting one byte n through it.
        std::uint32_t crc = n;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        EXPECT_EQ(table[n], crc) << n;
    }
}

TEST(Crc32, KnownValuesChainingAndAgreementWithZlib)
{
    // The standard check value of CRC-32, and the CRC every PNG's IEND chunk ends with.
    EXPECT_EQ(Crc32::compute(bytesOf("123456789"), 9), 0xCBF43926u);
    EXPECT_EQ(Crc32::compute(bytesOf("IEND"), 4), 0xAE426082u);
    EXPECT_EQ(Crc32::compute(nullptr, 0), 0u);

    std::vector<std::uint8_t> data(70000);
    std::uint32_t state = 1;
    for (auto& byte : data) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 16);
    }
    const std::uint32_t whole = Crc32::compute(data.data(), data.size());
    EXPECT_EQ(whole, bitwiseCrc(data.data(), data.size()));
    EXPECT_EQ(whole, ::crc32(0L, data.data(), static_cast<uInt>(data.size())));
    // Continuing over a split gives the CRC of the whole.
    const std::uint32_t first = Crc32::update(0, data.data(), 12345);
    EXPECT_EQ(Crc32::update(first, data.data() + 12345, data.size() - 12345), whole);
}

#pragma once

#include "output/encoders/ByteSink.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace flowloom::output {

// GIF's variable-width LZW. Produces a complete "table-based image data" block:
// the minimum code size byte, the codes packed least significant bit first into
// data sub-blocks of at most 255 bytes, and the zero-length terminator block.
// Codes grow from minCodeSize + 1 to 12 bits; when the 4096-entry table is full
// a clear code starts a new one.
class LzwEncoder
{
public:
    static constexpr int kMaxCodeBits = 12;
    static constexpr std::uint32_t kMaxCodes = 1u << kMaxCodeBits;

    // minCodeSize: bits per pixel index, 2..8. Every symbol must be below 1 << minCodeSize.
    LzwEncoder(ByteSink& sink, int minCodeSize);
    LzwEncoder(const LzwEncoder&) = delete;
    LzwEncoder& operator=(const LzwEncoder&) = delete;

    // Appends symbols; false once the sink refused a write.
    [[nodiscard]] bool encode(const std::uint8_t* symbols, std::size_t count)
    {
        return encodeEach(count, [symbols](std::size_t i) { return symbols[i]; });
    }

    // Appends the symbols symbolAt(0), ..., symbolAt(count - 1). Lets a caller
    // work out each symbol (a palette index) inside the compression loop, where
    // that costs next to nothing: the loop waits on its table lookups anyway.
    template <typename SymbolAt>
    [[nodiscard]] bool encodeEach(std::size_t count, SymbolAt symbolAt);

    // Writes the last code, the end code and the terminator; false when the sink refused.
    [[nodiscard]] bool finish();

private:
    // Slots of the open-addressing table from (prefix code, symbol) to code.
    // Twice the largest number of entries keeps probe runs short, and 32 KiB stays in L1.
    static constexpr std::size_t kHashSlots = 8192;
    static constexpr std::uint32_t kEmptySlot = 0xFFFFFFFFu;

    // Where the search for (prefix, symbol) starts: the prefix code XOR a fixed
    // scramble of the symbol. One XOR on the loop's critical path, and no two
    // prefixes followed by the same symbol ever start at the same slot.
    static std::size_t slotOf(std::uint32_t prefix, std::uint32_t symbol)
    {
        return (prefix ^ kSymbolScramble[symbol]) & (kHashSlots - 1);
    }
    static const std::array<std::uint32_t, 256> kSymbolScramble;

    // The string `key` (prefix << 8 | symbol) is new: emits the prefix's code
    // and enters the string at `slot`, or starts a new table when it is full.
    bool addString(std::uint32_t key, std::size_t slot);
    void resetTable();
    void putCode(std::uint32_t code);
    void putByte(std::uint8_t byte);
    bool flushBlocks();

    ByteSink& m_sink;
    int m_minCodeSize;
    std::uint32_t m_clearCode;
    std::uint32_t m_endCode;
    std::uint32_t m_nextCode = 0;
    int m_codeBits = 0;
    // The code of the string seen so far, or -1 before the first symbol.
    std::int32_t m_prefix = -1;

    // Each slot holds (prefix << 8 | symbol) << 12 | code. The all-ones value
    // cannot be an entry: it would have prefix 4095, and code 4095 is the last
    // one assigned before a clear, so it never becomes a prefix.
    std::vector<std::uint32_t> m_table;

    std::uint64_t m_bitBuffer = 0;
    int m_bitCount = 0;
    std::array<std::uint8_t, 255> m_block{};
    std::size_t m_blockFill = 0;
    // Finished sub-blocks (length byte and data) waiting for the sink.
    std::vector<std::uint8_t> m_out;
    bool m_failed = false;
};

template <typename SymbolAt> bool LzwEncoder::encodeEach(std::size_t count, SymbolAt symbolAt)
{
    if (m_failed)
        return false;
    std::size_t i = 0;
    if (m_prefix < 0) {
        if (count == 0)
            return true;
        m_prefix = static_cast<std::int32_t>(symbolAt(i++));
    }
    // The string's code stays in a register; each symbol costs one probe when
    // the string is known, which is most of the time.
    auto prefix = static_cast<std::uint32_t>(m_prefix);
    const std::uint32_t* const table = m_table.data();
    for (; i < count; ++i) {
        const std::uint32_t symbol = symbolAt(i);
        const std::uint32_t key = (prefix << 8) | symbol;
        std::size_t slot = slotOf(prefix, symbol);
        bool known = false;
        for (;;) {
            const std::uint32_t entry = table[slot];
            // Tested before emptiness: no key equals the empty value's top bits.
            if ((entry >> kMaxCodeBits) == key) {
                prefix = entry & (kMaxCodes - 1);
                known = true;
                break;
            }
            if (entry == kEmptySlot)
                break;
            slot = (slot + 1) & (kHashSlots - 1);
        }
        if (known)
            continue;
        if (!addString(key, slot)) {
            m_prefix = static_cast<std::int32_t>(symbol);
            return false;
        }
        prefix = symbol;
    }
    m_prefix = static_cast<std::int32_t>(prefix);
    return true;
}

} // namespace flowloom::output

#include "output/encoders/LzwEncoder.h"

#include <algorithm>

namespace flowloom::output {

namespace {

// Sub-blocks are handed to the sink once this many bytes are waiting.
constexpr std::size_t kFlushBytes = 16 * 1024;

constexpr std::array<std::uint32_t, 256> makeScramble()
{
    // Fixed pseudo-random values (xorshift32) spread over all slot bits.
    std::array<std::uint32_t, 256> values{};
    std::uint32_t state = 0x2545F491u;
    for (auto& value : values) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        value = state >> 19; // 13 bits
    }
    return values;
}

} // namespace

const std::array<std::uint32_t, 256> LzwEncoder::kSymbolScramble = makeScramble();

LzwEncoder::LzwEncoder(ByteSink& sink, int minCodeSize)
    : m_sink(sink), m_minCodeSize(std::clamp(minCodeSize, 2, 8)), m_clearCode(1u << m_minCodeSize),
      m_endCode(m_clearCode + 1), m_table(kHashSlots)
{
    static_assert(kHashSlots == 8192, "the scramble values have 13 bits");
    m_out.reserve(kFlushBytes + 2 * 256);
    m_out.push_back(static_cast<std::uint8_t>(m_minCodeSize));
    resetTable();
    // A clear code first, as decoders expect.
    putCode(m_clearCode);
}

void LzwEncoder::resetTable()
{
    std::fill(m_table.begin(), m_table.end(), kEmptySlot);
    m_nextCode = m_endCode + 1;
    m_codeBits = m_minCodeSize + 1;
}

void LzwEncoder::putCode(std::uint32_t code)
{
    m_bitBuffer |= static_cast<std::uint64_t>(code) << m_bitCount;
    m_bitCount += m_codeBits;
    while (m_bitCount >= 8) {
        putByte(static_cast<std::uint8_t>(m_bitBuffer));
        m_bitBuffer >>= 8;
        m_bitCount -= 8;
    }
}

void LzwEncoder::putByte(std::uint8_t byte)
{
    m_block[m_blockFill++] = byte;
    if (m_blockFill == m_block.size()) {
        m_out.push_back(static_cast<std::uint8_t>(m_blockFill));
        m_out.insert(m_out.end(), m_block.begin(), m_block.end());
        m_blockFill = 0;
    }
}

bool LzwEncoder::flushBlocks()
{
    if (!m_failed && !m_out.empty() && !m_sink.write(m_out.data(), m_out.size()))
        m_failed = true;
    m_out.clear();
    return !m_failed;
}

bool LzwEncoder::addString(std::uint32_t key, std::size_t slot)
{
    putCode(key >> 8);
    const std::uint32_t assigned = m_nextCode++;
    if (assigned == kMaxCodes - 1) {
        // The table is full: the decoder, one code behind, has 4094 entries
        // and still reads 12 bits, so the clear goes out at this width.
        putCode(m_clearCode);
        resetTable();
    } else {
        m_table[slot] = (key << kMaxCodeBits) | assigned;
        // The decoder widens its codes once it has assigned the last code
        // of the current width, which it does one code after us.
        if (assigned == (1u << m_codeBits) && m_codeBits < kMaxCodeBits)
            ++m_codeBits;
    }
    if (m_out.size() >= kFlushBytes)
        return flushBlocks();
    return true;
}

bool LzwEncoder::finish()
{
    if (m_failed)
        return false;
    if (m_prefix >= 0) {
        putCode(static_cast<std::uint32_t>(m_prefix));
        // The decoder adds an entry for this last code as for any other, and
        // may widen before it reads the end code.
        if (m_nextCode == (1u << m_codeBits) && m_codeBits < kMaxCodeBits)
            ++m_codeBits;
    }
    putCode(m_endCode);
    if (m_bitCount > 0) {
        putByte(static_cast<std::uint8_t>(m_bitBuffer));
        m_bitBuffer = 0;
        m_bitCount = 0;
    }
    if (m_blockFill > 0) {
        m_out.push_back(static_cast<std::uint8_t>(m_blockFill));
        m_out.insert(m_out.end(), m_block.begin(), m_block.begin() + m_blockFill);
        m_blockFill = 0;
    }
    m_out.push_back(0); // terminator block
    return flushBlocks();
}

} // namespace flowloom::output

#include "output/encoders/LzwEncoder.h"
#include "output/encoders/MemorySink.h"

#include "support/FailingSink.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using flowloom::output::LzwEncoder;
using flowloom::output::MemorySink;
using flowloom::test::FailingSink;

namespace {

// What a GIF decoder sees in the block, written from the format's description:
// sub-blocks, codes read least significant bit first, the table one entry
// behind the encoder, and the width growing when the next free code needs it.
struct Trace
{
    std::vector<std::uint8_t> symbols;
    std::vector<std::size_t> blockSizes;
    std::set<int> widths;
    int clears = 0;
    bool startsWithClear = false;
    bool ended = false;
    std::string error;
    std::size_t unusedBytes = 0; // whole data bytes after the end code
};

Trace decodeLzw(const std::vector<std::uint8_t>& block)
{
    Trace trace;
    if (block.empty()) {
        trace.error = "empty";
        return trace;
    }
    const int minCodeSize = block[0];
    std::vector<std::uint8_t> data;
    std::size_t at = 1;
    for (;;) {
        if (at >= block.size()) {
            trace.error = "no terminator block";
            return trace;
        }
        const std::size_t size = block[at++];
        if (size == 0)
            break;
        if (at + size > block.size()) {
            trace.error = "sub-block past the end";
            return trace;
        }
        trace.blockSizes.push_back(size);
        data.insert(data.end(), block.begin() + at, block.begin() + at + size);
        at += size;
    }
    if (at != block.size())
        trace.error = "bytes after the terminator";

    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    std::vector<std::string> table(4096);
    for (int i = 0; i < clear; ++i)
        table[i] = std::string(1, static_cast<char>(i));
    int width = minCodeSize + 1;
    int avail = end + 1;
    int old = -1;
    std::size_t bitPos = 0;
    bool first = true;
    while (trace.error.empty()) {
        if (bitPos + width > data.size() * 8) {
            trace.error = "ran out of codes before the end code";
            break;
        }
        int code = 0;
        for (int i = 0; i < width; ++i, ++bitPos)
            code |= ((data[bitPos / 8] >> (bitPos % 8)) & 1) << i;
        trace.widths.insert(width);
        if (first)
            trace.startsWithClear = code == clear;
        first = false;
        if (code == clear) {
            ++trace.clears;
            width = minCodeSize + 1;
            avail = end + 1;
            old = -1;
            continue;
        }
        if (code == end) {
            trace.ended = true;
            trace.unusedBytes = data.size() - (bitPos + 7) / 8;
            break;
        }
        std::string entry;
        if (old < 0) {
            if (code >= clear) {
                trace.error = "first code after a clear is not a symbol";
                break;
            }
            entry = table[code];
        } else {
            if (code < avail)
                entry = table[code];
            else if (code == avail)
                entry = table[old] + table[old][0];
            else {
                trace.error = "code " + std::to_string(code) + " not yet defined";
                break;
            }
            if (avail < 4096) {
                table[avail++] = table[old] + entry[0];
                if (avail == (1 << width) && width < 12)
                    ++width;
            }
        }
        trace.symbols.insert(trace.symbols.end(), entry.begin(), entry.end());
        old = code;
    }
    return trace;
}

std::vector<std::uint8_t> randomSymbols(std::size_t count, int bits, std::uint32_t seed)
{
    std::vector<std::uint8_t> symbols(count);
    std::uint32_t state = seed;
    for (auto& s : symbols) {
        state = state * 1664525u + 1013904223u;
        s = static_cast<std::uint8_t>((state >> 24) & ((1u << bits) - 1));
    }
    return symbols;
}

std::vector<std::uint8_t> compress(const std::vector<std::uint8_t>& symbols, std::size_t count,
                                   int minCodeSize = 8)
{
    MemorySink sink;
    LzwEncoder lzw(sink, minCodeSize);
    EXPECT_TRUE(lzw.encode(symbols.data(), count));
    EXPECT_TRUE(lzw.finish());
    return sink.bytes();
}

void expectRoundTrip(const std::vector<std::uint8_t>& symbols, std::size_t count,
                     int minCodeSize = 8)
{
    const Trace trace = decodeLzw(compress(symbols, count, minCodeSize));
    ASSERT_EQ(trace.error, "") << "length " << count;
    ASSERT_TRUE(trace.ended);
    ASSERT_TRUE(trace.startsWithClear);
    ASSERT_EQ(trace.unusedBytes, 0u) << "length " << count;
    ASSERT_EQ(trace.symbols.size(), count);
    ASSERT_TRUE(std::equal(trace.symbols.begin(), trace.symbols.end(), symbols.begin()))
        << "length " << count;
}

} // namespace

TEST(LzwEncoder, EveryLengthAcrossWidthChangesAndTheFirstReset)
{
    // Random bytes add about one table entry per symbol, so the prefixes of
    // this sequence end right at each width change (512, 1024, 2048 codes) and
    // at the clear after code 4095, where the last code and the end code must
    // use the width the decoder has reached.
    const std::vector<std::uint8_t> symbols = randomSymbols(4600, 8, 1);
    for (std::size_t count = 0; count <= symbols.size(); ++count)
        expectRoundTrip(symbols, count);
    const Trace trace = decodeLzw(compress(symbols, symbols.size()));
    EXPECT_EQ(trace.widths, (std::set<int>{9, 10, 11, 12}));
    EXPECT_GE(trace.clears, 2); // the leading one and at least one reset
}

TEST(LzwEncoder, LongInputsRunsAndSmallAlphabets)
{
    const std::vector<std::uint8_t> noise = randomSymbols(200000, 8, 2);
    expectRoundTrip(noise, noise.size());
    const Trace trace = decodeLzw(compress(noise, noise.size()));
    // About 3837 new entries per table: some fifty tables.
    EXPECT_GT(trace.clears, 40);
    // Data goes out in full 255-byte sub-blocks, the last one may be shorter.
    ASSERT_FALSE(trace.blockSizes.empty());
    for (std::size_t i = 0; i + 1 < trace.blockSizes.size(); ++i)
        ASSERT_EQ(trace.blockSizes[i], 255u);

    const std::vector<std::uint8_t> run(1000000, 7);
    expectRoundTrip(run, run.size());
    // A run of n symbols needs about sqrt(2n) codes: far fewer bytes than symbols.
    EXPECT_LT(compress(run, run.size()).size(), 4000u);

    const std::vector<std::uint8_t> twoBits = randomSymbols(50000, 2, 3);
    expectRoundTrip(twoBits, twoBits.size(), 2);
    EXPECT_EQ(compress(twoBits, twoBits.size(), 2).front(), 2);

    // Input handed over in pieces gives the same stream as in one go.
    MemorySink pieces;
    LzwEncoder lzw(pieces, 8);
    for (std::size_t at = 0; at < noise.size(); at += 791)
        ASSERT_TRUE(lzw.encode(noise.data() + at, std::min<std::size_t>(791, noise.size() - at)));
    ASSERT_TRUE(lzw.finish());
    EXPECT_EQ(pieces.bytes(), compress(noise, noise.size()));
}

TEST(LzwEncoder, RefusedWritesAreReported)
{
    const std::vector<std::uint8_t> noise = randomSymbols(100000, 8, 4);
    const std::size_t whole = compress(noise, noise.size()).size();
    for (const std::size_t limit : {std::size_t{0}, std::size_t{1000}, whole / 2, whole - 1}) {
        FailingSink sink(limit);
        LzwEncoder lzw(sink, 8);
        const bool encoded = lzw.encode(noise.data(), noise.size());
        const bool finished = lzw.finish();
        EXPECT_FALSE(encoded && finished) << limit;
        EXPECT_FALSE(finished) << limit;
    }
}

#include "output/encoders/GifEncoder.h"

#include "output/encoders/GifPalette.h"
#include "output/encoders/LzwEncoder.h"

#include <array>
#include <new>
#include <vector>

namespace flowloom::output {

namespace {

constexpr int kPaletteEntries = 256;
constexpr std::size_t kMaxDimension = 0xFFFF;

// Per channel value, its level's share of the palette index, so that a pixel
// costs three lookups and two additions.
struct IndexTables
{
    std::array<std::uint8_t, 256> red{};
    std::array<std::uint8_t, 256> green{};
    std::array<std::uint8_t, 256> blue{};
};

constexpr IndexTables makeIndexTables()
{
    IndexTables tables;
    for (int v = 0; v < 256; ++v) {
        const auto value = static_cast<std::uint8_t>(v);
        tables.red[v] = GifPalette::indexOf(value, 0, 0);
        tables.green[v] = GifPalette::indexOf(0, value, 0);
        tables.blue[v] = GifPalette::indexOf(0, 0, value);
    }
    return tables;
}

constexpr IndexTables kIndex = makeIndexTables();

// Palette index of the pixel at `in`, channels at the given byte offsets.
template <std::size_t Red, std::size_t Green, std::size_t Blue>
std::uint8_t indexAt(const std::uint8_t* in)
{
    return static_cast<std::uint8_t>(kIndex.red[in[Red]] + kIndex.green[in[Green]] +
                                     kIndex.blue[in[Blue]]);
}

void putU16(std::vector<std::uint8_t>& out, std::size_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> makeHeader(std::size_t width, std::size_t height)
{
    std::vector<std::uint8_t> out;
    out.reserve(6 + 7 + 3 * kPaletteEntries + 10);
    for (const char c : {'G', 'I', 'F', '8', '9', 'a'})
        out.push_back(static_cast<std::uint8_t>(c));
    // Logical screen: global colour table present, 8 bits of colour resolution,
    // unsorted, 2^(7 + 1) = 256 entries; background index 0; no aspect ratio.
    putU16(out, width);
    putU16(out, height);
    out.push_back(0xF7);
    out.push_back(0);
    out.push_back(0);
    for (int i = 0; i < kPaletteEntries; ++i) {
        const GifPalette::Colour colour = GifPalette::colourAt(i);
        out.push_back(colour.red);
        out.push_back(colour.green);
        out.push_back(colour.blue);
    }
    // Image descriptor: the whole screen, no local table, not interlaced.
    out.push_back(0x2C);
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, width);
    putU16(out, height);
    out.push_back(0);
    return out;
}

} // namespace

EncodeError GifEncoder::encode(const ImageView& image, ByteSink& sink) noexcept
{
    if (!isWellFormed(image))
        return EncodeError::InvalidImage;
    if (image.width > kMaxDimension || image.height > kMaxDimension)
        return EncodeError::ImageTooLarge;

    try {
        const std::vector<std::uint8_t> header = makeHeader(image.width, image.height);
        if (!sink.write(header.data(), header.size()))
            return EncodeError::WriteFailed;

        // Pixels are reduced to palette indices inside the LZW loop, with no index copy.
        LzwEncoder lzw(sink, 8);
        for (std::size_t y = 0; y < image.height; ++y) {
            const std::uint8_t* row = image.row(y);
            const bool encoded =
                image.format == PixelFormat::Bgrx32
                    ? lzw.encodeEach(image.width,
                                     [row](std::size_t x) { return indexAt<2, 1, 0>(row + 4 * x); })
                    : lzw.encodeEach(image.width, [row](std::size_t x) {
                          return indexAt<0, 1, 2>(row + 3 * x);
                      });
            if (!encoded)
                return EncodeError::WriteFailed;
        }
        if (!lzw.finish())
            return EncodeError::WriteFailed;

        constexpr std::uint8_t kTrailer = 0x3B;
        if (!sink.write(&kTrailer, 1))
            return EncodeError::WriteFailed;
    } catch (const std::bad_alloc&) {
        return EncodeError::OutOfMemory;
    }
    return EncodeError::Ok;
}

} // namespace flowloom::output

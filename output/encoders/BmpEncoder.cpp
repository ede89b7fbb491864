#include "output/encoders/BmpEncoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace flowloom::output {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kHeaderSize = kFileHeaderSize + kInfoHeaderSize;
// 96 dots per inch, the screen resolution a snapshot is drawn at.
constexpr std::uint32_t kPixelsPerMetre = 3780;
// Rows are handed to the sink in batches of about this size.
constexpr std::size_t kBatchBytes = 64 * 1024;

void putU16(std::uint8_t* out, std::uint16_t value)
{
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

void putU32(std::uint8_t* out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// One row as B, G, R triples. The output needs one byte of slack after the
// row: each pixel is stored as four bytes whose last one the next pixel overwrites.
void convertRow(const std::uint8_t* in, std::size_t width, PixelFormat format, std::uint8_t* out)
{
    if (format == PixelFormat::Bgrx32) {
        for (std::size_t x = 0; x < width; ++x)
            std::memcpy(out + 3 * x, in + 4 * x, 4);
        return;
    }
    for (std::size_t x = 0; x < width; ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
    }
}

} // namespace

EncodeError BmpEncoder::encode(const ImageView& image, ByteSink& sink) noexcept
{
    if (!isWellFormed(image))
        return EncodeError::InvalidImage;
    constexpr auto kMaxDimension =
        static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (image.width > kMaxDimension || image.height > kMaxDimension)
        return EncodeError::ImageTooLarge;

    // Each row holds 3 bytes per pixel, padded to a multiple of 4.
    const auto pixelBytes = checkedMultiply(image.width, 3);
    const auto paddedRow = pixelBytes ? checkedAdd(*pixelBytes, 3) : std::nullopt;
    if (!paddedRow)
        return EncodeError::ImageTooLarge;
    const std::size_t rowSize = *paddedRow & ~std::size_t{3};
    const auto imageSize = checkedMultiply(rowSize, image.height);
    const auto fileSize = imageSize ? checkedAdd(*imageSize, kHeaderSize) : std::nullopt;
    if (!fileSize || *fileSize > std::numeric_limits<std::uint32_t>::max())
        return EncodeError::ImageTooLarge;

    std::array<std::uint8_t, kHeaderSize> header{};
    header[0] = 'B';
    header[1] = 'M';
    putU32(&header[2], static_cast<std::uint32_t>(*fileSize));
    putU32(&header[10], static_cast<std::uint32_t>(kHeaderSize));
    std::uint8_t* info = &header[kFileHeaderSize];
    putU32(info, static_cast<std::uint32_t>(kInfoHeaderSize));
    putU32(info + 4, static_cast<std::uint32_t>(image.width));
    // A positive height: rows are stored bottom-up.
    putU32(info + 8, static_cast<std::uint32_t>(image.height));
    putU16(info + 12, 1);  // planes
    putU16(info + 14, 24); // bits per pixel
    putU32(info + 16, 0);  // BI_RGB, uncompressed
    putU32(info + 20, static_cast<std::uint32_t>(*imageSize));
    putU32(info + 24, kPixelsPerMetre);
    putU32(info + 28, kPixelsPerMetre);

    try {
        const std::size_t rowsPerBatch = std::max<std::size_t>(1, kBatchBytes / rowSize);
        const std::size_t batchRows = std::min(rowsPerBatch, image.height);
        // Zero-filled, so the row padding is written as zeros; +1 for convertRow's slack.
        std::vector<std::uint8_t> batch(batchRows * rowSize + 1, 0);

        sink.expectTotalSize(*fileSize);
        if (!sink.write(header.data(), header.size()))
            return EncodeError::WriteFailed;

        std::size_t rowsLeft = image.height;
        while (rowsLeft > 0) {
            const std::size_t count = std::min(batchRows, rowsLeft);
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t y = rowsLeft - 1 - i;
                convertRow(image.row(y), image.width, image.format, batch.data() + i * rowSize);
                // The slack byte of the row's last pixel landed in the padding.
                std::fill(batch.data() + i * rowSize + *pixelBytes,
                          batch.data() + (i + 1) * rowSize, std::uint8_t{0});
            }
            if (!sink.write(batch.data(), count * rowSize))
                return EncodeError::WriteFailed;
            rowsLeft -= count;
        }
    } catch (const std::bad_alloc&) {
        return EncodeError::OutOfMemory;
    }
    return EncodeError::Ok;
}

} // namespace flowloom::output

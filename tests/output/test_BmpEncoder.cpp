#include "output/encoders/BmpEncoder.h"
#include "output/encoders/MemorySink.h"

#include "TestImages.h"
#include "support/FailingSink.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

using flowloom::output::BmpEncoder;
using flowloom::output::EncodeError;
using flowloom::output::ImageView;
using flowloom::output::MemorySink;
using flowloom::output::PixelFormat;
using flowloom::test::FailingSink;
using flowloom::test::Rgb;
using flowloom::test::TestImage;

namespace {

// A small reader of the one kind of bitmap expected: BITMAPINFOHEADER, 24 bits, BI_RGB.
struct ParsedBmp
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Rgb> pixels; // top row first
};

std::uint32_t readU32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

std::uint16_t readU16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::optional<ParsedBmp> parseBmp(const std::vector<std::uint8_t>& b)
{
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M')
        return std::nullopt;
    ParsedBmp bmp;
    bmp.width = static_cast<std::int32_t>(readU32(b, 18));
    bmp.height = static_cast<std::int32_t>(readU32(b, 22));
    const std::size_t offset = readU32(b, 10);
    // Rows of 24 bits per pixel rounded up to whole 32-bit words.
    const std::size_t rowSize = (24 * static_cast<std::size_t>(bmp.width) + 31) / 32 * 4;
    EXPECT_EQ(readU32(b, 2), b.size());
    EXPECT_EQ(offset, 54u);
    EXPECT_EQ(readU32(b, 14), 40u);
    EXPECT_EQ(readU16(b, 26), 1);
    EXPECT_EQ(readU16(b, 28), 24);
    EXPECT_EQ(readU32(b, 30), 0u);
    EXPECT_EQ(readU32(b, 34), rowSize * bmp.height);
    if (bmp.width <= 0 || bmp.height <= 0 || b.size() != offset + rowSize * bmp.height)
        return std::nullopt;
    for (std::int32_t y = 0; y < bmp.height; ++y) {
        // A positive height means the last row is stored first.
        const std::size_t row = offset + rowSize * static_cast<std::size_t>(bmp.height - 1 - y);
        for (std::int32_t x = 0; x < bmp.width; ++x) {
            const std::size_t p = row + 3 * static_cast<std::size_t>(x);
            bmp.pixels.push_back(Rgb{b[p + 2], b[p + 1], b[p]});
        }
        for (std::size_t pad = row + 3 * bmp.width; pad < row + rowSize; ++pad)
            EXPECT_EQ(b[pad], 0) << "padding of row " << y;
    }
    return bmp;
}

std::vector<std::uint8_t> encodeBmp(const TestImage& image)
{
    MemorySink sink;
    EXPECT_EQ(BmpEncoder::encode(image.view(), sink), EncodeError::Ok);
    return sink.bytes();
}

} // namespace

TEST(BmpEncoder, RoundTripOfBothLayoutsAndOddWidths)
{
    const TestImage letter = flowloom::test::letterF(PixelFormat::Bgrx32);
    for (const TestImage& image :
         {letter, letter.copyAs(PixelFormat::Rgb24, 5), letter.copyAs(PixelFormat::Bgrx32, 8),
          flowloom::test::noise(7, 3, PixelFormat::Bgrx32),
          flowloom::test::noise(33, 9, PixelFormat::Rgb24, 99)}) {
        const std::vector<std::uint8_t> bytes = encodeBmp(image);
        const auto bmp = parseBmp(bytes);
        ASSERT_TRUE(bmp);
        ASSERT_EQ(bmp->width, static_cast<std::int32_t>(image.width()));
        ASSERT_EQ(bmp->height, static_cast<std::int32_t>(image.height()));
        for (std::size_t y = 0; y < image.height(); ++y)
            for (std::size_t x = 0; x < image.width(); ++x)
                ASSERT_EQ(bmp->pixels[y * image.width() + x], image.at(x, y)) << x << "," << y;
    }
    // 6 pixels × 3 bytes = 18, padded to 20; five rows after the 54 header bytes.
    EXPECT_EQ(encodeBmp(letter).size(), 54u + 20u * 5u);
}

TEST(BmpEncoder, ReportsEveryRefusedWrite)
{
    const TestImage image = flowloom::test::letterF(PixelFormat::Bgrx32);
    const std::size_t total = 54 + 20 * 5;
    for (std::size_t limit = 0; limit < total; ++limit) {
        FailingSink sink(limit);
        EXPECT_EQ(BmpEncoder::encode(image.view(), sink), EncodeError::WriteFailed) << limit;
    }
    FailingSink enough(total);
    EXPECT_EQ(BmpEncoder::encode(image.view(), enough), EncodeError::Ok);
    EXPECT_EQ(enough.bytes().size(), total);
}

TEST(BmpEncoder, RejectsViewsItCannotWrite)
{
    const TestImage image = flowloom::test::letterF(PixelFormat::Bgrx32);
    MemorySink sink;
    ImageView view = image.view();
    view.data = nullptr;
    EXPECT_EQ(BmpEncoder::encode(view, sink), EncodeError::InvalidImage);
    view = image.view();
    view.width = 0;
    EXPECT_EQ(BmpEncoder::encode(view, sink), EncodeError::InvalidImage);
    view = image.view();
    view.stride = 6 * 4 - 1; // rows narrower than their pixels
    EXPECT_EQ(BmpEncoder::encode(view, sink), EncodeError::InvalidImage);
    // Rows whose addresses would wrap around.
    view = image.view();
    view.width = 1;
    view.height = std::numeric_limits<std::size_t>::max() / 2;
    view.stride = 4;
    EXPECT_EQ(BmpEncoder::encode(view, sink), EncodeError::InvalidImage);
    // Never read: rejected on its dimensions. 2^31 pixels do not fit a BMP's signed width.
    view = image.view();
    view.width = std::size_t{1} << 31;
    view.height = 1;
    view.stride = view.width * 4;
    EXPECT_EQ(BmpEncoder::encode(view, sink), EncodeError::ImageTooLarge);
    // 40000 × 40000 × 3 bytes pass 4 GiB, beyond a BMP's 32-bit file size.
    view.width = 40000;
    view.height = 40000;
    view.stride = 40000 * 4;
    EXPECT_EQ(BmpEncoder::encode(view, sink), EncodeError::ImageTooLarge);
    EXPECT_TRUE(sink.bytes().empty());
}

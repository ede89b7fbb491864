#include "output/encoders/MemorySink.h"
#include "output/encoders/PngEncoder.h"

#include "TestImages.h"
#include "support/FailingSink.h"

#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

using flowloom::output::EncodeError;
using flowloom::output::ImageView;
using flowloom::output::MemorySink;
using flowloom::output::PixelFormat;
using flowloom::output::PngEncoder;
using flowloom::test::FailingSink;
using flowloom::test::Rgb;
using flowloom::test::TestImage;

namespace {

struct Chunk
{
    std::string type;
    std::vector<std::uint8_t> data;
    bool crcValid = false;
};

std::uint32_t readU32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The chunk sequence after the signature; CRCs checked with zlib's crc32.
std::vector<Chunk> chunksOf(const std::vector<std::uint8_t>& png)
{
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<Chunk> chunks;
    if (png.size() < 8 || !std::equal(kSignature, kSignature + 8, png.begin())) {
        ADD_FAILURE() << "no PNG signature";
        return chunks;
    }
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const std::size_t length = readU32(&png[at]);
        if (at + 12 + length > png.size()) {
            ADD_FAILURE() << "chunk past the end";
            break;
        }
        Chunk chunk;
        chunk.type.assign(png.begin() + at + 4, png.begin() + at + 8);
        chunk.data.assign(png.begin() + at + 8, png.begin() + at + 8 + length);
        const auto crc = ::crc32(0L, &png[at + 4], static_cast<uInt>(4 + length));
        chunk.crcValid = crc == readU32(&png[at + 8 + length]);
        chunks.push_back(std::move(chunk));
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size()) << "bytes after the last chunk";
    return chunks;
}

std::vector<std::uint8_t> encodePng(const ImageView& view)
{
    MemorySink sink;
    EXPECT_EQ(PngEncoder::encode(view, sink), EncodeError::Ok);
    return sink.bytes();
}

// Decodes with libpng's simplified reader into RGB triples.
std::vector<Rgb> decodeWithLibpng(const std::vector<std::uint8_t>& bytes, std::size_t& width,
                                  std::size_t& height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        ADD_FAILURE() << "libpng: " << image.message;
        return {};
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<std::uint8_t> buffer(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) {
        ADD_FAILURE() << "libpng: " << image.message;
        png_image_free(&image);
        return {};
    }
    width = image.width;
    height = image.height;
    std::vector<Rgb> pixels;
    for (std::size_t i = 0; i + 2 < buffer.size(); i += 3)
        pixels.push_back(Rgb{buffer[i], buffer[i + 1], buffer[i + 2]});
    return pixels;
}

// The Sub-filtered scanlines of an image, from the PNG format's definition.
std::vector<std::uint8_t> subFiltered(const TestImage& image)
{
    std::vector<std::uint8_t> rows;
    for (std::size_t y = 0; y < image.height(); ++y) {
        rows.push_back(1);
        for (std::size_t x = 0; x < image.width(); ++x) {
            const Rgb p = image.at(x, y);
            const Rgb left = x > 0 ? image.at(x - 1, y) : Rgb{};
            rows.push_back(static_cast<std::uint8_t>(p.r - left.r));
            rows.push_back(static_cast<std::uint8_t>(p.g - left.g));
            rows.push_back(static_cast<std::uint8_t>(p.b - left.b));
        }
    }
    return rows;
}

void expectRoundTrip(const TestImage& image)
{
    const std::vector<std::uint8_t> bytes = encodePng(image.view());
    std::size_t width = 0;
    std::size_t height = 0;
    const std::vector<Rgb> pixels = decodeWithLibpng(bytes, width, height);
    ASSERT_EQ(width, image.width());
    ASSERT_EQ(height, image.height());
    for (std::size_t y = 0; y < height; ++y)
        for (std::size_t x = 0; x < width; ++x)
            ASSERT_EQ(pixels[y * width + x], image.at(x, y)) << x << "," << y;
}

} // namespace

TEST(PngEncoder, LibpngReadsBackTheExactPixels)
{
    const TestImage letter = flowloom::test::letterF(PixelFormat::Bgrx32);
    expectRoundTrip(letter);
    expectRoundTrip(letter.copyAs(PixelFormat::Rgb24, 2));
    expectRoundTrip(letter.copyAs(PixelFormat::Bgrx32, 12));
    expectRoundTrip(flowloom::test::noise(300, 300, PixelFormat::Bgrx32));
    // Widths around every multiple of four pixels, in both layouts.
    for (std::size_t width = 1; width <= 13; ++width) {
        const TestImage image = flowloom::test::noise(width, 3, PixelFormat::Bgrx32, 40 + width);
        expectRoundTrip(image);
        EXPECT_EQ(encodePng(image.view()), encodePng(image.copyAs(PixelFormat::Rgb24).view()));
    }
    EXPECT_EQ(encodePng(letter.view()), encodePng(letter.copyAs(PixelFormat::Rgb24, 2).view()));
}

TEST(PngEncoder, ChunksHeaderFiltersAndCompression)
{
    // 300 × 300 noise: 270 300 bytes of scanlines that barely compress, so the
    // zlib stream needs at least five IDAT chunks of at most 65535 bytes.
    const TestImage image = flowloom::test::noise(300, 300, PixelFormat::Bgrx32);
    const std::vector<Chunk> chunks = chunksOf(encodePng(image.view()));
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.back().type, "IEND");
    EXPECT_TRUE(chunks.back().data.empty());
    std::vector<std::uint8_t> zlibStream;
    for (std::size_t i = 1; i + 1 < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].type, "IDAT") << i;
        EXPECT_LE(chunks[i].data.size(), 65535u) << i;
        EXPECT_FALSE(chunks[i].data.empty()) << i;
        zlibStream.insert(zlibStream.end(), chunks[i].data.begin(), chunks[i].data.end());
    }
    EXPECT_GE(chunks.size() - 2, 5u);
    for (const Chunk& chunk : chunks)
        EXPECT_TRUE(chunk.crcValid) << chunk.type;

    const std::vector<std::uint8_t>& ihdr = chunks.front().data;
    ASSERT_EQ(ihdr.size(), 13u);
    EXPECT_EQ(readU32(&ihdr[0]), 300u);
    EXPECT_EQ(readU32(&ihdr[4]), 300u);
    EXPECT_EQ(ihdr[8], 8);  // bits per channel
    EXPECT_EQ(ihdr[9], 2);  // truecolour, no alpha
    EXPECT_EQ(ihdr[10], 0); // deflate
    EXPECT_EQ(ihdr[11], 0); // adaptive filtering
    EXPECT_EQ(ihdr[12], 0); // not interlaced

    // zlib's header records the level class: 3 for levels 7 to 9.
    ASSERT_GE(zlibStream.size(), 2u);
    EXPECT_EQ(zlibStream[1] >> 6, 3);

    // Every scanline starts with filter type 1 (Sub) and holds exactly the Sub-filtered bytes.
    const std::vector<std::uint8_t> expected = subFiltered(image);
    std::vector<std::uint8_t> raw(expected.size() + 1);
    uLongf rawSize = static_cast<uLongf>(raw.size());
    ASSERT_EQ(::uncompress(raw.data(), &rawSize, zlibStream.data(),
                           static_cast<uLong>(zlibStream.size())),
              Z_OK);
    raw.resize(rawSize);
    ASSERT_EQ(raw.size(), 300u * (1 + 3 * 300));
    for (std::size_t y = 0; y < 300; ++y)
        ASSERT_EQ(raw[y * (1 + 3 * 300)], 1) << "row " << y;
    EXPECT_EQ(raw, expected);

    // And it is zlib's level-7 deflate of those bytes, nothing else.
    std::vector<std::uint8_t> level7(compressBound(static_cast<uLong>(expected.size())));
    uLongf level7Size = static_cast<uLongf>(level7.size());
    ASSERT_EQ(::compress2(level7.data(), &level7Size, expected.data(),
                          static_cast<uLong>(expected.size()), 7),
              Z_OK);
    level7.resize(level7Size);
    EXPECT_EQ(zlibStream, level7);
}

TEST(PngEncoder, ReportsRefusedWritesAndUnwritableImages)
{
    const TestImage image = flowloom::test::noise(200, 200, PixelFormat::Bgrx32);
    const std::vector<std::uint8_t> whole = encodePng(image.view());
    for (std::size_t limit = 0; limit < whole.size(); limit += 4099) {
        FailingSink sink(limit);
        EXPECT_EQ(PngEncoder::encode(image.view(), sink), EncodeError::WriteFailed) << limit;
    }
    for (const std::size_t limit :
         {std::size_t{8}, std::size_t{33}, whole.size() - 12, whole.size() - 1}) {
        FailingSink sink(limit);
        EXPECT_EQ(PngEncoder::encode(image.view(), sink), EncodeError::WriteFailed) << limit;
    }
    FailingSink enough(whole.size());
    EXPECT_EQ(PngEncoder::encode(image.view(), enough), EncodeError::Ok);
    EXPECT_EQ(enough.bytes(), whole);

    MemorySink sink;
    ImageView view = image.view();
    view.width = std::size_t{1} << 31; // beyond PNG's 31-bit dimensions; never read
    view.height = 1;
    view.stride = view.width * 4;
    EXPECT_EQ(PngEncoder::encode(view, sink), EncodeError::ImageTooLarge);
    view = image.view();
    view.stride = 3;
    EXPECT_EQ(PngEncoder::encode(view, sink), EncodeError::InvalidImage);
    EXPECT_TRUE(sink.bytes().empty());
}

#include "output/encoders/GifEncoder.h"
#include "output/encoders/Grayscale.h"
#include "output/encoders/MemorySink.h"

#include "TestImages.h"
#include "support/FailingSink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include <gif_lib.h>

using flowloom::output::EncodeError;
using flowloom::output::GifEncoder;
using flowloom::output::ImageView;
using flowloom::output::MemorySink;
using flowloom::output::PixelFormat;
using flowloom::test::FailingSink;
using flowloom::test::Rgb;
using flowloom::test::TestImage;

namespace {

struct Reader
{
    const std::vector<std::uint8_t>* bytes;
    std::size_t at = 0;
};

int readFromMemory(GifFileType* gif, GifByteType* out, int wanted)
{
    auto* reader = static_cast<Reader*>(gif->UserData);
    const std::size_t left = reader->bytes->size() - reader->at;
    const std::size_t count = std::min(left, static_cast<std::size_t>(wanted));
    std::memcpy(out, reader->bytes->data() + reader->at, count);
    reader->at += count;
    return static_cast<int>(count);
}

struct DecodedGif
{
    int width = 0;
    int height = 0;
    int imageCount = 0;
    std::vector<Rgb> palette;
    std::vector<Rgb> pixels; // through the palette
};

// Decodes with giflib.
DecodedGif decode(const std::vector<std::uint8_t>& bytes)
{
    DecodedGif out;
    Reader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, readFromMemory, &error);
    if (gif == nullptr) {
        ADD_FAILURE() << "giflib: " << GifErrorString(error);
        return out;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << "giflib: " << GifErrorString(gif->Error);
    } else {
        out.width = gif->SWidth;
        out.height = gif->SHeight;
        out.imageCount = gif->ImageCount;
        const ColorMapObject* map = gif->SColorMap;
        for (int i = 0; map != nullptr && i < map->ColorCount; ++i)
            out.palette.push_back(
                Rgb{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
        if (gif->ImageCount > 0 && map != nullptr) {
            const SavedImage& image = gif->SavedImages[0];
            const std::size_t count =
                static_cast<std::size_t>(image.ImageDesc.Width) * image.ImageDesc.Height;
            for (std::size_t i = 0; i < count; ++i)
                out.pixels.push_back(out.palette.at(image.RasterBits[i]));
        }
    }
    DGifCloseFile(gif, &error);
    return out;
}

// The cube's value for a channel: level L covers 51L - 3 .. 51L + 47.
std::uint8_t cubeValue(std::uint8_t v)
{
    int level = 0;
    while (level < 5 && v >= 51 * (level + 1) - 3)
        ++level;
    return static_cast<std::uint8_t>(51 * level);
}

Rgb cubeColour(Rgb c)
{
    return {cubeValue(c.r), cubeValue(c.g), cubeValue(c.b)};
}

std::vector<std::uint8_t> encodeGif(const ImageView& view)
{
    MemorySink sink;
    EXPECT_EQ(GifEncoder::encode(view, sink), EncodeError::Ok);
    return sink.bytes();
}

void expectQuantisedRoundTrip(const TestImage& image)
{
    const std::vector<std::uint8_t> bytes = encodeGif(image.view());
    const DecodedGif gif = decode(bytes);
    ASSERT_EQ(gif.width, static_cast<int>(image.width()));
    ASSERT_EQ(gif.height, static_cast<int>(image.height()));
    ASSERT_EQ(gif.pixels.size(), image.width() * image.height());
    int wrong = 0;
    for (std::size_t y = 0; y < image.height(); ++y)
        for (std::size_t x = 0; x < image.width(); ++x)
            if (gif.pixels[y * image.width() + x] != cubeColour(image.at(x, y)))
                ++wrong;
    EXPECT_EQ(wrong, 0);
}

} // namespace

TEST(GifEncoder, OneImageWithTheCubePaletteInIndexOrder)
{
    const TestImage image = flowloom::test::letterF(PixelFormat::Bgrx32);
    const std::vector<std::uint8_t> bytes = encodeGif(image.view());
    ASSERT_GE(bytes.size(), 13u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
    EXPECT_EQ(bytes.back(), 0x3B);
    const DecodedGif gif = decode(bytes);
    EXPECT_EQ(gif.imageCount, 1);
    ASSERT_EQ(gif.palette.size(), 256u);
    for (int i = 0; i < 216; ++i) {
        const Rgb want{static_cast<std::uint8_t>(i / 36 * 51),
                       static_cast<std::uint8_t>(i / 6 % 6 * 51),
                       static_cast<std::uint8_t>(i % 6 * 51)};
        EXPECT_EQ(gif.palette[i], want) << i;
    }
}

TEST(GifEncoder, PixelsComeBackAsTheirCubeColours)
{
    const TestImage letter = flowloom::test::letterF(PixelFormat::Bgrx32);
    expectQuantisedRoundTrip(letter);
    expectQuantisedRoundTrip(letter.copyAs(PixelFormat::Rgb24, 7));
    // The F's pixels by hand: (255, 10, 30) → (255, 0, 0); the corner
    // (128, 64, 32) → (102, 51, 0); the ground (250, 240, 20) → (204, 204, 0),
    // since 250 is below 252, where level 5 begins.
    const DecodedGif gif = decode(encodeGif(letter.view()));
    ASSERT_EQ(gif.pixels.size(), 30u);
    EXPECT_EQ(gif.pixels[0], (Rgb{255, 0, 0}));
    EXPECT_EQ(gif.pixels[29], (Rgb{102, 51, 0}));
    EXPECT_EQ(gif.pixels[5], (Rgb{204, 204, 0}));
    // Every channel value once, on one row: the levels 25 → 0, 47 → 0, 48 → 51, 255 → 255.
    TestImage ramp(256, 1, PixelFormat::Bgrx32);
    for (int v = 0; v < 256; ++v) {
        const auto c = static_cast<std::uint8_t>(v);
        ramp.set(v, 0, Rgb{c, static_cast<std::uint8_t>(255 - v), c});
    }
    expectQuantisedRoundTrip(ramp);
    const DecodedGif rampGif = decode(encodeGif(ramp.view()));
    ASSERT_EQ(rampGif.pixels.size(), 256u);
    EXPECT_EQ(rampGif.pixels[25].r, 0);
    EXPECT_EQ(rampGif.pixels[47].r, 0);
    EXPECT_EQ(rampGif.pixels[48].r, 51);
    EXPECT_EQ(rampGif.pixels[255].r, 255);
}

TEST(GifEncoder, LargeNoisyImageSurvivesTableResets)
{
    // 120 000 barely compressible pixels: tens of 4096-entry tables, every code width.
    expectQuantisedRoundTrip(flowloom::test::noise(400, 300, PixelFormat::Bgrx32));
    // Long runs of one colour grow long strings instead.
    TestImage flat(500, 200, PixelFormat::Rgb24);
    for (std::size_t y = 0; y < 200; ++y)
        for (std::size_t x = 0; x < 500; ++x)
            flat.set(x, y, y < 100 ? Rgb{0, 0, 40} : Rgb{0, 255, 0});
    expectQuantisedRoundTrip(flat);
}

TEST(GifEncoder, GrayscaleImageKeepsAtMostSixGreyLevels)
{
    TestImage image = flowloom::test::noise(97, 61, PixelFormat::Bgrx32, 7);
    flowloom::output::ConvertBitmapToGrayscale1(image.mutableView());
    const DecodedGif gif = decode(encodeGif(image.view()));
    std::set<int> greys;
    for (const Rgb& p : gif.pixels) {
        EXPECT_TRUE(p.r == p.g && p.g == p.b);
        greys.insert(p.r);
    }
    EXPECT_LE(greys.size(), 6u);
    EXPECT_GE(greys.size(), 2u);
}

TEST(GifEncoder, ReportsRefusedWritesAndUnwritableImages)
{
    const TestImage image = flowloom::test::noise(120, 80, PixelFormat::Bgrx32);
    const std::vector<std::uint8_t> whole = encodeGif(image.view());
    for (std::size_t limit = 0; limit < whole.size(); limit += 97) {
        FailingSink sink(limit);
        EXPECT_EQ(GifEncoder::encode(image.view(), sink), EncodeError::WriteFailed) << limit;
    }
    FailingSink almost(whole.size() - 1);
    EXPECT_EQ(GifEncoder::encode(image.view(), almost), EncodeError::WriteFailed);
    FailingSink enough(whole.size());
    EXPECT_EQ(GifEncoder::encode(image.view(), enough), EncodeError::Ok);
    EXPECT_EQ(enough.bytes(), whole);

    MemorySink sink;
    ImageView view = image.view();
    view.width = 65536; // a GIF's sizes are 16-bit; rejected before any read
    view.stride = view.width * 4;
    EXPECT_EQ(GifEncoder::encode(view, sink), EncodeError::ImageTooLarge);
    view = image.view();
    view.height = 0;
    EXPECT_EQ(GifEncoder::encode(view, sink), EncodeError::InvalidImage);
    EXPECT_TRUE(sink.bytes().empty());
}

#include "output/encoders/Grayscale.h"
#include "output/encoders/JpegEncoder.h"
#include "output/encoders/MemorySink.h"

#include "TestImages.h"
#include "support/FailingSink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

using flowloom::output::EncodeError;
using flowloom::output::ImageView;
using flowloom::output::JpegEncoder;
using flowloom::output::MemorySink;
using flowloom::output::PixelFormat;
using flowloom::test::FailingSink;
using flowloom::test::Rgb;
using flowloom::test::TestImage;

namespace {

// The example tables of the JPEG standard (ITU T.81, Annex K.1), row by row.
constexpr std::array<int, 64> kLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<int, 64> kChrominance = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// The quality scaling of the IJG library: percentages 5000 / q below 50 and
// 200 - 2q from 50 on, rounded, kept within 1..255 for a baseline file.
int scaled(int base, int quality)
{
    const int percent = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    return std::clamp((base * percent + 50) / 100, 1, 255);
}

struct DecodedJpeg
{
    int width = 0;
    int height = 0;
    int components = 0;
    bool jfif = false;
    bool progressive = false;
    J_COLOR_SPACE colourSpace = JCS_UNKNOWN;
    std::array<int, 2> lumaSampling{};
    std::array<std::array<int, 64>, 2> tables{};
    std::vector<Rgb> pixels;
};

struct DecodeErrors
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void decodeFailed(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<DecodeErrors*>(cinfo->err)->jump, 1);
}

// Decodes with libjpeg into `out`; false when libjpeg found the data bad.
bool decodeInto(const std::vector<std::uint8_t>& bytes, jpeg_decompress_struct& cinfo,
                DecodedJpeg& out, std::vector<std::uint8_t>& rgb)
{
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    out.width = static_cast<int>(cinfo.image_width);
    out.height = static_cast<int>(cinfo.image_height);
    out.components = cinfo.num_components;
    out.jfif = cinfo.saw_JFIF_marker != 0;
    out.progressive = cinfo.progressive_mode != 0;
    out.colourSpace = cinfo.jpeg_color_space;
    out.lumaSampling = {cinfo.comp_info[0].h_samp_factor, cinfo.comp_info[0].v_samp_factor};
    for (int t = 0; t < 2; ++t)
        for (int i = 0; i < 64; ++i)
            out.tables[t][i] = cinfo.quant_tbl_ptrs[t] ? cinfo.quant_tbl_ptrs[t]->quantval[i] : 0;
    cinfo.out_color_space = JCS_RGB;
    // Plain replication of the half-resolution chroma: the smoothing upsampler
    // would blend each 16 × 16 unit with its neighbours.
    cinfo.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&cinfo);
    rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * out.width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

DecodedJpeg decode(const std::vector<std::uint8_t>& bytes)
{
    DecodedJpeg out;
    std::vector<std::uint8_t> rgb;
    jpeg_decompress_struct cinfo{};
    DecodeErrors errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = decodeFailed;
    volatile bool ok = false; // read after a jump back
    if (setjmp(errors.jump) == 0) {
        jpeg_create_decompress(&cinfo);
        ok = decodeInto(bytes, cinfo, out, rgb);
    }
    jpeg_destroy_decompress(&cinfo);
    EXPECT_TRUE(ok) << "libjpeg could not decode the image";
    for (std::size_t i = 0; ok && i + 2 < rgb.size(); i += 3)
        out.pixels.push_back(Rgb{rgb[i], rgb[i + 1], rgb[i + 2]});
    return out;
}

// The frame marker that follows SOI and the tables: SOF0 for baseline.
int frameMarker(const std::vector<std::uint8_t>& b)
{
    std::size_t at = 2;
    while (at + 4 <= b.size() && b[at] == 0xFF) {
        const int marker = b[at + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return marker;
        at += 2 + (b[at + 2] << 8 | b[at + 3]);
    }
    return -1;
}

// Flat 16 × 16 blocks (one chroma-subsampled unit each) in an order without
// symmetry, so that JPEG's losses stay small and a flip or swap would show.
TestImage blocks(PixelFormat format)
{
    const std::array<Rgb, 12> colours = {Rgb{200, 30, 30},   Rgb{30, 200, 30},  Rgb{30, 30, 200},
                                         Rgb{230, 230, 40},  Rgb{40, 220, 220}, Rgb{210, 40, 210},
                                         Rgb{250, 250, 250}, Rgb{10, 10, 10},   Rgb{128, 64, 32},
                                         Rgb{32, 64, 128},   Rgb{90, 160, 90},  Rgb{180, 120, 60}};
    TestImage image(64, 48, format, 4);
    for (std::size_t y = 0; y < 48; ++y)
        for (std::size_t x = 0; x < 64; ++x)
            image.set(x, y, colours[(y / 16) * 4 + x / 16]);
    return image;
}

std::vector<std::uint8_t> encodeJpeg(const ImageView& view, int quality)
{
    MemorySink sink;
    EXPECT_EQ(JpegEncoder::encode(view, quality, sink), EncodeError::Ok);
    return sink.bytes();
}

} // namespace

TEST(JpegEncoder, BaselineJfifWithThreeComponentsAndPixelsWithinTolerance)
{
    for (const PixelFormat format : {PixelFormat::Bgrx32, PixelFormat::Rgb24}) {
        const TestImage image = blocks(format);
        for (const int quality : {JpegEncoder::kWebQuality, JpegEncoder::kFileQuality}) {
            const std::vector<std::uint8_t> bytes = encodeJpeg(image.view(), quality);
            ASSERT_GE(bytes.size(), 4u);
            EXPECT_EQ(bytes[0], 0xFF);
            EXPECT_EQ(bytes[1], 0xD8);
            EXPECT_EQ(frameMarker(bytes), 0xC0);
            const DecodedJpeg jpeg = decode(bytes);
            EXPECT_EQ(jpeg.width, 64);
            EXPECT_EQ(jpeg.height, 48);
            EXPECT_EQ(jpeg.components, 3);
            EXPECT_EQ(jpeg.colourSpace, JCS_YCbCr);
            EXPECT_TRUE(jpeg.jfif);
            EXPECT_FALSE(jpeg.progressive);
            // libjpeg's default subsampling: chroma at half resolution both ways.
            EXPECT_EQ(jpeg.lumaSampling, (std::array<int, 2>{2, 2}));
            ASSERT_EQ(jpeg.pixels.size(), 64u * 48u);
            int worst = 0;
            for (std::size_t y = 0; y < 48; ++y)
                for (std::size_t x = 0; x < 64; ++x) {
                    const Rgb got = jpeg.pixels[y * 64 + x];
                    const Rgb want = image.at(x, y);
                    worst = std::max({worst, std::abs(got.r - want.r), std::abs(got.g - want.g),
                                      std::abs(got.b - want.b)});
                }
            EXPECT_LE(worst, 4) << "quality " << quality;
        }
    }
}

TEST(JpegEncoder, QuantisationTablesAreTheStandardOnesScaledByQuality)
{
    const TestImage image = blocks(PixelFormat::Bgrx32);
    for (const int quality : {80, 90}) {
        const DecodedJpeg jpeg = decode(encodeJpeg(image.view(), quality));
        for (int i = 0; i < 64; ++i) {
            EXPECT_EQ(jpeg.tables[0][i], scaled(kLuminance[i], quality)) << quality << " " << i;
            EXPECT_EQ(jpeg.tables[1][i], scaled(kChrominance[i], quality)) << quality << " " << i;
        }
    }
    // Spot values by hand: at 80 the scale is 40 %, at 90 it is 20 %.
    EXPECT_EQ(decode(encodeJpeg(image.view(), 80)).tables[0][0], 6);   // 16 × 0.4 = 6.4
    EXPECT_EQ(decode(encodeJpeg(image.view(), 90)).tables[1][63], 20); // 99 × 0.2 = 19.8
}

TEST(JpegEncoder, LayoutsAgreeAndGreyStaysThreeComponents)
{
    const TestImage bgrx = blocks(PixelFormat::Bgrx32);
    const TestImage rgb = bgrx.copyAs(PixelFormat::Rgb24, 1);
    EXPECT_EQ(encodeJpeg(bgrx.view(), 80), encodeJpeg(rgb.view(), 80));

    TestImage grey = bgrx.copyAs(PixelFormat::Bgrx32);
    flowloom::output::ConvertBitmapToGrayscale1(grey.mutableView());
    const DecodedJpeg jpeg = decode(encodeJpeg(grey.view(), 90));
    EXPECT_EQ(jpeg.components, 3);
    for (const Rgb& p : jpeg.pixels) {
        EXPECT_LE(std::abs(p.r - p.g), 2);
        EXPECT_LE(std::abs(p.g - p.b), 2);
    }
}

TEST(JpegEncoder, FailuresAreReportedNotFatal)
{
    // Large and noisy enough to fill the 64 KiB output buffer more than once,
    // so refusals happen both while compressing and at the end.
    const TestImage image = flowloom::test::noise(512, 384, PixelFormat::Bgrx32);
    const std::vector<std::uint8_t> whole = encodeJpeg(image.view(), 90);
    ASSERT_GT(whole.size(), 2u * 65536u);
    for (const std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{65535},
                                    std::size_t{65536}, whole.size() - 1}) {
        FailingSink sink(limit);
        EXPECT_EQ(JpegEncoder::encode(image.view(), 90, sink), EncodeError::WriteFailed) << limit;
    }
    FailingSink enough(whole.size());
    EXPECT_EQ(JpegEncoder::encode(image.view(), 90, enough), EncodeError::Ok);
    EXPECT_EQ(enough.bytes(), whole);

    MemorySink sink;
    EXPECT_EQ(JpegEncoder::encode(image.view(), 0, sink), EncodeError::InvalidQuality);
    EXPECT_EQ(JpegEncoder::encode(image.view(), 101, sink), EncodeError::InvalidQuality);
    ImageView view = image.view();
    view.width = 65501; // past libjpeg's largest dimension; rejected before any read
    view.stride = view.width * 4;
    EXPECT_EQ(JpegEncoder::encode(view, 90, sink), EncodeError::ImageTooLarge);
    view.data = nullptr;
    EXPECT_EQ(JpegEncoder::encode(view, 90, sink), EncodeError::InvalidImage);
    EXPECT_TRUE(sink.bytes().empty());
}

#include "output/encoders/Grayscale.h"

#include "TestImages.h"

#include <gtest/gtest.h>

#include <cstdlib>

using flowloom::output::ConvertBitmapToGrayscale1;
using flowloom::output::PixelFormat;
using flowloom::test::Rgb;
using flowloom::test::TestImage;

namespace {

std::uint8_t convertOne(Rgb colour, PixelFormat format)
{
    TestImage image(1, 1, format);
    image.set(0, 0, colour);
    ConvertBitmapToGrayscale1(image.mutableView());
    const Rgb out = image.at(0, 0);
    EXPECT_EQ(out.r, out.g);
    EXPECT_EQ(out.g, out.b);
    return out.r;
}

// The whole number nearest to (3R + 6G + B) / 10, by comparing distances in
// tenths; of two equally near numbers, the even one.
int nearestHalfEven(int red, int green, int blue)
{
    const int tenths = 3 * red + 6 * green + blue;
    int best = 0;
    for (int k = 0; k <= 255; ++k) {
        const int distance = std::abs(10 * k - tenths);
        const int bestDistance = std::abs(10 * best - tenths);
        if (distance < bestDistance || (distance == bestDistance && k % 2 == 0))
            best = k;
    }
    return best;
}

} // namespace

TEST(Grayscale, KnownColoursUseExactWeightsAndHalvesToEven)
{
    for (const PixelFormat format : {PixelFormat::Bgrx32, PixelFormat::Rgb24}) {
        EXPECT_EQ(convertOne({255, 0, 0}, format), 76);  // 76.5 goes to the even 76
        EXPECT_EQ(convertOne({0, 0, 255}, format), 26);  // 25.5 goes to the even 26
        EXPECT_EQ(convertOne({0, 255, 0}, format), 153); // exactly 153
        EXPECT_EQ(convertOne({255, 255, 255}, format), 255);
        EXPECT_EQ(convertOne({0, 0, 0}, format), 0);
        // Small sums where the rounding rule shows.
        EXPECT_EQ(convertOne({0, 1, 0}, format), 1);    // 0.6
        EXPECT_EQ(convertOne({5, 0, 0}, format), 2);    // 1.5 goes to the even 2
        EXPECT_EQ(convertOne({15, 0, 0}, format), 4);   // 4.5 goes to the even 4
        EXPECT_EQ(convertOne({0, 0, 254}, format), 25); // 25.4
    }
}

TEST(Grayscale, MatchesExactArithmeticOverManyColours)
{
    // Every colour whose channels are multiples of 3 (86³ colours), plus the
    // top values, in one image per layout.
    std::vector<int> levels;
    for (int v = 0; v <= 255; v += 3)
        levels.push_back(v);
    levels.push_back(254);
    for (const PixelFormat format : {PixelFormat::Bgrx32, PixelFormat::Rgb24}) {
        const std::size_t side = levels.size();
        TestImage image(side * side, side, format, 5);
        for (std::size_t r = 0; r < side; ++r)
            for (std::size_t g = 0; g < side; ++g)
                for (std::size_t b = 0; b < side; ++b)
                    image.set(r * side + g, b,
                              Rgb{static_cast<std::uint8_t>(levels[r]),
                                  static_cast<std::uint8_t>(levels[g]),
                                  static_cast<std::uint8_t>(levels[b])});
        ConvertBitmapToGrayscale1(image.mutableView());
        int mismatches = 0;
        for (std::size_t r = 0; r < side; ++r)
            for (std::size_t g = 0; g < side; ++g)
                for (std::size_t b = 0; b < side; ++b) {
                    const Rgb out = image.at(r * side + g, b);
                    const int expected = nearestHalfEven(levels[r], levels[g], levels[b]);
                    if (out.r != expected || out.g != expected || out.b != expected)
                        ++mismatches;
                }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(Grayscale, ChangesOnlyThePixelsAndReturnsTheSameBitmap)
{
    TestImage image = flowloom::test::letterF(PixelFormat::Bgrx32, 3);
    const auto view = image.mutableView();
    const auto result = ConvertBitmapToGrayscale1(view);
    EXPECT_EQ(result.data, view.data);
    EXPECT_EQ(result.width, view.width);
    EXPECT_EQ(result.height, view.height);
    // The X byte of each pixel and the bytes past each row are untouched.
    const auto& bytes = image.bytes();
    const std::size_t stride = 6 * 4 + 3;
    for (std::size_t y = 0; y < 5; ++y) {
        for (std::size_t x = 0; x < 6; ++x)
            EXPECT_EQ(bytes[y * stride + 4 * x + 3], TestImage::kXByte);
        for (std::size_t i = 24; i < stride; ++i)
            EXPECT_EQ(bytes[y * stride + i], TestImage::kPaddingByte);
    }
    // The ground (250, 240, 20): 75 + 144 + 2 = 221.
    EXPECT_EQ(image.at(5, 0), (Rgb{221, 221, 221}));
}

#include "output/encoders/GifPalette.h"

#include <gtest/gtest.h>

#include <set>

using flowloom::output::GifPalette;

TEST(GifPalette, LevelsOfEveryChannelValue)
{
    EXPECT_EQ(GifPalette::level(25), 0);
    EXPECT_EQ(GifPalette::quantise(25), 0);
    EXPECT_EQ(GifPalette::level(47), 0);
    EXPECT_EQ(GifPalette::level(48), 1);
    EXPECT_EQ(GifPalette::quantise(48), 51);
    EXPECT_EQ(GifPalette::level(255), 5);
    EXPECT_EQ(GifPalette::quantise(255), 255);

    // The rule's boundaries: level L covers 51L - 3 .. 51L + 47, so values move
    // up a level three steps early, never at the midpoint between two levels.
    for (int v = 0; v < 256; ++v) {
        const auto value = static_cast<std::uint8_t>(v);
        const int level = GifPalette::level(value);
        ASSERT_GE(level, 0);
        ASSERT_LE(level, 5);
        EXPECT_LE(51 * level - 3, v) << v;
        if (level < 5) {
            EXPECT_LT(v, 51 * (level + 1) - 3) << v;
        }
        EXPECT_EQ(GifPalette::quantise(value), 51 * level) << v;
    }
}

TEST(GifPalette, IndexOrderAndPadding)
{
    // Index 36r + 6g + b over the level of each channel, one index per colour.
    std::set<int> seen;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) {
                const auto value = [](int level) { return static_cast<std::uint8_t>(51 * level); };
                const int index = GifPalette::indexOf(value(r), value(g), value(b));
                EXPECT_EQ(index, 36 * r + 6 * g + b);
                seen.insert(index);
                const GifPalette::Colour colour = GifPalette::colourAt(index);
                EXPECT_EQ(colour.red, 51 * r);
                EXPECT_EQ(colour.green, 51 * g);
                EXPECT_EQ(colour.blue, 51 * b);
            }
    EXPECT_EQ(seen.size(), 216u);
    // Entries 216..255 only pad the table to 2^8 and are black.
    for (int i = 216; i < 256; ++i) {
        const GifPalette::Colour colour = GifPalette::colourAt(i);
        EXPECT_EQ(colour.red + colour.green + colour.blue, 0) << i;
    }
    // A colour off the cube takes the entry of its quantised channels.
    EXPECT_EQ(GifPalette::indexOf(25, 48, 255), 0 * 36 + 1 * 6 + 5);
}

#pragma once

#include <cstdint>

namespace flowloom::output {

// The fixed 216-colour cube of GIF images: six levels per channel, no dithering.
class GifPalette
{
public:
    static constexpr int kLevels = 6;
    static constexpr int kColours = kLevels * kLevels * kLevels; // 216
    static constexpr int kStep = 51;

    // Channel value 0..255 to level 0..5: (v + 3) div 51, which is not the
    // nearest level (28 gives level 0 although 51 is nearer to it than 0).
    static constexpr int level(std::uint8_t value) { return (value + 3) / kStep; }
    // The channel value written for a level.
    static constexpr std::uint8_t valueOfLevel(int level)
    {
        return static_cast<std::uint8_t>(level * kStep);
    }
    // The channel value a pixel ends up with in the GIF.
    static constexpr std::uint8_t quantise(std::uint8_t value)
    {
        return valueOfLevel(level(value));
    }
    // Palette index of a colour: 36 × red level + 6 × green level + blue level.
    static constexpr std::uint8_t indexOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
    {
        return static_cast<std::uint8_t>(kLevels * kLevels * level(red) + kLevels * level(green) +
                                         level(blue));
    }

    struct Colour
    {
        std::uint8_t red = 0;
        std::uint8_t green = 0;
        std::uint8_t blue = 0;
    };
    // Entry index of the palette, 0..215; entries past the cube are black padding.
    static constexpr Colour colourAt(int index)
    {
        if (index < 0 || index >= kColours)
            return {};
        return {valueOfLevel(index / (kLevels * kLevels)),
                valueOfLevel((index / kLevels) % kLevels), valueOfLevel(index % kLevels)};
    }
};

} // namespace flowloom::output

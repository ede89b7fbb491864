#pragma once

#include "output/encoders/ImageView.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flowloom::test {

struct Rgb
{
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

// Pixels owned by a test, in either layout, with optional bytes past each row
// that no encoder may read into the picture.
class TestImage
{
public:
    static constexpr std::uint8_t kPaddingByte = 0xCD;
    static constexpr std::uint8_t kXByte = 0x5A;

    TestImage(std::size_t width, std::size_t height, output::PixelFormat format,
              std::size_t rowPadding = 0)
        : m_width(width), m_height(height),
          m_stride(width * output::bytesPerPixel(format) + rowPadding), m_format(format),
          m_pixels(m_stride * height, kPaddingByte)
    {
        for (std::size_t y = 0; y < height; ++y)
            for (std::size_t x = 0; x < width; ++x)
                set(x, y, Rgb{});
    }

    std::size_t width() const { return m_width; }
    std::size_t height() const { return m_height; }

    void set(std::size_t x, std::size_t y, Rgb c)
    {
        std::uint8_t* p = pixel(x, y);
        if (m_format == output::PixelFormat::Bgrx32) {
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = kXByte;
        } else {
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }

    Rgb at(std::size_t x, std::size_t y) const
    {
        const std::uint8_t* p =
            m_pixels.data() + y * m_stride + x * output::bytesPerPixel(m_format);
        if (m_format == output::PixelFormat::Bgrx32)
            return {p[2], p[1], p[0]};
        return {p[0], p[1], p[2]};
    }

    // The same picture in another layout or with other row padding.
    TestImage copyAs(output::PixelFormat format, std::size_t rowPadding = 0) const
    {
        TestImage copy(m_width, m_height, format, rowPadding);
        for (std::size_t y = 0; y < m_height; ++y)
            for (std::size_t x = 0; x < m_width; ++x)
                copy.set(x, y, at(x, y));
        return copy;
    }

    output::ImageView view() const
    {
        return {m_pixels.data(), m_width, m_height, m_stride, m_format};
    }
    output::MutableImageView mutableView()
    {
        return {m_pixels.data(), m_width, m_height, m_stride, m_format};
    }
    const std::vector<std::uint8_t>& bytes() const { return m_pixels; }

private:
    std::uint8_t* pixel(std::size_t x, std::size_t y)
    {
        return m_pixels.data() + y * m_stride + x * output::bytesPerPixel(m_format);
    }

    std::size_t m_width;
    std::size_t m_height;
    std::size_t m_stride;
    output::PixelFormat m_format;
    std::vector<std::uint8_t> m_pixels;
};

// A 6 × 5 "F" in several colours on a yellow ground, with one odd corner
// pixel: any flip, transposition or channel swap changes some pixel.
//   R R R R R .
//   B . . . . .
//   B G G G . .
//   B . . . . .
//   B . . . . C
inline TestImage letterF(output::PixelFormat format, std::size_t rowPadding = 0)
{
    TestImage image(6, 5, format, rowPadding);
    const Rgb ground{250, 240, 20};
    for (std::size_t y = 0; y < 5; ++y)
        for (std::size_t x = 0; x < 6; ++x)
            image.set(x, y, ground);
    for (std::size_t x = 0; x < 5; ++x)
        image.set(x, 0, Rgb{static_cast<std::uint8_t>(255 - 20 * x), 10, 30});
    for (std::size_t y = 1; y < 5; ++y)
        image.set(0, y, Rgb{0, 40, static_cast<std::uint8_t>(200 + 10 * y)});
    for (std::size_t x = 1; x < 4; ++x)
        image.set(x, 2, Rgb{20, static_cast<std::uint8_t>(150 + 30 * x), 60});
    image.set(5, 4, Rgb{128, 64, 32});
    return image;
}

// Deterministic pseudo-random colours (xorshift32): barely compressible, so
// an LZW table fills and restarts and deflate output spans several chunks.
inline TestImage noise(std::size_t width, std::size_t height, output::PixelFormat format,
                       std::uint32_t seed = 0x12345678u)
{
    TestImage image(width, height, format);
    std::uint32_t state = seed;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (std::size_t y = 0; y < height; ++y)
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t v = next();
            image.set(x, y,
                      Rgb{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                          static_cast<std::uint8_t>(v >> 16)});
        }
    return image;
}

} // namespace flowloom::test

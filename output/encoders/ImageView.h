#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

namespace flowloom::output {

enum class PixelFormat {
    // Bytes B, G, R, X per pixel: how a 32-bit RGB snapshot lies in memory on a
    // little-endian machine. Encoders read it directly, with no conversion copy.
    Bgrx32,
    // Bytes R, G, B per pixel.
    Rgb24,
};

constexpr std::size_t bytesPerPixel(PixelFormat format)
{
    return format == PixelFormat::Bgrx32 ? 4 : 3;
}

// a × b, or nothing when the product does not fit in size_t.
constexpr std::optional<std::size_t> checkedMultiply(std::size_t a, std::size_t b)
{
    if (b != 0 && a > std::numeric_limits<std::size_t>::max() / b)
        return std::nullopt;
    return a * b;
}

constexpr std::optional<std::size_t> checkedAdd(std::size_t a, std::size_t b)
{
    if (a > std::numeric_limits<std::size_t>::max() - b)
        return std::nullopt;
    return a + b;
}

// Read-only pixels, top row first; row y starts at data + y × stride.
struct ImageView
{
    const std::uint8_t* data = nullptr;
    std::size_t width = 0;
    std::size_t height = 0;
    std::size_t stride = 0;
    PixelFormat format = PixelFormat::Bgrx32;

    const std::uint8_t* row(std::size_t y) const { return data + y * stride; }
};

// Pixels that may be changed in place (grayscale conversion).
struct MutableImageView
{
    std::uint8_t* data = nullptr;
    std::size_t width = 0;
    std::size_t height = 0;
    std::size_t stride = 0;
    PixelFormat format = PixelFormat::Bgrx32;

    std::uint8_t* row(std::size_t y) const { return data + y * stride; }
    operator ImageView() const { return ImageView{data, width, height, stride, format}; }
};

// A view that can be walked safely: pixels present, rows wide enough for
// their pixels, and the last row's end addressable without overflow.
constexpr bool isWellFormed(const ImageView& view)
{
    if (view.data == nullptr || view.width == 0 || view.height == 0)
        return false;
    const auto rowBytes = checkedMultiply(view.width, bytesPerPixel(view.format));
    if (!rowBytes || view.stride < *rowBytes)
        return false;
    const auto lastRowStart = checkedMultiply(view.height - 1, view.stride);
    return lastRowStart && checkedAdd(*lastRowStart, *rowBytes);
}

} // namespace flowloom::output

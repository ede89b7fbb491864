#include "output/encoders/Grayscale.h"

#include <array>

namespace flowloom::output {

namespace {

// Grey value indexed by 3R + 6G + B, the weighted sum in tenths. Integer tenths
// keep the halves exact: in binary floating point 0.3 × 255 is 76.49999..., and
// the half-to-even rule would never see a half. One lookup per pixel also spares
// a division.
constexpr std::array<std::uint8_t, 2551> makeTenthsTable()
{
    std::array<std::uint8_t, 2551> table{};
    for (unsigned tenths = 0; tenths < table.size(); ++tenths) {
        const unsigned whole = tenths / 10;
        const unsigned rest = tenths % 10;
        const bool roundUp = rest > 5 || (rest == 5 && whole % 2 == 1);
        table[tenths] = static_cast<std::uint8_t>(whole + (roundUp ? 1 : 0));
    }
    return table;
}

constexpr std::array<std::uint8_t, 2551> kGrayOfTenths = makeTenthsTable();

template <std::size_t Red, std::size_t Green, std::size_t Blue, std::size_t PixelBytes>
void convertRows(const MutableImageView& bitmap)
{
    for (std::size_t y = 0; y < bitmap.height; ++y) {
        std::uint8_t* p = bitmap.row(y);
        for (std::size_t x = 0; x < bitmap.width; ++x, p += PixelBytes) {
            const std::uint8_t gray = kGrayOfTenths[3u * p[Red] + 6u * p[Green] + p[Blue]];
            p[0] = gray;
            p[1] = gray;
            p[2] = gray;
        }
    }
}

} // namespace

MutableImageView ConvertBitmapToGrayscale1(MutableImageView bitmap)
{
    if (!isWellFormed(bitmap))
        return bitmap;
    if (bitmap.format == PixelFormat::Bgrx32)
        convertRows<2, 1, 0, 4>(bitmap);
    else
        convertRows<0, 1, 2, 3>(bitmap);
    return bitmap;
}

} // namespace flowloom::output

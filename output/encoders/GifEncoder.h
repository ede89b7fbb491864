#pragma once

#include "output/encoders/ByteSink.h"
#include "output/encoders/EncodeError.h"
#include "output/encoders/ImageView.h"

namespace flowloom::output {

// One-image GIF89a: pixels reduced to the fixed 216-colour cube of GifPalette
// without dithering, the palette in index order padded to 256 entries, LZW data.
class GifEncoder
{
public:
    static EncodeError encode(const ImageView& image, ByteSink& sink) noexcept;
};

} // namespace flowloom::output

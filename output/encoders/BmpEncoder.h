#pragma once

#include "output/encoders/ByteSink.h"
#include "output/encoders/EncodeError.h"
#include "output/encoders/ImageView.h"

namespace flowloom::output {

// Uncompressed Windows bitmap, 24 bits per pixel, rows bottom-up.
class BmpEncoder
{
public:
    static EncodeError encode(const ImageView& image, ByteSink& sink) noexcept;
};

} // namespace flowloom::output

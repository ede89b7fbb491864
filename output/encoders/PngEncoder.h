#pragma once

#include "output/encoders/ByteSink.h"
#include "output/encoders/EncodeError.h"
#include "output/encoders/ImageView.h"

#include <cstddef>

namespace flowloom::output {

// Truecolour PNG, 8 bits per channel, no alpha, not interlaced. Chunks IHDR,
// IDAT..., IEND only; every row Sub-filtered; zlib deflate at level 7; the
// compressed stream split into IDAT chunks of at most 65535 bytes.
class PngEncoder
{
public:
    static constexpr int kCompressionLevel = 7;
    static constexpr std::size_t kMaxIdatBytes = 65535;

    static EncodeError encode(const ImageView& image, ByteSink& sink) noexcept;
};

} // namespace flowloom::output

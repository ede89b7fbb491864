#pragma once

#include "output/encoders/ByteSink.h"
#include "output/encoders/EncodeError.h"
#include "output/encoders/ImageView.h"

namespace flowloom::output {

// Baseline JPEG through libjpeg: its defaults (JFIF, YCbCr with the default
// chroma subsampling, standard Huffman tables), three components from 8-bit RGB,
// and the quality set with force-baseline. Files use 90, the web image 80.
class JpegEncoder
{
public:
    static constexpr int kFileQuality = 90;
    static constexpr int kWebQuality = 80;

    static EncodeError encode(const ImageView& image, int quality, ByteSink& sink) noexcept;
};

} // namespace flowloom::output

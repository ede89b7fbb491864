#pragma once

#include "output/encoders/ImageView.h"

namespace flowloom::output {

// Converts every pixel in place to grey := 0.3 R + 0.6 G + 0.1 B, rounded to the
// nearest whole number with halves going to the even neighbour, and returns the
// same view. The X byte of Bgrx32 pixels is left as it was.
MutableImageView ConvertBitmapToGrayscale1(MutableImageView bitmap);

} // namespace flowloom::output

#pragma once

#include <system_error>

namespace flowloom::output {

enum class EncodeError {
    Ok = 0,
    // Null pixels, a zero dimension, or rows narrower than their pixels.
    InvalidImage,
    // Dimensions or byte counts beyond what the file format (or size_t) can hold.
    ImageTooLarge,
    // JPEG quality outside 1..100.
    InvalidQuality,
    OutOfMemory,
    // The byte sink refused a write (file system full, I/O error...).
    WriteFailed,
    // The compression library reported an internal failure.
    CodecFailed,
};

const std::error_category& encodeErrorCategory() noexcept;
std::error_code make_error_code(EncodeError error) noexcept;

} // namespace flowloom::output

template <> struct std::is_error_code_enum<flowloom::output::EncodeError> : std::true_type
{
};

#include "output/encoders/EncodeError.h"

#include <string>

namespace flowloom::output {

namespace {

class EncodeErrorCategory final : public std::error_category
{
public:
    const char* name() const noexcept override { return "flowloom.encode"; }

    std::string message(int value) const override
    {
        switch (static_cast<EncodeError>(value)) {
        case EncodeError::Ok:
            return "No error";
        case EncodeError::InvalidImage:
            return "The image has no valid pixels";
        case EncodeError::ImageTooLarge:
            return "The image is too large for this file type";
        case EncodeError::InvalidQuality:
            return "The JPEG quality is outside 1 to 100";
        case EncodeError::OutOfMemory:
            return "Not enough memory";
        case EncodeError::WriteFailed:
            return "The image data could not be written";
        case EncodeError::CodecFailed:
            return "The image could not be compressed";
        }
        return "Unknown encoding error";
    }
};

} // namespace

const std::error_category& encodeErrorCategory() noexcept
{
    static const EncodeErrorCategory category;
    return category;
}

std::error_code make_error_code(EncodeError error) noexcept
{
    return {static_cast<int>(error), encodeErrorCategory()};
}

} // namespace flowloom::output

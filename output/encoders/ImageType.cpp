#include "output/encoders/ImageType.h"

#include "output/encoders/BmpEncoder.h"
#include "output/encoders/FileSink.h"
#include "output/encoders/GifEncoder.h"
#include "output/encoders/JpegEncoder.h"
#include "output/encoders/MemorySink.h"
#include "output/encoders/PngEncoder.h"

#include <new>

namespace flowloom::output {

std::string_view extensionOf(ImageType type)
{
    switch (type) {
    case ImageType::Bmp:
        return ".bmp";
    case ImageType::Jpeg:
        return ".jpg";
    case ImageType::Gif:
        return ".gif";
    case ImageType::Png:
        return ".png";
    }
    return {};
}

EncodeError encode(const ImageView& image, ImageType type, int jpegQuality, ByteSink& sink) noexcept
{
    switch (type) {
    case ImageType::Bmp:
        return BmpEncoder::encode(image, sink);
    case ImageType::Jpeg:
        return JpegEncoder::encode(image, jpegQuality, sink);
    case ImageType::Gif:
        return GifEncoder::encode(image, sink);
    case ImageType::Png:
        return PngEncoder::encode(image, sink);
    }
    return EncodeError::InvalidImage;
}

EncodeError encodeToMemory(const ImageView& image, ImageType type, int jpegQuality,
                           std::vector<std::uint8_t>& out) noexcept
{
    out.clear();
    MemorySink sink;
    const EncodeError result = encode(image, type, jpegQuality, sink);
    if (result == EncodeError::Ok)
        out = sink.takeBytes();
    return result;
}

std::error_code encodeToFile(const std::filesystem::path& path, const ImageView& image,
                             ImageType type, int jpegQuality, FileSink::Mode mode) noexcept
{
    try {
        FileSink sink(path, mode);
        if (!sink.isOpen())
            return sink.error();
        const EncodeError result = encode(image, type, jpegQuality, sink);
        std::error_code error;
        if (result == EncodeError::WriteFailed && sink.error())
            error = sink.error(); // the system's own reason, e.g. "No space left on device"
        else if (result != EncodeError::Ok)
            error = result;
        else
            error = sink.close();
        if (error)
            sink.discard();
        return error;
    } catch (const std::bad_alloc&) {
        return EncodeError::OutOfMemory;
    }
}

} // namespace flowloom::output

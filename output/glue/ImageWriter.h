#pragma once

#include "output/encoders/ImageType.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <optional>
#include <system_error>
#include <vector>

namespace flowloom::output {

// Writes a QImage with the program's own encoders, to a file or into memory.
class ImageWriter
{
public:
    static constexpr int kFileJpegQuality = 90; // captures and "Save As..."
    static constexpr int kWebJpegQuality = 80;  // the web service's images

    // Creates or replaces the file at path with the image in the given type,
    // whatever the path's extension. On failure no partly written file is left
    // and the result is "Cannot create file "<full path>". <system's reason>".
    static std::optional<QString> saveToFile(const QImage& image, ImageType type,
                                             const QString& path, int jpegQuality);

    // Writes a capture: to `path` when no file has that name, else to the
    // first free name of CaptureFileName::numbered. Nothing is ever replaced.
    static std::optional<QString> saveAsNewFile(const QImage& image, ImageType type,
                                                const QString& path, int jpegQuality);

    struct Encoded
    {
        std::vector<std::uint8_t> bytes; // empty on failure
        std::error_code error;
    };
    // The whole encoded image in a buffer of its own (one per web request).
    static Encoded encodeToMemory(const QImage& image, ImageType type, int jpegQuality);

    static QString cannotCreateFileMessage(const QString& path, const QString& reason);
};

} // namespace flowloom::output

#pragma once

#include "output/encoders/ByteSink.h"
#include "output/encoders/EncodeError.h"
#include "output/encoders/FileSink.h"
#include "output/encoders/ImageView.h"

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace flowloom::output {

enum class ImageType { Bmp, Jpeg, Gif, Png };

// ".bmp", ".jpg", ".gif" or ".png".
std::string_view extensionOf(ImageType type);

// Writes the image in the given type. jpegQuality (1..100) matters for JPEG only.
EncodeError encode(const ImageView& image, ImageType type, int jpegQuality,
                   ByteSink& sink) noexcept;

// The whole encoded image in memory; out is replaced, and left empty on failure.
EncodeError encodeToMemory(const ImageView& image, ImageType type, int jpegQuality,
                           std::vector<std::uint8_t>& out) noexcept;

// Creates the file, or replaces it unless `mode` says it must be new. The data
// always follows the type, whatever the file's extension. On failure the result
// holds the system's error (open, write, close) or the EncodeError, and no
// partly written file is left behind.
std::error_code encodeToFile(const std::filesystem::path& path, const ImageView& image,
                             ImageType type, int jpegQuality,
                             FileSink::Mode mode = FileSink::Mode::Replace) noexcept;

} // namespace flowloom::output

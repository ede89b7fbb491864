#include "output/glue/ImageWriter.h"

#include "output/encoders/EncodeError.h"
#include "output/rules/CaptureFileName.h"

#include <QFile>
#include <QFileInfo>

#include <bit>
#include <cstddef>
#include <filesystem>

namespace flowloom::output {

static_assert(std::endian::native == std::endian::little,
              "Format_RGB32 is read as B, G, R, X bytes");

namespace {

// The image as the encoders read it. Anything other than Format_RGB32 (the
// statistics image, a loaded picture) is converted into holder first.
std::optional<ImageView> viewOf(const QImage& image, QImage& holder)
{
    if (image.isNull())
        return std::nullopt;
    const QImage* source = &image;
    if (image.format() != QImage::Format_RGB32) {
        holder = image.convertToFormat(QImage::Format_RGB32);
        if (holder.isNull())
            return std::nullopt;
        source = &holder;
    }
    return ImageView{source->constBits(), static_cast<std::size_t>(source->width()),
                     static_cast<std::size_t>(source->height()),
                     static_cast<std::size_t>(source->bytesPerLine()), PixelFormat::Bgrx32};
}

} // namespace

namespace {
// Writes the image to `path`, or with `numbered` to the first free numbered
// name of it; "Cannot create file ..." on failure.
std::optional<QString> writeFile(const QImage& image, ImageType type, const QString& path,
                                 int jpegQuality, bool numbered)
{
    QImage holder;
    const std::optional<ImageView> view = viewOf(image, holder);
    std::error_code error;
    if (!view)
        error = image.isNull() ? EncodeError::InvalidImage : EncodeError::OutOfMemory;
    // Bounded, so that a folder full of one minute's names cannot loop for long.
    constexpr int kMostNames = 10000;
    const std::string base = QFile::encodeName(path).toStdString();
    for (int n = 1; view && n <= (numbered ? kMostNames : 1); ++n) {
        error = encodeToFile(CaptureFileName::numbered(base, n), *view, type, jpegQuality,
                             numbered ? FileSink::Mode::CreateNew : FileSink::Mode::Replace);
        if (error != std::errc::file_exists)
            break;
    }
    if (!error)
        return std::nullopt;
    return ImageWriter::cannotCreateFileMessage(path, QString::fromStdString(error.message()));
}
} // namespace

std::optional<QString> ImageWriter::saveToFile(const QImage& image, ImageType type,
                                               const QString& path, int jpegQuality)
{
    return writeFile(image, type, path, jpegQuality, false);
}

std::optional<QString> ImageWriter::saveAsNewFile(const QImage& image, ImageType type,
                                                  const QString& path, int jpegQuality)
{
    return writeFile(image, type, path, jpegQuality, true);
}

ImageWriter::Encoded ImageWriter::encodeToMemory(const QImage& image, ImageType type,
                                                 int jpegQuality)
{
    Encoded result;
    QImage holder;
    const std::optional<ImageView> view = viewOf(image, holder);
    if (!view) {
        result.error = image.isNull() ? EncodeError::InvalidImage : EncodeError::OutOfMemory;
        return result;
    }
    result.error = output::encodeToMemory(*view, type, jpegQuality, result.bytes);
    return result;
}

QString ImageWriter::cannotCreateFileMessage(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot create file \"%1\". %2")
        .arg(QFileInfo(path).absoluteFilePath(), reason);
}

} // namespace flowloom::output

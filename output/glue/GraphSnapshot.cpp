#include "output/glue/GraphSnapshot.h"

#include "graph/ChartWidget.h"
#include "output/encoders/Grayscale.h"

#include <bit>
#include <cstddef>

namespace flowloom::output {

// Format_RGB32 holds 0xffRRGGBB words; only on a little-endian machine do their
// bytes lie as B, G, R, X, which is what PixelFormat::Bgrx32 reads.
static_assert(std::endian::native == std::endian::little);

namespace {

QString sizeText(SizeRule::Size size)
{
    return QString::number(size.width) + QStringLiteral(" x ") + QString::number(size.height);
}

} // namespace

GraphSnapshot::Result GraphSnapshot::take(const graph::ChartWidget& graph, const SizeRule& rule,
                                          bool gray)
{
    const SizeRule::Size size = rule.imageSize({graph.width(), graph.height()});
    if (size.width <= 0 || size.height <= 0)
        return {{}, QStringLiteral("Cannot make a ") + sizeText(size) + QStringLiteral(" image.")};
    if (size.width > kMaxSide || size.height > kMaxSide || size.width * size.height > kMaxPixels)
        return {{}, notEnoughMemoryMessage(size)};

    Result result;
    result.image =
        graph.renderToImage(QSize(static_cast<int>(size.width), static_cast<int>(size.height)));
    if (result.image.isNull()) // the allocation itself failed
        return {{}, notEnoughMemoryMessage(size)};
    if (gray && !toGrayscale(result.image))
        return {{}, notEnoughMemoryMessage(size)};
    return result;
}

bool GraphSnapshot::toGrayscale(QImage& image)
{
    if (image.isNull())
        return false;
    if (image.format() != QImage::Format_RGB32)
        image.convertTo(QImage::Format_RGB32);
    // bits() detaches, so an image shared with another QImage is copied first
    // and only this one changes; without memory for that copy it is null.
    std::uint8_t* const bits = image.bits();
    if (bits == nullptr || image.format() != QImage::Format_RGB32)
        return false;
    ConvertBitmapToGrayscale1(MutableImageView{
        bits, static_cast<std::size_t>(image.width()), static_cast<std::size_t>(image.height()),
        static_cast<std::size_t>(image.bytesPerLine()), PixelFormat::Bgrx32});
    return true;
}

QString GraphSnapshot::notEnoughMemoryMessage(SizeRule::Size size)
{
    return QStringLiteral("Not enough memory for a ") + sizeText(size) + QStringLiteral(" image.");
}

} // namespace flowloom::output

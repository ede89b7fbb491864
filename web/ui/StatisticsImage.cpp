#include "web/ui/StatisticsImage.h"

#include "sampling/UnexpectedException.h"
#include "web/documents/StatisticsDocuments.h"
#include "web/documents/StatisticsImageLayout.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <exception>
#include <new>
#include <utility>
#include <vector>

namespace flowloom::web {

namespace {

// 96 dots per inch, the resolution the image's sizes are stated for; fixing
// it keeps the picture the same on any screen (and on none).
constexpr int kDotsPerMeter = 3780;

void setImageResolution(QImage& image)
{
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

QFont StatisticsImage::qFont(const WebFont& font)
{
    QFont out(QString::fromStdString(font.name));
    // A size of 0 or less is no size at all; the family's default then applies.
    if (font.pointSize > 0) {
        out.setPointSize(font.pointSize);
    }
    out.setBold((font.style & 1) != 0);
    out.setItalic((font.style & 2) != 0);
    out.setUnderline((font.style & 4) != 0);
    out.setStrikeOut((font.style & 8) != 0);
    return out;
}

QColor StatisticsImage::qColor(std::uint32_t colour)
{
    // Only plain colours have a meaning for a picture that leaves the
    // desktop; system and special colour values draw in black.
    if ((colour & 0xFF000000u) != 0) {
        return QColor(Qt::black);
    }
    return QColor(static_cast<int>(colour & 0xFFu), static_cast<int>((colour >> 8) & 0xFFu),
                  static_cast<int>((colour >> 16) & 0xFFu));
}

std::optional<StatisticsImage::Drawing> StatisticsImage::draw(const WebFont& font,
                                                              std::string_view formattedText,
                                                              std::string_view downloadSince)
{
    const QFont qfont = qFont(font);
    QImage probe(1, 1, QImage::Format_RGB32);
    setImageResolution(probe);
    const QFontMetrics metrics(qfont, &probe);
    const QString widthText =
        fromUtf8(StatisticsImageLayout::kWidthPrefix) + fromUtf8(downloadSince);
    const std::optional<StatisticsImageLayout> layout =
        StatisticsImageLayout::make(metrics.height(), metrics.horizontalAdvance(widthText));
    if (!layout) {
        return std::nullopt;
    }
    QImage image(layout->width(), layout->height(), QImage::Format_RGB32);
    if (image.isNull()) {
        return std::nullopt;
    }
    setImageResolution(image);
    image.fill(Qt::white);
    try {
        QPainter painter(&image);
        painter.setFont(qfont);
        painter.setPen(qColor(font.colour));
        const std::vector<std::string_view> lines = StatisticsDocuments::lines(formattedText);
        const std::size_t count =
            std::min(lines.size(), static_cast<std::size_t>(StatisticsImageLayout::kLineCount));
        for (std::size_t i = 0; i < count; ++i) {
            const StatisticsImageLayout::Point origin = layout->lineOrigin(static_cast<int>(i) + 1);
            // Lines are placed by their top; Qt places text by its baseline.
            painter.drawText(origin.x, origin.y + metrics.ascent(), fromUtf8(lines[i]));
        }
    } catch (const std::bad_alloc&) {
        // A line that could not be drawn leaves the picture as far as it got;
        // the reader still gets the lines before it.
    } catch (const std::exception&) {
        sampling::traceUnexpectedException("StatisticsImage drawing");
    }
    return Drawing{std::move(image), QString::fromStdString(layout->label1Text())};
}

} // namespace flowloom::web

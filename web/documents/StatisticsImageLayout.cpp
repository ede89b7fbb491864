#include "web/documents/StatisticsImageLayout.h"

#include <cstdint>

namespace flowloom::web {

StatisticsImageLayout::StatisticsImageLayout(int lineHeight, int width, int height)
    : m_lineHeight(lineHeight), m_width(width), m_height(height)
{}

std::optional<StatisticsImageLayout> StatisticsImageLayout::make(int lineHeight,
                                                                 int prefixedSinceWidth)
{
    const std::int64_t height = std::int64_t{kLineCount} * lineHeight;
    const std::int64_t width = std::int64_t{prefixedSinceWidth} + kExtraWidth;
    if (lineHeight <= 0 || prefixedSinceWidth < 0 || height > kMaxSide || width > kMaxSide) {
        return std::nullopt;
    }
    return StatisticsImageLayout(lineHeight, static_cast<int>(width), static_cast<int>(height));
}

StatisticsImageLayout::Point StatisticsImageLayout::lineOrigin(int k) const
{
    return {kLeft, kTop + (k - 1) * m_lineHeight};
}

std::string StatisticsImageLayout::label1Text() const
{
    return "[" + std::to_string(m_width) + " x " + std::to_string(m_height) + "]   [W x H]";
}

} // namespace flowloom::web

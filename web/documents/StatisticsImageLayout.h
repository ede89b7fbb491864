#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace flowloom::web {

// Where the statistics image puts its text, in pixels: fifteen lines of the
// formatted document, one line height apart, in a picture just wide enough
// for the download total's since-line.
class StatisticsImageLayout
{
public:
    static constexpr int kLineCount = 15; // the document's empty 16th line is not drawn
    static constexpr int kLeft = 5;
    static constexpr int kTop = 2;
    static constexpr int kExtraWidth = 50;
    // Measured together with the download since-text to find the width.
    static constexpr std::string_view kWidthPrefix = "Total Since   ";
    // Far beyond any sensible font; guards the size arithmetic and the
    // bitmap's allocation against a corrupt font size.
    static constexpr int kMaxSide = 32767;

    struct Point
    {
        int x = 0;
        int y = 0;
    };

    // lineHeight: height of one line in the web font; prefixedSinceWidth:
    // width of kWidthPrefix followed by the download since-text. Nothing when
    // the picture would be empty or larger than kMaxSide on a side.
    static std::optional<StatisticsImageLayout> make(int lineHeight, int prefixedSinceWidth);

    int width() const { return m_width; }
    int height() const { return m_height; }
    int lineHeight() const { return m_lineHeight; }
    // Top-left of line k, k = 1..kLineCount.
    Point lineOrigin(int k) const;
    // Label1's text: "[W x H]" with the picture's size, then the design text.
    std::string label1Text() const;

private:
    StatisticsImageLayout(int lineHeight, int width, int height);

    int m_lineHeight;
    int m_width;
    int m_height;
};

} // namespace flowloom::web

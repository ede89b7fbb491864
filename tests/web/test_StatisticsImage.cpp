#include "web/ui/StatisticsImage.h"

#include "web/documents/StatisticsDocuments.h"

#include <QFontMetrics>
#include <gtest/gtest.h>

using namespace flowloom::web;

namespace {

const char* const kSince = "Sun 06 Dec 2026 - 19:44:03";

StatisticsView exampleView()
{
    StatisticsView view;
    view.Panel14 = "1,234";
    view.Panel15 = "5,678";
    view.Panel16 = "910";
    view.Panel18 = "11";
    view.Panel19 = "22";
    view.Panel20 = "33";
    view.Panel26 = "123,456,789";
    view.Panel27 = "987,654";
    view.Label39 = kSince;
    view.Label41 = "Mon 07 Dec 2026 - 10:00:00";
    return view;
}

// Metrics of the font on a 96 dpi picture, the resolution the sizes are for.
QFontMetrics metricsAt96Dpi(const QFont& font)
{
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(3780);
        image.setDotsPerMeterY(3780);
        return image;
    }();
    return QFontMetrics(font, &device);
}

bool isWhite(QRgb pixel)
{
    return qRed(pixel) == 255 && qGreen(pixel) == 255 && qBlue(pixel) == 255;
}

// Pixels that are not white in rows [top, bottom).
int inkInRows(const QImage& image, int top, int bottom)
{
    int ink = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, image.height()); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ink += isWhite(image.pixel(x, y)) ? 0 : 1;
        }
    }
    return ink;
}

} // namespace

TEST(StatisticsImage, SizeIsFifteenLineHeightsBySinceLinePlusFifty)
{
    const WebFont font; // Arial 10, no style, black
    const QFontMetrics metrics = metricsAt96Dpi(QFont(QStringLiteral("Arial"), 10));
    const int h = metrics.height();
    const int sinceWidth = metrics.horizontalAdvance(QStringLiteral("Total Since   ") + kSince);

    const std::string text = StatisticsDocuments::formatted(exampleView());
    const auto drawing = StatisticsImage::draw(font, text, kSince);
    ASSERT_TRUE(drawing.has_value());
    EXPECT_EQ(drawing->image.format(), QImage::Format_RGB32);
    EXPECT_EQ(drawing->image.height(), 15 * h);
    EXPECT_EQ(drawing->image.width(), sinceWidth + 50);
    EXPECT_EQ(drawing->label1,
              QStringLiteral("[%1 x %2]   [W x H]").arg(sinceWidth + 50).arg(15 * h));

    // Only the download since-text sets the width; the height stays.
    const char* const longer = "Wed 30 Sep 2026 - 23:59:59 and more";
    const auto wider = StatisticsImage::draw(font, text, longer);
    ASSERT_TRUE(wider.has_value());
    EXPECT_EQ(wider->image.width() - drawing->image.width(),
              metrics.horizontalAdvance(QStringLiteral("Total Since   ") + longer) - sinceWidth);
    EXPECT_EQ(wider->image.height(), 15 * h);
}

TEST(StatisticsImage, LinesAreDrawnInTheWebColourOnWhite)
{
    WebFont font;
    font.colour = 0x000000FF; // red, stored as 0x00BBGGRR
    const QFontMetrics metrics = metricsAt96Dpi(StatisticsImage::qFont(font));
    const int h = metrics.height();
    const auto drawing =
        StatisticsImage::draw(font, StatisticsDocuments::formatted(exampleView()), kSince);
    ASSERT_TRUE(drawing.has_value());
    const QImage& image = drawing->image;

    // Line k occupies rows 2 + (k - 1) h up to one line height lower.
    const auto band = [&](int k) { return inkInRows(image, 2 + (k - 1) * h, 2 + k * h); };
    EXPECT_GT(band(1), 0);  // "Download:"
    EXPECT_EQ(band(5), 0);  // empty line
    EXPECT_EQ(band(8), 0);  // empty line
    EXPECT_GT(band(9), 0);  // "Upload:"
    EXPECT_GT(band(15), 0); // upload total, partly inside the picture
    EXPECT_EQ(inkInRows(image, 0, 2), 0);

    int redInk = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (isWhite(pixel)) {
                continue;
            }
            // Nothing left of the 5 pixel margin; ink only ever reddish.
            EXPECT_GE(x, 4) << "ink at " << x << "," << y;
            EXPECT_GE(qRed(pixel), qGreen(pixel));
            EXPECT_GE(qRed(pixel), qBlue(pixel));
            redInk += qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60 ? 1 : 0;
        }
    }
    EXPECT_GT(redInk, 0);
    EXPECT_TRUE(isWhite(image.pixel(image.width() - 1, 0)));
}

TEST(StatisticsImage, FontStyleBitsAndColourValues)
{
    for (int style = 0; style < 16; ++style) {
        const QFont q = StatisticsImage::qFont(WebFont{"Arial", 12, style, 0});
        EXPECT_EQ(q.pointSize(), 12);
        EXPECT_EQ((q.bold() ? 1 : 0) | (q.italic() ? 2 : 0) | (q.underline() ? 4 : 0) |
                      (q.strikeOut() ? 8 : 0),
                  style);
    }
    EXPECT_EQ(StatisticsImage::qColor(0x00336699), QColor(0x99, 0x66, 0x33));
}

TEST(StatisticsImage, AFontTooLargeForAPictureGivesNothing)
{
    WebFont font;
    font.pointSize = 5000;
    EXPECT_FALSE(StatisticsImage::draw(font, "Download:\r\n", kSince).has_value());
}

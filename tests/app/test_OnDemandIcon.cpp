#include "app/shell/OnDemandIcon.h"
#include "app/shell/ToolIcons.h"

#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <map>

#include <gtest/gtest.h>

using flowloom::app::iconFile;
using flowloom::app::IconPicture;
using flowloom::app::OnDemandIconEngine;

namespace {
// One file per size, each filled with a colour of its own (red = size), so a
// pixmap tells which file it came from.
std::vector<IconPicture> writeFiles(const QTemporaryDir& dir, std::initializer_list<int> sizes)
{
    std::vector<IconPicture> files;
    for (const int size : sizes) {
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(QColor(size - 1, 0, 200));
        const QString path = dir.filePath(QStringLiteral("icon-%1.png").arg(size));
        EXPECT_TRUE(image.save(path));
        files.push_back(iconFile(size, path));
    }
    return files;
}
} // namespace

TEST(OnDemandIconEngine, ServesEachRequestFromTheSmallestFileLargeEnoughShrunkNeverGrown)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Files of 16, 32, 64 and 256 pixels, asked twice each (kept and read again).
    const QIcon icon(new OnDemandIconEngine(writeFiles(dir, {16, 32, 64, 256}), 32));
    struct Case
    {
        QSize requested;
        QSize served;
        int fromFile;
    };
    const Case cases[] = {
        {{16, 16}, {16, 16}, 16},
        {{8, 8}, {8, 8}, 16},
        {{17, 17}, {17, 17}, 32},
        {{22, 22}, {22, 22}, 32},
        {{64, 64}, {64, 64}, 64},
        {{65, 65}, {65, 65}, 256},
        {{256, 256}, {256, 256}, 256},
        {{512, 512}, {256, 256}, 256},
        // 40 × 20 is 800 pixels: the 32 file (1024) is the first large enough,
        // shrunk to fit the 20 pixels' height.
        {{40, 20}, {20, 20}, 32},
    };
    for (int round = 0; round < 2; ++round) {
        for (const Case& c : cases) {
            SCOPED_TRACE(QStringLiteral("%1x%2 round %3")
                             .arg(c.requested.width())
                             .arg(c.requested.height())
                             .arg(round)
                             .toStdString());
            EXPECT_EQ(icon.actualSize(c.requested), c.served);
            const QImage image = icon.pixmap(c.requested).toImage();
            ASSERT_EQ(image.size(), c.served);
            EXPECT_EQ(qRed(image.pixel(c.served.width() / 2, c.served.height() / 2)),
                      c.fromFile - 1);
        }
    }
    EXPECT_EQ(icon.availableSizes(), QList<QSize>({{16, 16}, {32, 32}, {64, 64}, {256, 256}}));
}

TEST(OnDemandIconEngine, MissingFileGivesAnEmptyPixmapAndNoFilesNoSizes)
{
    const QIcon missing(
        new OnDemandIconEngine({iconFile(32, QStringLiteral(":/no/such.png"))}, 32));
    EXPECT_TRUE(missing.pixmap(QSize(32, 32)).isNull());
    const QIcon none(new OnDemandIconEngine({}, 32));
    EXPECT_TRUE(none.availableSizes().isEmpty());
    EXPECT_FALSE(none.actualSize(QSize(32, 32)).isValid());
}

TEST(OnDemandIconEngine, ApplicationIconOffersEverySizeItCarries)
{
    const QIcon icon = flowloom::app::applicationIcon();
    const QList<QSize> expected = {{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}};
    EXPECT_EQ(icon.availableSizes(), expected);
    for (const QSize& size : expected)
        EXPECT_EQ(icon.pixmap(size).size(), size);
}

TEST(OnDemandIconEngine, KeepsThePicturesUpToTheKeptSizeAndMakesTheOthersAtEachRequest)
{
    std::map<int, int> made; // size -> times made
    std::vector<IconPicture> pictures;
    for (const int size : {16, 32, 128}) {
        pictures.push_back({size,
                            [size, &made] {
                                ++made[size];
                                QPixmap pixmap(size, size);
                                pixmap.fill(Qt::red);
                                return pixmap;
                            },
                            {}});
    }
    const QIcon icon(new OnDemandIconEngine(std::move(pictures), 32));
    const int requests = 3;
    for (int i = 0; i < requests; ++i)
        for (const int size : {16, 32, 128})
            ASSERT_EQ(icon.pixmap(QSize(size, size)).size(), QSize(size, size));
    EXPECT_EQ(made, (std::map<int, int>{{16, 1}, {32, 1}, {128, requests}}));
}

// The tool bar's pictures are drawn when painted; what a button shows must
// be what Qt's own icon of the same drawing shows, in every mode.
TEST(OnDemandIconEngine, ToolIconsLookAsQtsOwnIconOfTheSameDrawing)
{
    using flowloom::app::ToolIcon;
    const ToolIcon icons[] = {ToolIcon::Start,  ToolIcon::Stop,  ToolIcon::Clear, ToolIcon::Line,
                              ToolIcon::ThreeD, ToolIcon::Swap,  ToolIcon::Stay,  ToolIcon::Save,
                              ToolIcon::Copy,   ToolIcon::Print, ToolIcon::Help};
    for (const ToolIcon which : icons) {
        SCOPED_TRACE(static_cast<int>(which));
        const QIcon drawn = flowloom::app::toolIcon(which);
        const QPixmap full = drawn.pixmap(QSize(44, 44));
        ASSERT_EQ(full.size(), QSize(44, 44));
        const QIcon qts(full);
        for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active}) {
            for (const int size : {22, 44, 16}) {
                const QImage expected = qts.pixmap(QSize(size, size), mode).toImage();
                const QImage got = drawn.pixmap(QSize(size, size), mode).toImage();
                EXPECT_EQ(got.convertToFormat(expected.format()), expected)
                    << "mode " << mode << " size " << size;
            }
        }
    }
}

// The notification area paints the icon into its own rectangle: the picture
// is fitted into it and centred, the rest left as it was.
TEST(OnDemandIconEngine, PaintsTheFittedPictureCentredInTheRectangle)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QIcon icon(new OnDemandIconEngine(writeFiles(dir, {16, 32}), 32));
    struct Case
    {
        QRect rect;
        QRect picture; // where the picture lands: the rectangle's largest centred square
        int fromFile;
    };
    const Case cases[] = {
        {{0, 0, 40, 24}, {8, 0, 24, 24}, 32},
        {{4, 6, 16, 30}, {4, 13, 16, 16}, 16},
        {{0, 0, 48, 48}, {8, 8, 32, 32}, 32}, // never grown beyond the largest file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rect.width());
        QImage canvas(60, 60, QImage::Format_ARGB32);
        canvas.fill(Qt::transparent);
        {
            QPainter painter(&canvas);
            icon.paint(&painter, c.rect);
        }
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const QRgb pixel = canvas.pixel(x, y);
                if (c.picture.contains(x, y)) {
                    ASSERT_EQ(qRed(pixel), c.fromFile - 1) << x << "," << y;
                    ASSERT_EQ(qAlpha(pixel), 255) << x << "," << y;
                } else {
                    ASSERT_EQ(qAlpha(pixel), 0) << x << "," << y;
                }
            }
        }
    }
}

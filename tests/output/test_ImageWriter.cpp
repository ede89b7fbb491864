#include "output/encoders/EncodeError.h"
#include "output/glue/ImageWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

using namespace flowloom::output;

namespace {

// Every pixel different and no channel equal to another, so a flip, a shift or
// a swap of red and blue shows.
QRgb fixtureColour(int x, int y)
{
    return qRgb(10 + 40 * x, 5 + 50 * y, 250 - 30 * x - 20 * y);
}

QImage fixture(QImage::Format format = QImage::Format_RGB32)
{
    QImage image(6, 5, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, fixtureColour(x, y));
    return image.convertToFormat(format);
}

void expectFixture(const QImage& read)
{
    ASSERT_EQ(read.size(), QSize(6, 5));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(read.pixel(x, y), fixtureColour(x, y)) << x << "," << y;
}

} // namespace

TEST(ImageWriter, FilesReadBackWithThePixelsWritten)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("f.png"));
    const QString bmp = dir.filePath(QStringLiteral("f.bmp"));
    EXPECT_FALSE(ImageWriter::saveToFile(fixture(), ImageType::Png, png, 90));
    EXPECT_FALSE(ImageWriter::saveToFile(fixture(), ImageType::Bmp, bmp, 90));
    expectFixture(QImage(png, "PNG"));
    expectFixture(QImage(bmp, "BMP"));

    // Other pixel formats are converted; a padded external buffer is read by rows.
    EXPECT_FALSE(ImageWriter::saveToFile(fixture(QImage::Format_RGB888), ImageType::Png, png, 90));
    expectFixture(QImage(png, "PNG"));
    const QImage source = fixture();
    std::vector<uchar> padded(5 * (6 * 4 + 8), 0xEE);
    for (int y = 0; y < 5; ++y)
        std::memcpy(padded.data() + y * (6 * 4 + 8), source.constScanLine(y), 6 * 4);
    const QImage strided(padded.data(), 6, 5, 6 * 4 + 8, QImage::Format_RGB32);
    EXPECT_FALSE(ImageWriter::saveToFile(strided, ImageType::Png, png, 90));
    expectFixture(QImage(png, "PNG"));

    // JPEG keeps a flat colour within a few levels; GIF writes the cube's
    // levels (v + 3) div 51: 200 -> 3 (153), 100 -> 2 (102), 30 -> 0.
    QImage flat(16, 16, QImage::Format_RGB32);
    flat.fill(qRgb(200, 100, 30));
    const QString jpg = dir.filePath(QStringLiteral("f.jpg"));
    const QString gif = dir.filePath(QStringLiteral("f.gif"));
    EXPECT_FALSE(ImageWriter::saveToFile(flat, ImageType::Jpeg, jpg, 90));
    EXPECT_FALSE(ImageWriter::saveToFile(flat, ImageType::Gif, gif, 90));
    const QRgb j = QImage(jpg, "JPEG").pixel(8, 8);
    EXPECT_NEAR(qRed(j), 200, 3);
    EXPECT_NEAR(qGreen(j), 100, 3);
    EXPECT_NEAR(qBlue(j), 30, 3);
    EXPECT_EQ(QImage(gif, "GIF").pixel(8, 8), qRgb(153, 102, 0));
}

TEST(ImageWriter, MemoryImagesDecodeAndFailuresAreValues)
{
    const ImageWriter::Encoded png = ImageWriter::encodeToMemory(fixture(), ImageType::Png, 80);
    ASSERT_FALSE(png.error);
    expectFixture(QImage::fromData(png.bytes.data(), static_cast<int>(png.bytes.size()), "PNG"));

    const ImageWriter::Encoded none = ImageWriter::encodeToMemory(QImage(), ImageType::Jpeg, 80);
    EXPECT_EQ(none.error, make_error_code(EncodeError::InvalidImage));
    EXPECT_TRUE(none.bytes.empty());
}

TEST(ImageWriter, AFileThatCannotBeCreatedGivesTheFullPathAndTheSystemsReason)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no-such-folder/g.jpg"));
    EXPECT_EQ(ImageWriter::saveToFile(fixture(), ImageType::Jpeg, missing, 90),
              QStringLiteral("Cannot create file \"") + missing + QStringLiteral("\". ") +
                  QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_FALSE(QFile::exists(missing));

    // A relative name is shown as the full path it stands for.
    const QString relative = QStringLiteral("no-such-folder-4711/g.png");
    const std::optional<QString> message =
        ImageWriter::saveToFile(fixture(), ImageType::Png, relative, 90);
    ASSERT_TRUE(message);
    EXPECT_TRUE(message->startsWith(QStringLiteral("Cannot create file \"") +
                                    QDir::current().absoluteFilePath(relative) +
                                    QStringLiteral("\". ")))
        << message->toStdString();
}

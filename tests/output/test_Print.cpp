#include "output/glue/ClipboardPrint.h"
#include "output/rules/PrintScale.h"

#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <vector>

using namespace flowloom::output;

namespace {

// A PDF transformation matrix [a b c d e f]: x' = a x + c y + e, y' = b x + d y + f.
using Matrix = std::array<double, 6>;

Matrix multiply(const Matrix& m, const Matrix& n) // m then n
{
    return {m[0] * n[0] + m[1] * n[2],        m[0] * n[1] + m[1] * n[3],
            m[2] * n[0] + m[3] * n[2],        m[2] * n[1] + m[3] * n[3],
            m[4] * n[0] + m[5] * n[2] + n[4], m[4] * n[1] + m[5] * n[3] + n[5]};
}

QByteArray inflated(const QByteArray& data)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {};
    QByteArray out;
    std::array<char, 16384> buffer{};
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = buffer.size();
        status = inflate(&z, Z_NO_FLUSH);
        out.append(buffer.data(), static_cast<qsizetype>(buffer.size() - z.avail_out));
    }
    inflateEnd(&z);
    return status == Z_STREAM_END ? out : QByteArray();
}

// The page of a one-page PDF as written by a PDF printer: the height of its
// media box in points, and where each image drawn on it lands (the image's
// unit square through the current matrix), read from the page's content stream.
struct PdfPage
{
    double heightPt = 0;
    std::vector<Matrix> images;
};

PdfPage readPage(const QByteArray& pdf)
{
    PdfPage page;
    const auto box =
        QRegularExpression(
            QStringLiteral(R"(/MediaBox\s*\[\s*[\d.]+\s+([\d.]+)\s+[\d.]+\s+([\d.]+)\s*\])"))
            .match(QString::fromLatin1(pdf));
    if (!box.hasMatch())
        return page;
    page.heightPt = box.captured(2).toDouble() - box.captured(1).toDouble();

    // The page's content stream is the one stream that draws an object ("Do").
    QByteArray stream;
    for (qsizetype at = pdf.indexOf("stream\n"); at >= 0 && stream.isEmpty();
         at = pdf.indexOf("stream\n", at + 1)) {
        const qsizetype end = pdf.indexOf("endstream", at);
        const QByteArray data = inflated(pdf.mid(at + 7, end - at - 7));
        if (data.contains(" Do"))
            stream = data;
    }

    Matrix ctm{1, 0, 0, 1, 0, 0};
    std::vector<Matrix> saved;
    std::vector<double> operands;
    for (const QByteArray& token : stream.simplified().split(' ')) {
        bool number = false;
        const double value = token.toDouble(&number);
        if (number) {
            operands.push_back(value);
            continue;
        }
        if (token == "q") {
            saved.push_back(ctm);
        } else if (token == "Q" && !saved.empty()) {
            ctm = saved.back();
            saved.pop_back();
        } else if (token == "cm" && operands.size() >= 6) {
            const auto m = operands.end() - 6;
            ctm = multiply(Matrix{m[0], m[1], m[2], m[3], m[4], m[5]}, ctm);
        } else if (token == "Do") {
            page.images.push_back(ctm);
        }
        if (!token.startsWith('/'))
            operands.clear();
    }
    return page;
}

} // namespace

TEST(Print, WholeRatiosOfPrinterToScreenResolution)
{
    EXPECT_EQ(PrintScale(600, 600, 96).fx(), 6); // 6.25 truncated
    const PrintScale mixed(600, 300, 96);
    EXPECT_EQ(mixed.fx(), 6);
    EXPECT_EQ(mixed.fy(), 3);
    EXPECT_EQ(mixed.target(150, 100), (PrintScale::Rect{0, 0, 900, 300}));
    // A printer coarser than the screen still prints the image, at one dot per pixel.
    EXPECT_EQ(PrintScale(72, 72, 96).target(150, 150), (PrintScale::Rect{0, 0, 150, 150}));
    EXPECT_EQ(PrintScale(600, 600, 0).fx(), 600);
}

TEST(Print, A150PixelImageFills900DotsAtTheTopLeftOfA600DpiPage)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("graph.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setResolution(600);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0)); // the printable area is the page
    QImage image(150, 150, QImage::Format_RGB32);
    image.fill(qRgb(200, 0, 0));

    PrintScale::Rect used;
    EXPECT_FALSE(ClipboardPrint::print(printer, image, 96, &used));
    EXPECT_EQ(used, (PrintScale::Rect{0, 0, 900, 900}));

    QFile pdf(file);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const PdfPage page = readPage(pdf.readAll());
    ASSERT_GT(page.heightPt, 0.0);
    ASSERT_EQ(page.images.size(), 1u);
    // The image's unit square in points, turned into 600 dpi dots from the
    // page's top-left corner: (0, 0) to (900, 900).
    const Matrix& m = page.images.front();
    const double dotsPerPoint = 600.0 / 72.0;
    const double left = std::min(m[4], m[4] + m[0]) * dotsPerPoint;
    const double right = std::max(m[4], m[4] + m[0]) * dotsPerPoint;
    const double top = (page.heightPt - std::max(m[5], m[5] + m[3])) * dotsPerPoint;
    const double bottom = (page.heightPt - std::min(m[5], m[5] + m[3])) * dotsPerPoint;
    EXPECT_NEAR(left, 0.0, 0.5);
    EXPECT_NEAR(top, 0.0, 0.5);
    EXPECT_NEAR(right, 900.0, 0.5);
    EXPECT_NEAR(bottom, 900.0, 0.5);
    EXPECT_NEAR(m[1], 0.0, 1e-9); // not rotated or sheared
    EXPECT_NEAR(m[2], 0.0, 1e-9);
}

TEST(Print, AJobThatCannotStartIsReported)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("missing/graph.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::white);
    EXPECT_EQ(ClipboardPrint::print(printer, image, 96),
              QStringLiteral("Printing on \"%1\" could not start.").arg(file));
    EXPECT_FALSE(QFile::exists(file));
}

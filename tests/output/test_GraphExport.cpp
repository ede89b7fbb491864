#include "GraphFixture.h"
#include "output/glue/GraphExport.h"

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace flowloom;
using output::ExportSettings;
using output::GraphExport;
using output::ImageType;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage decoded(const std::vector<std::uint8_t>& bytes)
{
    return QImage::fromData(bytes.data(), static_cast<int>(bytes.size()));
}

} // namespace

TEST(GraphExport, SaveAsWritesTheImageTypeWhateverTheNameSays)
{
    test::GraphFixture graph;
    QTemporaryDir dir;
    ExportSettings settings;
    settings.type = ImageType::Gif;
    settings.percent = 20;

    // The dialog opens in the given folder with GIF preselected; the user picks
    // the PNG filter and types a ".png" name.
    QString preselected;
    QString folder;
    test::onNextModal<QFileDialog>([&](QFileDialog& dialog) {
        preselected = dialog.selectedNameFilter();
        folder = dialog.directory().absolutePath();
        dialog.selectNameFilter(QStringLiteral("PNG Image File (*.png)"));
        test::typeAndAccept(dialog, dir.filePath(QStringLiteral("typed.png")));
    });
    EXPECT_FALSE(GraphExport::SaveAs1Click(nullptr, graph.widget, settings, dir.path()));
    EXPECT_EQ(preselected, QStringLiteral("GIF Image File (*.gif)"));
    EXPECT_EQ(folder, QDir(dir.path()).absolutePath());
    const QByteArray gif = fileBytes(dir.filePath(QStringLiteral("typed.png")));
    ASSERT_GE(gif.size(), 10);
    EXPECT_TRUE(gif.startsWith("GIF8"));
    // Logical screen size, little-endian: the files' size rule, 20 % of 791 x 385.
    EXPECT_EQ(static_cast<unsigned char>(gif[6]) | static_cast<unsigned char>(gif[7]) << 8, 158);
    EXPECT_EQ(static_cast<unsigned char>(gif[8]) | static_cast<unsigned char>(gif[9]) << 8, 77);

    // Cancelling writes nothing.
    test::onNextModal<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(GraphExport::SaveAs1Click(nullptr, graph.widget, settings, dir.path()));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"typed.png"});
}

TEST(GraphExport, ClipboardGetsTheSnapshotOfItsOwnSizeRule)
{
    test::GraphFixture graph;
    ExportSettings settings;
    settings.percentMode = false;
    settings.width = 300;
    settings.height = 200;
    settings.cbClip = false;
    EXPECT_FALSE(GraphExport::btnCopyClick(graph.widget, settings));
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(791, 385));

    settings.cbClip = true;
    EXPECT_FALSE(GraphExport::btnCopyClick(graph.widget, settings));
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(300, 200));

    settings.width = settings.height = 30000;
    EXPECT_EQ(GraphExport::btnCopyClick(graph.widget, settings),
              QStringLiteral("Not enough memory for a 30000 x 30000 image."));
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(300, 200));
}

TEST(GraphExport, WebImageIsTheGraphOrTheStatisticsImage)
{
    test::GraphFixture graph;
    ExportSettings settings;
    settings.percent = 50;
    settings.cbHTTP = true;
    settings.gray = true;
    settings.type = ImageType::Png;
    int statisticsDrawn = 0;
    const GraphExport::StatisticsImage statistics = [&]() -> std::optional<QImage> {
        ++statisticsDrawn;
        QImage image(40, 12, QImage::Format_RGB32);
        image.fill(qRgb(0, 0, 255));
        return image;
    };

    GraphExport::WebImage web = GraphExport::SaveTemp(graph.widget, settings, "", statistics);
    ASSERT_TRUE(web.ok()) << web.error.toStdString();
    const QImage graphImage = decoded(web.bytes);
    EXPECT_EQ(graphImage.size(), QSize(395, 192));
    EXPECT_TRUE(graphImage.allGray());
    EXPECT_EQ(statisticsDrawn, 0);

    web = GraphExport::SaveTemp(graph.widget, settings, "stats", statistics);
    ASSERT_TRUE(web.ok());
    EXPECT_EQ(decoded(web.bytes).pixel(5, 5), qRgb(0, 0, 255)); // never made grey
    EXPECT_EQ(statisticsDrawn, 1);

    settings.type = ImageType::Jpeg;
    web = GraphExport::SaveTemp(graph.widget, settings, "stats", statistics);
    ASSERT_TRUE(web.ok());
    EXPECT_EQ(web.bytes.at(0), 0xFF);
    EXPECT_EQ(web.bytes.at(1), 0xD8);

    web = GraphExport::SaveTemp(graph.widget, settings, "stats", [] { return std::nullopt; });
    EXPECT_FALSE(web.ok());
    EXPECT_TRUE(web.bytes.empty());
}

#include "GraphFixture.h"
#include "support/FileSizeLimit.h"
#include "output/glue/FolderChooser.h"
#include "output/glue/PageCapture.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace flowloom;
using output::ImageType;
using output::PageCapture;

namespace {

PageCapture::Settings captureInto(const QString& folder, const QString& label = "T")
{
    PageCapture::Settings settings;
    settings.folder = folder;
    settings.label = label;
    settings.capture = true;
    settings.image.type = ImageType::Png;
    return settings;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

} // namespace

TEST(PageCapture, CaptureNowWritesTheNamedFileAndNumbersASecondOneWithinTheMinute)
{
    test::GraphFixture graph;
    QTemporaryDir dir;
    PageCapture::Settings settings = captureInto(dir.path(), QStringLiteral("KBytes / sec"));
    settings.image.type = ImageType::Jpeg;
    settings.image.percent = 20;
    const sampling::DateTime now{2026, 12, 6, 19, 44, 5};

    EXPECT_FALSE(PageCapture::btnSaveClick(graph.widget, settings, now));
    const QString first = dir.filePath(QStringLiteral("KBytes _ sec-2026Dec06-1944.jpg"));
    const QByteArray firstBytes = [&] {
        QFile file(first);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    // A second and third capture in the same minute keep the first.
    settings.image.percent = 40;
    EXPECT_FALSE(PageCapture::btnSaveClick(graph.widget, settings, {2026, 12, 6, 19, 44, 50}));
    EXPECT_FALSE(PageCapture::btnSaveClick(graph.widget, settings, {2026, 12, 6, 19, 44, 59}));
    EXPECT_EQ(filesIn(dir.path()), QStringList({"KBytes _ sec-2026Dec06-1944-2.jpg",
                                                "KBytes _ sec-2026Dec06-1944-3.jpg",
                                                "KBytes _ sec-2026Dec06-1944.jpg"}));
    QFile kept(first);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), firstBytes);
    EXPECT_EQ(QImage(first, "JPEG").size(), QSize(158, 77));
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("KBytes _ sec-2026Dec06-1944-2.jpg")), "JPEG").size(),
              QSize(316, 154));

    settings.image.type = ImageType::Png;
    EXPECT_FALSE(PageCapture::btnSaveClick(graph.widget, settings, now));
    EXPECT_EQ(filesIn(dir.path()).size(), 4) << "another extension is another name";

    settings.folder = dir.filePath(QStringLiteral("gone"));
    EXPECT_EQ(PageCapture::btnSaveClick(graph.widget, settings, now),
              QStringLiteral("Cannot create file \"") + dir.filePath(QStringLiteral("gone")) +
                  QStringLiteral("/KBytes _ sec-2026Dec06-1944.png\". ") +
                  QString::fromLocal8Bit(std::strerror(ENOENT)));
}

TEST(PageCapture, TickCapturesOncePerPageOnceTheFolderExistsAndRetriesFailures)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("pages"));
    test::GraphFixture graph(10, 0);
    graph.secondsPerTick = 60; // one minute per tick: every capture has its own name
    const PageCapture::Settings settings = captureInto(folder);
    graph.capture = [&] {
        return PageCapture::captureOnTick(graph.widget, settings, graph.counters.CaptureCount,
                                          graph.settings.pointsPerPage, graph.now());
    };

    for (int i = 0; i < 13; ++i) // no folder: skipped silently, the count runs on
        graph.tick();
    EXPECT_EQ(graph.counters.CaptureCount, 13);
    ASSERT_TRUE(QDir().mkpath(folder));
    // Tick 14 (19:58) captures at once; tick 24 (20:08) is a page later. The
    // disk refuses tick 24's image: the count is kept, so tick 25 (20:09)
    // tries again, and no partly written file is left.
    for (int i = 0; i < 10; ++i)
        graph.tick();
    {
        test::FileSizeLimit full(64);
        graph.tick();
    }
    EXPECT_EQ(graph.counters.CaptureCount, 10) << "kept after the failed write";
    graph.tick();
    EXPECT_EQ(filesIn(folder), (QStringList{"T-2026Dec06-1958.png", "T-2026Dec06-2009.png"}));
    EXPECT_EQ(graph.counters.CaptureCount, 0);
}

TEST(PageCapture, ShutdownCaptureOnlyWhenArmedAndTheFolderExists)
{
    test::GraphFixture graph;
    QTemporaryDir dir;
    PageCapture::Settings settings = captureInto(dir.path());
    const sampling::DateTime now{2026, 12, 6, 19, 44, 0};
    settings.capture = false;
    EXPECT_FALSE(PageCapture::shutdownCapture(graph.widget, settings, now));
    EXPECT_TRUE(filesIn(dir.path()).isEmpty());
    settings.capture = true;
    settings.folder = dir.filePath(QStringLiteral("missing"));
    EXPECT_FALSE(PageCapture::shutdownCapture(graph.widget, settings, now));
    settings.folder = dir.path();
    EXPECT_FALSE(PageCapture::shutdownCapture(graph.widget, settings, now));
    EXPECT_EQ(filesIn(dir.path()), QStringList{"T-2026Dec06-1944.png"});
}

TEST(PageCapture, ControlsFollowTheFolderAndTheBrowserKeepsTheTextOnCancel)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing"));
    EXPECT_TRUE(PageCapture::edFolderChange(dir.path()));
    EXPECT_TRUE(PageCapture::edFolderChange(dir.path() + QLatin1Char('/')));
    EXPECT_FALSE(PageCapture::edFolderChange(missing));
    EXPECT_FALSE(PageCapture::PopupMenu3Popup(missing));
    EXPECT_TRUE(PageCapture::cbCaptureClick(true, dir.path()));
    EXPECT_FALSE(PageCapture::cbCaptureClick(true, missing));
    EXPECT_FALSE(PageCapture::cbCaptureClick(false, dir.path()));

    QString title;
    bool foldersOnly = false;
    test::onNextModal<QFileDialog>([&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        foldersOnly = dialog.fileMode() == QFileDialog::Directory;
        dialog.reject();
    });
    EXPECT_EQ(PageCapture::btnBrowseClick(nullptr, missing), missing);
    EXPECT_EQ(title, QStringLiteral("Select folder"));
    EXPECT_TRUE(foldersOnly);

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("chosen")));
    test::onNextModal<QFileDialog>([&](QFileDialog& dialog) {
        test::typeAndAccept(dialog, dir.filePath(QStringLiteral("chosen")));
    });
    EXPECT_EQ(output::FolderChooser::GetFolder(nullptr, missing),
              dir.filePath(QStringLiteral("chosen")));
}

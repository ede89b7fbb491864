#include "output/glue/PageCapture.h"

#include "graph/ChartWidget.h"
#include "output/glue/FolderChooser.h"
#include "output/glue/GraphSnapshot.h"
#include "output/glue/ImageWriter.h"
#include "output/rules/CaptureFileName.h"
#include "output/rules/CaptureTrigger.h"

#include <QFile>

namespace flowloom::output {

QString PageCapture::fileName(const Settings& settings, const sampling::DateTime& now)
{
    return QString::fromStdString(CaptureFileName::build(
        settings.folder.toStdString(), settings.label.toStdString(), now, settings.image.type));
}

std::optional<QString> PageCapture::btnSaveClick(const graph::ChartWidget& graph,
                                                 const Settings& settings,
                                                 const sampling::DateTime& now)
{
    const GraphSnapshot::Result snapshot = GraphSnapshot::take(
        graph, settings.image.sizeRuleFor(Destination::Files), settings.image.gray);
    if (!snapshot.ok())
        return snapshot.error;
    return ImageWriter::saveAsNewFile(snapshot.image, settings.image.type,
                                      fileName(settings, now), ImageWriter::kFileJpegQuality);
}

bool PageCapture::captureOnTick(const graph::ChartWidget& graph, const Settings& settings,
                                std::int32_t captureCount, int pointsPerPage,
                                const sampling::DateTime& now)
{
    if (!CaptureTrigger::due(captureCount, pointsPerPage, folderExists(settings.folder),
                             settings.capture))
        return false;
    return !btnSaveClick(graph, settings, now).has_value();
}

std::optional<QString> PageCapture::shutdownCapture(const graph::ChartWidget& graph,
                                                    const Settings& settings,
                                                    const sampling::DateTime& now)
{
    if (!settings.capture || !folderExists(settings.folder))
        return std::nullopt;
    return btnSaveClick(graph, settings, now);
}

bool PageCapture::folderExists(const QString& folder)
{
    return CaptureTrigger::folderExists(QFile::encodeName(folder).toStdString());
}

bool PageCapture::cbCaptureClick(bool captureChecked, const QString& folder)
{
    return captureChecked && folderExists(folder);
}

QString PageCapture::btnBrowseClick(QWidget* owner, const QString& folder)
{
    return FolderChooser::GetFolder(owner, folder);
}

} // namespace flowloom::output

#include "output/glue/GraphExport.h"

#include "graph/ChartWidget.h"
#include "output/glue/ClipboardPrint.h"
#include "output/glue/GraphSnapshot.h"
#include "output/glue/ImageWriter.h"
#include "output/glue/SaveAsDialog.h"

namespace flowloom::output {

namespace {

GraphSnapshot::Result snapshotFor(const graph::ChartWidget& graph, const ExportSettings& settings,
                                  Destination destination)
{
    return GraphSnapshot::take(graph, settings.sizeRuleFor(destination), settings.gray);
}

SizeRule::Size sizeOf(QSize size)
{
    return {size.width(), size.height()};
}

} // namespace

std::optional<QString> GraphExport::SaveAs1Click(QWidget* owner, const graph::ChartWidget& graph,
                                                 const ExportSettings& settings,
                                                 const QString& initialFolder)
{
    const std::optional<QString> path = SaveAsDialog::getPath(owner, settings.type, initialFolder);
    if (!path)
        return std::nullopt;
    return saveAs(graph, settings, *path);
}

std::optional<QString> GraphExport::saveAs(const graph::ChartWidget& graph,
                                           const ExportSettings& settings, const QString& path)
{
    const GraphSnapshot::Result snapshot = snapshotFor(graph, settings, Destination::Files);
    if (!snapshot.ok())
        return snapshot.error;
    return ImageWriter::saveToFile(snapshot.image, settings.type, path,
                                   ImageWriter::kFileJpegQuality);
}

std::optional<QString> GraphExport::btnCopyClick(const graph::ChartWidget& graph,
                                                 const ExportSettings& settings)
{
    const GraphSnapshot::Result snapshot = snapshotFor(graph, settings, Destination::Clipboard);
    if (!snapshot.ok())
        return snapshot.error;
    ClipboardPrint::copyToClipboard(snapshot.image);
    return std::nullopt;
}

std::optional<QString> GraphExport::btnPrintClick(const graph::ChartWidget& graph,
                                                  const ExportSettings& settings, QPrinter& printer)
{
    const GraphSnapshot::Result snapshot = snapshotFor(graph, settings, Destination::Printer);
    if (!snapshot.ok())
        return snapshot.error;
    return ClipboardPrint::print(printer, snapshot.image, ClipboardPrint::screenPpi(graph));
}

std::optional<QString> GraphExport::Print1Click(QWidget* owner, const graph::ChartWidget& graph,
                                                const ExportSettings& settings, QPrinter& printer)
{
    if (!ClipboardPrint::printDialog(owner, printer))
        return std::nullopt;
    return btnPrintClick(graph, settings, printer);
}

void GraphExport::PrinterSetup1Click(QWidget* owner, QPrinter& printer)
{
    ClipboardPrint::printerSetupDialog(owner, printer);
}

GraphExport::WebImage GraphExport::SaveTemp(const graph::ChartWidget& graph,
                                            const ExportSettings& settings, std::string_view text,
                                            const StatisticsImage& statisticsImage)
{
    WebImage result;
    QImage image;
    if (text.empty()) {
        GraphSnapshot::Result snapshot = snapshotFor(graph, settings, Destination::WebImage);
        if (!snapshot.ok()) {
            result.error = snapshot.error;
            return result;
        }
        image = std::move(snapshot.image);
    } else {
        std::optional<QImage> drawn = statisticsImage ? statisticsImage() : std::nullopt;
        if (!drawn || drawn->isNull()) {
            result.error = QStringLiteral("The statistics image cannot be made.");
            return result;
        }
        image = std::move(*drawn);
    }
    ImageWriter::Encoded encoded =
        ImageWriter::encodeToMemory(image, settings.type, ImageWriter::kWebJpegQuality);
    if (encoded.error) {
        result.error = QString::fromStdString(encoded.error.message());
        return result;
    }
    result.bytes = std::move(encoded.bytes);
    return result;
}

GraphExport::SizeLabels GraphExport::FormResize(QSize graphSize, int percent)
{
    return {QString::fromStdString(SizeRule::screenSizeNote(sizeOf(graphSize))),
            spPercentChange(graphSize, percent)};
}

QString GraphExport::spPercentChange(QSize graphSize, int percent)
{
    return QString::fromStdString(SizeRule::percentPreview(percent, sizeOf(graphSize)));
}

GraphExport::SizeControls GraphExport::rbPercentClick(bool percentChecked, bool pixelsChecked)
{
    return {percentChecked, pixelsChecked};
}

} // namespace flowloom::output

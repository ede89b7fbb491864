#pragma once

#include "output/rules/ExportSettings.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

class QPrinter;
class QWidget;

namespace flowloom::graph {
class ChartWidget;
}

namespace flowloom::output {

// The window's handlers for the graph's still images: "Save As...", "Copy to
// clipboard", "Print Graph", "Print...", "Printer Setup...", the web image and
// the size previews. Each takes the " Image Capture " page's values as they
// are now and returns what the window must show; an operation that fails
// returns the text for a message box, and the graph on screen is never
// disturbed.
class GraphExport
{
public:
    // "Save As...": the file dialog in initialFolder, then the snapshot for
    // files written in the image type (JPEG quality 90). Nothing when done or
    // cancelled; cancelling renders nothing.
    static std::optional<QString> SaveAs1Click(QWidget* owner, const graph::ChartWidget& graph,
                                               const ExportSettings& settings,
                                               const QString& initialFolder);
    // Its second half, once a path is chosen.
    static std::optional<QString> saveAs(const graph::ChartWidget& graph,
                                         const ExportSettings& settings, const QString& path);

    // "Copy to clipboard" (and the popup's "Copy").
    static std::optional<QString> btnCopyClick(const graph::ChartWidget& graph,
                                               const ExportSettings& settings);

    // "Print Graph": prints at once on printer.
    static std::optional<QString> btnPrintClick(const graph::ChartWidget& graph,
                                                const ExportSettings& settings, QPrinter& printer);
    // "Print...": the printer dialog first; nothing happens when it is cancelled.
    static std::optional<QString> Print1Click(QWidget* owner, const graph::ChartWidget& graph,
                                              const ExportSettings& settings, QPrinter& printer);
    // "Printer Setup...".
    static void PrinterSetup1Click(QWidget* owner, QPrinter& printer);

    struct WebImage
    {
        std::vector<std::uint8_t> bytes; // one encoded image, owned by the request
        QString error;                   // empty on success
        bool ok() const { return error.isEmpty(); }
    };
    // Draws the statistics image; nothing when it cannot be made.
    using StatisticsImage = std::function<std::optional<QImage>()>;
    // SaveTemp: with an empty text the graph under the web image's size rule
    // (grey when cbGray is checked), else the statistics image (never grey);
    // encoded in the image type, JPEG at quality 80. Runs on the thread that
    // owns the graph; every call makes a buffer of its own.
    static WebImage SaveTemp(const graph::ChartWidget& graph, const ExportSettings& settings,
                             std::string_view text, const StatisticsImage& statisticsImage);

    struct SizeLabels
    {
        QString note;         // under "Applies to..."
        QString percentLabel; // beside spPercent
    };
    // FormResize: both labels for the graph's current size.
    static SizeLabels FormResize(QSize graphSize, int percent);
    // spPercentChange: the label beside spPercent.
    static QString spPercentChange(QSize graphSize, int percent);

    struct SizeControls
    {
        bool percent; // spPercent and its label
        bool pixels;  // spGrWidth, spGrHeight and the labels "Width", "Height", "x"
    };
    // rbPercentClick (both size-mode buttons, and start-up): which are
    // enabled. Each group goes with its own button, so with neither button
    // checked (as a settings file can leave them) neither group is.
    static SizeControls rbPercentClick(bool percentChecked, bool pixelsChecked);
};

} // namespace flowloom::output

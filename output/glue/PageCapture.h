#pragma once

#include "output/rules/ExportSettings.h"
#include "sampling/DateTime.h"

#include <QString>

#include <cstdint>
#include <optional>

class QWidget;

namespace flowloom::graph {
class ChartWidget;
}

namespace flowloom::output {

// The window's handlers for page capture: "Capture Now", the popup's "Save",
// the capture of each completed page, the last capture at close, and the
// rules that enable the capture controls and show the indicator.
class PageCapture
{
public:
    struct Settings
    {
        ExportSettings image; // size rule, grey, image type
        QString folder;       // edFolder
        QString label;        // edLabel, the vertical axis label
        bool capture = false; // cbCapture
    };

    // The capture file name for the moment now.
    static QString fileName(const Settings& settings, const sampling::DateTime& now);

    // "Capture Now" and "Save": the snapshot for files written to the capture
    // file name (JPEG quality 90), or, when that name is taken (a second
    // capture within the minute), to the next free numbered name; an earlier
    // capture is never replaced. Nothing on success, else "Cannot create file
    // "%s". %s" (or the snapshot's message).
    static std::optional<QString> btnSaveClick(const graph::ChartWidget& graph,
                                               const Settings& settings,
                                               const sampling::DateTime& now);

    // The capture trigger of a tick: captures when a page has passed since the
    // last capture, the folder exists and cbCapture is checked. Silent; true
    // only when an image was written, and only then may the caller set
    // CaptureCount to 0, so a failed write is tried again on the next tick.
    static bool captureOnTick(const graph::ChartWidget& graph, const Settings& settings,
                              std::int32_t captureCount, int pointsPerPage,
                              const sampling::DateTime& now);

    // At close, before any setting is altered for storage: the page in
    // progress when cbCapture is checked and the folder exists. A failure is
    // returned as for "Capture Now".
    static std::optional<QString> shutdownCapture(const graph::ChartWidget& graph,
                                                  const Settings& settings,
                                                  const sampling::DateTime& now);

    // The capture folder text names an existing directory.
    static bool folderExists(const QString& folder);
    // edFolderChange (and start-up): whether cbCapture and btnSave are
    // enabled. A disabled cbCapture keeps its checked state.
    static bool edFolderChange(const QString& folder) { return folderExists(folder); }
    // PopupMenu3Popup: whether "Save" is enabled.
    static bool PopupMenu3Popup(const QString& folder) { return folderExists(folder); }
    // cbCaptureClick (and start-up): whether the "Capture active" indicator
    // is shown. Nothing else changes it.
    static bool cbCaptureClick(bool captureChecked, const QString& folder);
    // btnBrowseClick: the folder text to put into edFolder (which then runs
    // edFolderChange); the current text when the chooser is cancelled.
    static QString btnBrowseClick(QWidget* owner, const QString& folder);
};

} // namespace flowloom::output

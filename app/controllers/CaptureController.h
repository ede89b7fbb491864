#pragma once

#include "app/Environment.h"
#include "app/MainControls.h"
#ifndef Q_MOC_RUN
#include "output/glue/PageCapture.h"
#include "sampling/RunControl.h"
#include "sampling/StatRec.h"
#endif

#include <QImage>
#include <QObject>
#include <memory>
#include <optional>

class QPrinter;

namespace flowloom::output {
class CaptureIndicator;
struct ExportSettings;
} // namespace flowloom::output

namespace flowloom::app {

// The graph as an image: files, clipboard, printer, the web's snapshot and
// the capture of every completed page.
class CaptureController final : public QObject
{
public:
    CaptureController(const MainControls& ui, const Environment& env, const FileLocations& files,
                      sampling::RunCounters& counters);
    ~CaptureController() override;

    void SaveAs1Click();
    void btnCopyClick();
    void btnPrintClick();
    void Print1Click();
    void PrinterSetup1Click();
    void rbPercentClick();
    void spPercentChange();
    void FormResize();
    void btnSaveClick();
    void cbCaptureClick();
    void edFolderChange();
    void btnBrowseClick();

    // Page capture of a completed page, named after the moment `at` of its
    // tick; true when an image was written.
    bool captureTrigger(const sampling::DateTime& at);
    bool captureFolderExists() const;
    // The page in progress at close; a failure is reported, the close goes on.
    void shutdownCapture();
    // The graph as the web serves it.
    std::optional<QImage> webGraphSnapshot();
    // The "Capture active" indicator on the graph.
    const output::CaptureIndicator& indicator() const { return *m_indicator; }

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    output::ExportSettings exportSettings() const;
    output::PageCapture::Settings captureSettings() const;
    void report(const std::optional<QString>& error);
    QPrinter& printer();

    const MainControls& m_ui;
    const Environment& m_env;
    const FileLocations& m_files;
    sampling::RunCounters& m_counters;
    output::CaptureIndicator* m_indicator; // a child of the graph
    std::unique_ptr<QPrinter> m_printer;
    bool m_sizeLabelsShown = false; // design captions until the first resize
};

} // namespace flowloom::app

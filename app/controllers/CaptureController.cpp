// Graph output on the main window: snapshots, files, clipboard, printer and
// page capture.
#include "app/controllers/CaptureController.h"
#include "app/NumberBox.h"
#include "app/pages/SetupPage.h"
#include "graph/ChartWidget.h"
#include "output/glue/CaptureIndicator.h"
#include "output/glue/GraphExport.h"
#include "output/glue/GraphSnapshot.h"
#include "output/glue/PageCapture.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QToolButton>

namespace flowloom::app {

using output::GraphExport;
using output::PageCapture;

CaptureController::CaptureController(const MainControls& ui, const Environment& env,
                                     const FileLocations& files, sampling::RunCounters& counters)
    : m_ui(ui), m_env(env), m_files(files), m_counters(counters),
      m_indicator(new output::CaptureIndicator(ui.Chart1))
{

    SetupPage& s = *m_ui.Setup;
    connect(m_ui.btnSave, &QToolButton::clicked, this, [this] { btnSaveClick(); });
    connect(m_ui.btnCopy, &QToolButton::clicked, this, [this] { btnCopyClick(); });
    connect(m_ui.btnPrint, &QToolButton::clicked, this, [this] { btnPrintClick(); });
    connect(m_ui.Copy2, &QAction::triggered, this, [this] { btnCopyClick(); });
    connect(m_ui.Save1, &QAction::triggered, this, [this] { btnSaveClick(); });
    connect(m_ui.SaveAs1, &QAction::triggered, this, [this] { SaveAs1Click(); });
    connect(m_ui.Print1, &QAction::triggered, this, [this] { Print1Click(); });
    connect(m_ui.PrinterSetup1, &QAction::triggered, this, [this] { PrinterSetup1Click(); });
    connect(s.cbCapture, &QCheckBox::clicked, this, [this] { cbCaptureClick(); });
    connect(s.edFolder, &QLineEdit::textChanged, this, [this] { edFolderChange(); });
    connect(s.btnBrowse, &QPushButton::clicked, this, [this] { btnBrowseClick(); });
    for (QRadioButton* mode : {s.rbPercent, s.rbPixels})
        connect(mode, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbPercentClick();
        });
    connect(s.spPercent, &NumberBox::valueChanged, this, [this] { spPercentChange(); });
    m_ui.Chart1->installEventFilter(this);
}

CaptureController::~CaptureController() = default;

bool CaptureController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui.Chart1 && event->type() == QEvent::Resize)
        FormResize();
    return QObject::eventFilter(watched, event);
}

output::ExportSettings CaptureController::exportSettings() const
{
    const SetupPage& s = *m_ui.Setup;
    output::ExportSettings settings;
    settings.percentMode = s.rbPercent->isChecked();
    settings.percent = s.spPercent->value();
    settings.width = s.spGrWidth->value();
    settings.height = s.spGrHeight->value();
    settings.cbHTTP = s.cbHTTP->isChecked();
    settings.cbCaptured = s.cbCaptured->isChecked();
    settings.cbClip = s.cbClip->isChecked();
    settings.cbPrint = s.cbPrint->isChecked();
    settings.gray = s.cbGray->isChecked();
    settings.type = m_ui.Setup->imageType();
    return settings;
}

output::PageCapture::Settings CaptureController::captureSettings() const
{
    return {exportSettings(), m_ui.Setup->edFolder->text(), m_ui.Setup->edLabel->text(),
            m_ui.Setup->cbCapture->isChecked()};
}

void CaptureController::report(const std::optional<QString>& error)
{
    if (error)
        m_env.showMessage(error->toStdString());
}

QPrinter& CaptureController::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

// --- Files, clipboard and printer ------------------------------------------------

void CaptureController::SaveAs1Click()
{
    const QString filesFolder = QString::fromStdString(m_files.filesFolder.string());
    report(GraphExport::SaveAs1Click(m_ui.window, *m_ui.Chart1, exportSettings(), filesFolder));
}

void CaptureController::btnCopyClick()
{
    report(GraphExport::btnCopyClick(*m_ui.Chart1, exportSettings()));
}

void CaptureController::btnPrintClick()
{
    report(GraphExport::btnPrintClick(*m_ui.Chart1, exportSettings(), printer()));
}

void CaptureController::Print1Click()
{
    report(GraphExport::Print1Click(m_ui.window, *m_ui.Chart1, exportSettings(), printer()));
}

void CaptureController::PrinterSetup1Click()
{
    GraphExport::PrinterSetup1Click(m_ui.window, printer());
}

std::optional<QImage> CaptureController::webGraphSnapshot()
{
    const output::ExportSettings settings = exportSettings();
    output::GraphSnapshot::Result snapshot = output::GraphSnapshot::take(
        *m_ui.Chart1, settings.sizeRuleFor(output::Destination::WebImage), settings.gray);
    if (!snapshot.ok())
        return std::nullopt;
    return std::move(snapshot.image);
}

// --- Size controls ---------------------------------------------------------------

void CaptureController::rbPercentClick()
{
    SetupPage& s = *m_ui.Setup;
    const GraphExport::SizeControls enabled =
        GraphExport::rbPercentClick(s.rbPercent->isChecked(), s.rbPixels->isChecked());
    s.spPercent->setEnabled(enabled.percent);
    s.PercentLabel->setEnabled(enabled.percent);
    for (QWidget* w : {static_cast<QWidget*>(s.spGrWidth), static_cast<QWidget*>(s.spGrHeight),
                       static_cast<QWidget*>(s.WidthLabel), static_cast<QWidget*>(s.HeightLabel),
                       static_cast<QWidget*>(s.TimesLabel)})
        w->setEnabled(enabled.pixels);
}

void CaptureController::spPercentChange()
{
    if (m_sizeLabelsShown)
        m_ui.Setup->PercentLabel->setText(
            GraphExport::spPercentChange(m_ui.Chart1->size(), m_ui.Setup->spPercent->value()));
}

void CaptureController::FormResize()
{
    const GraphExport::SizeLabels labels =
        GraphExport::FormResize(m_ui.Chart1->size(), m_ui.Setup->spPercent->value());
    m_ui.Setup->SizeNote->setText(labels.note);
    m_ui.Setup->PercentLabel->setText(labels.percentLabel);
    m_sizeLabelsShown = true;
}

// --- Page capture ----------------------------------------------------------------

bool CaptureController::captureFolderExists() const
{
    return PageCapture::folderExists(m_ui.Setup->edFolder->text());
}

void CaptureController::btnSaveClick()
{
    report(PageCapture::btnSaveClick(*m_ui.Chart1, captureSettings(), m_env.clock.now()));
}

bool CaptureController::captureTrigger(const sampling::DateTime& at)
{
    // A capture that cannot be written is retried on the next tick, silently.
    // With capture off no capture is due: its settings are not even gathered.
    if (!m_ui.Setup->cbCapture->isChecked())
        return false;
    return PageCapture::captureOnTick(*m_ui.Chart1, captureSettings(), m_counters.CaptureCount,
                                      m_ui.Setup->spPoints->value(), at);
}

void CaptureController::shutdownCapture()
{
    // A failed last capture is reported like "Capture Now"; the close goes on.
    report(PageCapture::shutdownCapture(*m_ui.Chart1, captureSettings(), m_env.clock.now()));
}

void CaptureController::cbCaptureClick()
{
    m_indicator->setVisible(PageCapture::cbCaptureClick(m_ui.Setup->cbCapture->isChecked(),
                                                        m_ui.Setup->edFolder->text()));
}

void CaptureController::edFolderChange()
{
    const bool exists = PageCapture::edFolderChange(m_ui.Setup->edFolder->text());
    m_ui.Setup->cbCapture->setEnabled(exists);
    m_ui.btnSave->setEnabled(exists);
}

void CaptureController::btnBrowseClick()
{
    m_ui.Setup->edFolder->setText(
        PageCapture::btnBrowseClick(m_ui.window, m_ui.Setup->edFolder->text()));
    m_ui.Setup->cbCapture->setEnabled(captureFolderExists());
}

} // namespace flowloom::app

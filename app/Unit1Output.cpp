// Graph output on the main window: snapshots, files, clipboard, printer and
// page capture.
#include "app/NumberBox.h"
#include "app/SetupPage.h"
#include "app/Unit1.h"
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
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QToolButton>

namespace flowloom::app {

using output::GraphExport;
using output::PageCapture;

void TForm1::createOutput()
{
    imgNoise = new output::CaptureIndicator(Chart1);

    SetupPage& s = *Setup;
    connect(btnSave, &QToolButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnCopy, &QToolButton::clicked, this, [this] { btnCopyClick(); });
    connect(btnPrint, &QToolButton::clicked, this, [this] { btnPrintClick(); });
    connect(Copy2, &QAction::triggered, this, [this] { btnCopyClick(); });
    connect(Save1, &QAction::triggered, this, [this] { btnSaveClick(); });
    connect(SaveAs1, &QAction::triggered, this, [this] { SaveAs1Click(); });
    connect(Print1, &QAction::triggered, this, [this] { Print1Click(); });
    connect(PrinterSetup1, &QAction::triggered, this, [this] { PrinterSetup1Click(); });
    connect(s.cbCapture, &QCheckBox::clicked, this, [this] { cbCaptureClick(); });
    connect(s.edFolder, &QLineEdit::textChanged, this, [this] { edFolderChange(); });
    connect(s.btnBrowse, &QPushButton::clicked, this, [this] { btnBrowseClick(); });
    for (QRadioButton* mode : {s.rbPercent, s.rbPixels})
        connect(mode, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbPercentClick();
        });
    connect(s.spPercent, &NumberBox::valueChanged, this, [this] { spPercentChange(); });
    Chart1->installEventFilter(this);
}

bool TForm1::outputEventFilter(QObject* watched, QEvent* event)
{
    if (watched == Chart1 && event->type() == QEvent::Resize)
        FormResize();
    return false;
}

output::ExportSettings TForm1::exportSettings() const
{
    const SetupPage& s = *Setup;
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
    settings.type = imageType();
    return settings;
}

output::PageCapture::Settings TForm1::captureSettings() const
{
    return {exportSettings(), Setup->edFolder->text(), Setup->edLabel->text(),
            Setup->cbCapture->isChecked()};
}

void TForm1::report(const std::optional<QString>& error)
{
    if (error)
        m_env.showMessage(error->toStdString());
}

QPrinter& TForm1::printer()
{
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

// --- Files, clipboard and printer ------------------------------------------------

void TForm1::SaveAs1Click()
{
    const QString filesFolder = QString::fromStdString(m_files.filesFolder.string());
    report(GraphExport::SaveAs1Click(this, *Chart1, exportSettings(), filesFolder));
}

void TForm1::btnCopyClick()
{
    report(GraphExport::btnCopyClick(*Chart1, exportSettings()));
}

void TForm1::btnPrintClick()
{
    report(GraphExport::btnPrintClick(*Chart1, exportSettings(), printer()));
}

void TForm1::Print1Click()
{
    report(GraphExport::Print1Click(this, *Chart1, exportSettings(), printer()));
}

void TForm1::PrinterSetup1Click()
{
    GraphExport::PrinterSetup1Click(this, printer());
}

std::optional<QImage> TForm1::webGraphSnapshot()
{
    const output::ExportSettings settings = exportSettings();
    output::GraphSnapshot::Result snapshot = output::GraphSnapshot::take(
        *Chart1, settings.sizeRuleFor(output::Destination::WebImage), settings.gray);
    if (!snapshot.ok())
        return std::nullopt;
    return std::move(snapshot.image);
}

// --- Size controls ---------------------------------------------------------------

void TForm1::rbPercentClick()
{
    SetupPage& s = *Setup;
    const GraphExport::SizeControls enabled =
        GraphExport::rbPercentClick(s.rbPercent->isChecked(), s.rbPixels->isChecked());
    s.spPercent->setEnabled(enabled.percent);
    s.PercentLabel->setEnabled(enabled.percent);
    for (QWidget* w : {static_cast<QWidget*>(s.spGrWidth), static_cast<QWidget*>(s.spGrHeight),
                       static_cast<QWidget*>(s.WidthLabel), static_cast<QWidget*>(s.HeightLabel),
                       static_cast<QWidget*>(s.TimesLabel)})
        w->setEnabled(enabled.pixels);
}

void TForm1::spPercentChange()
{
    if (m_sizeLabelsShown)
        Setup->PercentLabel->setText(
            GraphExport::spPercentChange(Chart1->size(), Setup->spPercent->value()));
}

void TForm1::FormResize()
{
    const GraphExport::SizeLabels labels =
        GraphExport::FormResize(Chart1->size(), Setup->spPercent->value());
    Setup->SizeNote->setText(labels.note);
    Setup->PercentLabel->setText(labels.percentLabel);
    m_sizeLabelsShown = true;
}

// --- Page capture ----------------------------------------------------------------

bool TForm1::captureFolderExists() const
{
    return PageCapture::folderExists(Setup->edFolder->text());
}

void TForm1::btnSaveClick()
{
    report(PageCapture::btnSaveClick(*Chart1, captureSettings(), m_env.clock.now()));
}

bool TForm1::captureTrigger()
{
    // A capture that cannot be written is retried on the next tick, silently.
    return PageCapture::captureOnTick(*Chart1, captureSettings(), m_counters.CaptureCount,
                                      Setup->spPoints->value(), m_env.clock.now());
}

void TForm1::shutdownCapture()
{
    // A failed last capture is reported like "Capture Now"; the close goes on.
    report(PageCapture::shutdownCapture(*Chart1, captureSettings(), m_env.clock.now()));
}

void TForm1::cbCaptureClick()
{
    imgNoise->setVisible(
        PageCapture::cbCaptureClick(Setup->cbCapture->isChecked(), Setup->edFolder->text()));
}

void TForm1::edFolderChange()
{
    const bool exists = PageCapture::edFolderChange(Setup->edFolder->text());
    Setup->cbCapture->setEnabled(exists);
    btnSave->setEnabled(exists);
}

void TForm1::btnBrowseClick()
{
    Setup->edFolder->setText(PageCapture::btnBrowseClick(this, Setup->edFolder->text()));
    Setup->cbCapture->setEnabled(captureFolderExists());
}

} // namespace flowloom::app

#include "app/controllers/GraphController.h"
#include "app/Colours.h"
#include "app/NumberBox.h"
#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "chart/AxisError.h"
#include "graph/ChartWidget.h"
#include "graph/DragCursors.h"
#include "graph/GraphInteraction.h"
#include "graph/PlotFeed.h"
#include "output/rules/CaptureFileName.h"
#include "sampling/DateTime.h"
#include "sampling/UnexpectedException.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace flowloom::app {

namespace {
constexpr qsizetype kLabelTypingLimit = 30;

// The characters a file name cannot hold; the axis label becomes part of
// captured file names.
bool refusedInLabel(QChar c)
{
    return output::CaptureFileName::isForbidden(c.unicode());
}

void paintSwatch(QWidget* swatch, std::uint32_t colour)
{
    QPalette palette = swatch->palette();
    palette.setColor(QPalette::Window, toQColor(colour));
    swatch->setPalette(palette);
}

template <typename F> void discardAxisError(F&& change)
{
    try {
        change();
    } catch (const chart::AxisError&) {
        // The axis refused the value and kept its range.
    } catch (const std::exception&) {
        sampling::traceUnexpectedException("discardAxisError");
    }
}
} // namespace

GraphController::GraphController(const MainControls& ui, ProgramVariables& vars, Dialogs& dialogs,
                                 sampling::RunCounters& counters, Links links)
    : m_ui(ui), m_vars(vars), m_dialogs(dialogs), m_counters(counters), m_links(std::move(links)),
      m_feed(std::make_unique<graph::PlotFeed>(ui.Chart1->chart())),
      m_cursors(std::make_unique<graph::DragCursors>())
{
    connectGraphControls();
}

GraphController::~GraphController() = default;

// Reactions of the controls that drive the graph; connected before the
// settings are loaded, so that loading runs them as a user's change would.
void GraphController::connectGraphControls()
{
    for (QWidget* legend : {m_ui.Panel23, m_ui.Panel25})
        legend->installEventFilter(this);
    graph::ChartWidget* chart = m_ui.Chart1;
    connect(chart, &QWidget::customContextMenuRequested, this, [this, chart](const QPoint& pos) {
        PopupMenu3Popup();
        m_ui.PopupMenu3->popup(chart->mapToGlobal(pos));
    });
    connect(m_ui.Clear1, &QAction::triggered, this, [this] { btnClearClick(); });
    connect(m_ui.mnuApply, &QAction::triggered, this, [this] { mnuApplyClick(); });
    connect(m_ui.RestoreVerticalAxis1, &QAction::triggered, this,
            [this] { RestoreVerticalAxis1Click(); });
    connect(chart, &graph::ChartWidget::mousePressed, this,
            [this](Qt::MouseButton button, bool shift) { Chart1MouseDown(button, shift); });
    connect(chart, &graph::ChartWidget::mouseReleased, this,
            [this](Qt::MouseButton button, bool shift) { Chart1MouseUp(button, shift); });
    connect(chart, &graph::ChartWidget::scrolled, this, [this] { Chart1Scroll(); });
    SetupPage& s = *m_ui.Setup;
    connect(s.spPoints, &NumberBox::valueChanged, this, [this] { spPointsChange(); });
    connect(s.spMax, &NumberBox::valueChanged, this, [this] { spMaxChange(); });
    connect(m_ui.btnClear, &QToolButton::clicked, this, [this] { btnClearClick(); });
    for (QRadioButton* b : {s.rbSteps, s.rbRamp})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbStepsClick();
        });
    connect(s.cbAuto, &QCheckBox::toggled, this, [this] { cbAutoClick(); });
    connect(s.rbFit, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            rbFitClick();
    });
    for (QCheckBox* b : {s.cbDoPlot, s.cbDoPlotUp})
        connect(b, &QCheckBox::toggled, this, [this] { cbDoPlotClick(); });
    for (QRadioButton* b : {s.rbBytes, s.rbKBytes, s.rbKbits, s.rbMbits})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbBytesClick();
        });
    for (QRadioButton* b : {s.rbArea, s.rbLine})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbLineClick();
        });
    connect(m_ui.btnLine, &QToolButton::clicked, this, [this] { btnLineClick(); });
    connect(m_ui.btn3D, &QToolButton::clicked, this, [this] { btn3DClick(); });
    for (QRadioButton* b : {s.rbVertical, s.rbHorizontal})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbVerticalClick();
        });
    connect(m_ui.btnSwap, &QToolButton::clicked, this, [this] { btnSwapClick(); });
    connect(s.edTitle, &QLineEdit::textChanged, this, [this] { edTitleChange(); });
    connect(s.cbAppend, &QCheckBox::clicked, this, [this] { edTitleChange(); });
    connect(s.edLabel, &QLineEdit::textChanged, this, [this] { edLabelChange(); });
    s.edLabel->installEventFilter(this);
    connect(s.btnFont, &QPushButton::clicked, this, [this] { btnFontClick(); });
    connect(s.btnAFont, &QPushButton::clicked, this, [this] { btnAFontClick(); });
    connect(s.btnGrid, &QPushButton::clicked, this, [this] { btnGridClick(); });
    connect(s.btnDownColour, &QPushButton::clicked, this, [this] { btnDownColourClick(); });
    connect(s.btnUploadColour, &QPushButton::clicked, this, [this] { btnUploadColourClick(); });
    connect(s.btnBackColour, &QPushButton::clicked, this, [this] { btnBackColourClick(); });
    connect(s.btnBorderColour, &QPushButton::clicked, this, [this] { btnBorderColourClick(); });
}

bool GraphController::eventFilter(QObject* watched, QEvent* event)
{
    // A press on a legend panel is the panel's own: passed on, it would reach
    // the graph beneath, which stops the clock until a release it never gets.
    if ((event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonDblClick) &&
        (watched == m_ui.Panel23 || watched == m_ui.Panel25))
        return true;
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == m_ui.Panel23) {
            btnDownColourClick();
            return true;
        }
        if (watched == m_ui.Panel25) {
            btnUploadColourClick();
            return true;
        }
    }
    if (watched == m_ui.Setup->edLabel && event->type() == QEvent::KeyPress)
        return edLabelKeyPress(static_cast<QKeyEvent&>(*event));
    return QObject::eventFilter(watched, event);
}

graph::PlotFeedSettings GraphController::plotSettings() const
{
    const SetupPage& s = *m_ui.Setup;
    graph::PlotFeedSettings settings;
    settings.pointsPerPage = s.spPoints->value();
    settings.maxValue = s.spMax->value();
    settings.kiloBytes = s.rbKBytes->isChecked();
    settings.automatic = s.cbAuto->isChecked();
    settings.peak = s.rbPeak->isChecked();
    settings.average = s.rbAvg->isChecked();
    settings.fit = s.rbFit->isChecked();
    settings.kbits = s.rbKbits->isChecked();
    settings.mbits = s.rbMbits->isChecked();
    settings.plotDownload = s.cbDoPlot->isChecked();
    settings.plotUpload = s.cbDoPlotUp->isChecked();
    settings.filled = s.rbArea->isChecked();
    settings.steps = s.rbSteps->isChecked();
    settings.downloadColour = toQColor(m_vars.Plot).rgb();
    settings.uploadColour = toQColor(m_vars.PlotUp).rgb();
    return settings;
}

// --- Plot feed handlers --------------------------------------------------------

void GraphController::spPointsChange()
{
    m_feed->spPointsChange(plotSettings());
    m_ui.Chart1->update();
}

void GraphController::spMaxChange()
{
    m_feed->spMaxChange(plotSettings());
    m_ui.Chart1->update();
}

void GraphController::btnClearClick()
{
    m_feed->btnClearClick(m_counters, plotSettings());
    m_ui.Chart1->update();
}

void GraphController::rbStepsClick()
{
    m_feed->rbStepsClick(plotSettings());
    m_ui.Chart1->update();
}

void GraphController::cbAutoClick()
{
    const graph::PlotFeedSettings settings = plotSettings();
    m_feed->cbAutoClick(settings);
    // The visible page is there already: no need to wait for a tick to fit it.
    if (settings.automatic && settings.fit)
        m_feed->fitToVisiblePage(settings);
    m_ui.Chart1->update();
}

void GraphController::rbFitClick()
{
    const graph::PlotFeedSettings settings = plotSettings();
    if (settings.automatic)
        m_feed->fitToVisiblePage(settings);
    m_ui.Chart1->update();
}

void GraphController::cbDoPlotClick()
{
    m_feed->cbDoPlotClick(plotSettings());
    m_ui.Chart1->update();
}

void GraphController::rbBytesClick()
{
    m_ui.Setup->edLabel->setText(
        QString::fromStdString(graph::PlotFeed::rbBytesClick(plotSettings())));
}

// --- Appearance ------------------------------------------------------------------

void GraphController::edTitleChange()
{
    QString title = m_ui.Setup->edTitle->text();
    if (m_ui.Setup->cbAppend->isChecked())
        title += m_ui.cbURL->currentText().remove(QLatin1Char(' '));
    chart::Chart& chart = m_ui.Chart1->chart();
    chart.leftAxis().setTitle(m_ui.Setup->edLabel->text());
    chart.setPanelColour(toQColor(m_vars.Border));
    chart.setTitle(title);
    m_ui.btnStart->setEnabled(m_ui.cbURL->currentIndex() >= 0);
    m_ui.Statistics->Panel2->clear();
    if (m_ui.window->isVisible())
        m_links.showSinceTexts(m_ui.cbURL->currentIndex());
    m_ui.Chart1->update();
}

void GraphController::edLabelChange()
{
    m_ui.Chart1->chart().leftAxis().setTitle(m_ui.Setup->edLabel->text());
    m_ui.Chart1->update();
}

bool GraphController::edLabelKeyPress(const QKeyEvent& key)
{
    const QString typed = key.text();
    if (typed.size() == 1 && refusedInLabel(typed.front())) {
        QApplication::beep();
        return true; // the character is refused
    }
    // Typing stops at 30 characters; a longer stored label stays as it is.
    const QLineEdit* edit = m_ui.Setup->edLabel;
    return !typed.isEmpty() && typed.front().isPrint() &&
           edit->text().size() - edit->selectedText().size() + typed.size() > kLabelTypingLimit;
}

void GraphController::btnFontClick()
{
    chart::Chart& chart = m_ui.Chart1->chart();
    const auto choice = m_dialogs.chooseFont(m_ui.window, {chart.titleFont(), chart.titleColour()});
    if (!choice)
        return;
    chart.setTitleFont(choice->font);
    chart.setTitleColour(choice->colour);
    m_vars.FontName = choice->font.family().toStdString();
    m_vars.FontSize = choice->font.pointSize();
    m_vars.FontStyle = styleBits(choice->font);
    m_vars.TitleColour = fromQColor(choice->colour);
    m_ui.Chart1->update();
}

void GraphController::applyAxesTextColour(std::uint32_t colour)
{
    m_vars.Left = colour;
    chart::Chart& chart = m_ui.Chart1->chart();
    for (chart::Axis* axis : {&chart.leftAxis(), &chart.bottomAxis()}) {
        axis->setTitleColour(toQColor(colour));
        axis->setLabelColour(toQColor(colour));
    }
    paintSwatch(m_ui.Setup->Shape4, colour);
    m_ui.Chart1->update();
}

void GraphController::btnAFontClick()
{
    if (const auto chosen =
            m_dialogs.chooseColour(m_ui.window, m_ui.Chart1->chart().leftAxis().titleColour()))
        applyAxesTextColour(fromQColor(*chosen));
}

void GraphController::applyGridColour(std::uint32_t colour)
{
    m_vars.Grid = colour;
    chart::Chart& chart = m_ui.Chart1->chart();
    chart.leftAxis().setGridColour(toQColor(colour));
    chart.bottomAxis().setGridColour(toQColor(colour));
    m_ui.Chart1->update();
}

void GraphController::btnGridClick()
{
    if (const auto chosen = m_dialogs.chooseColour(m_ui.window, toQColor(m_vars.Grid)))
        applyGridColour(fromQColor(*chosen));
}

void GraphController::applyPlotColours()
{
    paintSwatch(m_ui.Setup->Shape1, m_vars.Plot);
    paintSwatch(m_ui.Panel22, m_vars.Plot);
    paintSwatch(m_ui.Setup->Shape2, m_vars.PlotUp);
    paintSwatch(m_ui.Panel24, m_vars.PlotUp);
}

void GraphController::btnDownColourClick()
{
    if (const auto chosen = m_dialogs.chooseColour(m_ui.window, toQColor(m_vars.Plot))) {
        m_vars.Plot = fromQColor(*chosen); // new points take it; old ones keep theirs
        applyPlotColours();
    }
}

void GraphController::btnUploadColourClick()
{
    if (const auto chosen = m_dialogs.chooseColour(m_ui.window, toQColor(m_vars.PlotUp))) {
        m_vars.PlotUp = fromQColor(*chosen);
        applyPlotColours();
    }
}

void GraphController::applyAreaColours()
{
    paintSwatch(m_ui.Setup->Shape3, m_vars.Back);
    paintSwatch(m_ui.Setup->Shape5, m_vars.Border);
    m_ui.Chart1->chart().setPlotColour(toQColor(m_vars.Back));
    m_ui.Chart1->chart().setPanelColour(toQColor(m_vars.Border));
    m_ui.Chart1->update();
}

void GraphController::btnBackColourClick()
{
    if (const auto chosen = m_dialogs.chooseColour(m_ui.window, toQColor(m_vars.Back))) {
        m_vars.Back = fromQColor(*chosen);
        applyAreaColours();
    }
}

void GraphController::btnBorderColourClick()
{
    if (const auto chosen = m_dialogs.chooseColour(m_ui.window, toQColor(m_vars.Border))) {
        m_vars.Border = fromQColor(*chosen);
        applyAreaColours();
    }
}

void GraphController::btn3DClick()
{
    const bool threeD = m_ui.btn3D->isChecked();
    chart::Chart& chart = m_ui.Chart1->chart();
    chart.setThreeD(threeD);
    // A filled area's dividing lines show in the three-dimensional view only.
    for (std::size_t i = 0; i < chart.seriesCount(); ++i)
        chart.series(i).setDividingLines(threeD);
    m_ui.Chart1->update();
}

void GraphController::rbLineClick()
{
    const graph::PlotFeedSettings settings = plotSettings();
    // Filled shows the area pair, Line the line pair; within the pair the plot boxes decide.
    m_feed->activateSeriesForStart(settings);
    const QSignalBlocker blocker(m_ui.btnLine);
    m_ui.btnLine->setChecked(settings.filled);
    m_ui.Chart1->update();
}

void GraphController::btnLineClick()
{
    if (m_ui.btnLine->isChecked())
        m_ui.Setup->rbArea->setChecked(true);
    else
        m_ui.Setup->rbLine->setChecked(true);
}

void GraphController::rbVerticalClick()
{
    chart::Chart& chart = m_ui.Chart1->chart();
    chart::Margins margins = chart.margins();
    const bool vertical = m_ui.Setup->rbVertical->isChecked();
    margins.bottom = vertical ? 1.0 : 4.0;
    chart.setMargins(margins);
    chart.bottomAxis().setLabelAngle(vertical ? chart::LabelAngle::Vertical
                                              : chart::LabelAngle::Horizontal);
    m_ui.Chart1->update();
}

void GraphController::swapSeriesOrder()
{
    chart::Chart& chart = m_ui.Chart1->chart();
    chart.swapDrawingOrder(0, 1); // Series1 and Series2
    chart.swapDrawingOrder(2, 3); // Series3 and Series4
    m_ui.Chart1->update();
}

void GraphController::btnSwapClick()
{
    swapSeriesOrder();
    m_vars.Default = !m_vars.Default;
}

// Start-up: the graph takes every stored look (set-up steps 17, 18 and 22).
void GraphController::applyGraphAppearance()
{
    chart::Chart& chart = m_ui.Chart1->chart();
    const graph::PlotFeedSettings settings = plotSettings();
    discardAxisError([&] { chart.bottomAxis().setMaximum(settings.pointsPerPage); });
    applyAxesTextColour(m_vars.Left);
    applyGridColour(m_vars.Grid);
    btn3DClick();
    if (!m_vars.Default)
        swapSeriesOrder();
    chart.leftAxis().setGridDotted(true);
    chart.bottomAxis().setGridDotted(true);
    rbVerticalClick();
    m_feed->startUp(settings);
    applyPlotColours();
    applyAreaColours();
    chart.setTitleFont(makeFont(m_vars.FontName, m_vars.FontSize, m_vars.FontStyle));
    chart.setTitleColour(toQColor(m_vars.TitleColour));
    m_ui.btnLine->setChecked(settings.filled);
    chart.setPanDirections(chart::PanDirections::Both);
}

// --- Interaction -----------------------------------------------------------------

void GraphController::Chart1MouseDown(Qt::MouseButton button, bool shift)
{
    if (button == Qt::LeftButton) {
        m_ui.Chart1->setCursor(m_cursors->cursor(graph::dragCursorFor(
            m_counters.ScrollCount, m_ui.Chart1->chart().bottomAxis().maximum())));
        m_links.holdClock(); // the graph holds still while it is held
    }
    m_shiftPan = shift;
}

void GraphController::Chart1MouseUp(Qt::MouseButton, bool)
{
    m_links.releaseClock();
    m_counters.WarmUpCount = 0;
    m_ui.Chart1->unsetCursor();
    m_shiftPan = false;
}

void GraphController::Chart1Scroll()
{
    graph::Chart1Scroll(m_ui.Chart1->chart(),
                        {m_shiftPan, m_ui.Setup->spMax->value(), m_ui.Setup->spPoints->value(),
                         m_counters.ScrollCount});
    m_ui.Chart1->update();
}

void GraphController::PopupMenu3Popup()
{
    m_ui.Save1->setEnabled(m_links.captureFolderExists());
}

void GraphController::mnuApplyClick()
{
    // As if typed: the change of "Maximum value" sets the axis.
    m_ui.Setup->spMax->setValue(graph::spMaxFromAxis(m_ui.Chart1->chart().leftAxis().maximum()));
}

void GraphController::RestoreVerticalAxis1Click()
{
    graph::RestoreVerticalAxis(m_ui.Chart1->chart(), m_ui.Setup->spMax->value());
    m_ui.Chart1->update();
}

// --- The run ---------------------------------------------------------------------

void GraphController::startPlot()
{
    m_feed->activateSeriesForStart(plotSettings());
}

void GraphController::addShownTick(const sampling::TStatRec& rec, const std::string& averageIn,
                                   const std::string& averageOut, const sampling::DateTime& now)
{
    m_feed->addShownTick(rec, plotSettings(), averageIn, averageOut, now);
}

void GraphController::addGapTick(const sampling::DateTime& now)
{
    m_feed->addGapTick(plotSettings(), now);
}

void GraphController::tickTail(const std::function<bool()>& captureTrigger,
                               const std::function<void()>& pageLimit)
{
    m_feed->tickTail(m_counters, plotSettings(), captureTrigger, pageLimit);
    m_ui.Chart1->showTick();
}

void GraphController::restart()
{
    m_feed->restart(m_counters, plotSettings());
}

} // namespace flowloom::app

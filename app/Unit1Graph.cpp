// The graph on the main window: plot feed, appearance and interaction.
#include "app/Colours.h"
#include "app/NumberBox.h"
#include "app/SetupPage.h"
#include "app/StatisticsPage.h"
#include "app/Unit1.h"
#include "graph/ChartWidget.h"
#include "graph/DragCursors.h"
#include "graph/GraphInteraction.h"
#include "graph/PlotFeed.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace flowloom::app {

namespace {
// The nine characters a file name cannot hold; the axis label becomes part of
// captured file names.
constexpr qsizetype kLabelTypingLimit = 30;

bool refusedInLabel(QChar c)
{
    return QStringLiteral("\"*/:<>?\\|").contains(c);
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
    } catch (const std::exception&) {
    }
}
} // namespace

void TForm1::createGraph()
{
    Chart1 = new graph::ChartWidget(TabSheet1);
    Chart1->setObjectName("Chart1");
    auto* layout = new QVBoxLayout(TabSheet1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Chart1);
    m_feed = std::make_unique<graph::PlotFeed>(Chart1->chart());
    m_cursors = std::make_unique<graph::DragCursors>();

    // Legend: a colour bar and a raised label for each direction.
    auto bar = [&](const char* name, int x) {
        auto* frame = new QFrame(Chart1);
        frame->setObjectName(name);
        frame->setGeometry(x, 10, 35, 4);
        frame->setAutoFillBackground(true);
        return frame;
    };
    auto label = [&](const char* name, const char* text, int x) {
        auto* panel = new QLabel(QString::fromLatin1(text), Chart1);
        panel->setObjectName(name);
        panel->setGeometry(x, 5, 57, 13);
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel->setAlignment(Qt::AlignCenter);
        panel->setAutoFillBackground(true);
        panel->setCursor(Qt::PointingHandCursor);
        panel->installEventFilter(this);
        return panel;
    };
    Panel22 = bar("Panel22", 4);
    Panel23 = label("Panel23", "Download", 40);
    Panel24 = bar("Panel24", 112);
    Panel25 = label("Panel25", "Upload", 148);

    // The graph's popup menu.
    PopupMenu3 = new QMenu(Chart1);
    PopupMenu3->setObjectName("PopupMenu3");
    auto item = [&](const char* name, const char* caption) {
        QAction* action = PopupMenu3->addAction(QString::fromLatin1(caption));
        action->setObjectName(name);
        return action;
    };
    Copy2 = item("Copy2", "Copy");
    PopupMenu3->addSeparator();
    Clear1 = item("Clear1", "Clear");
    PopupMenu3->addSeparator();
    Save1 = item("Save1", "Save");
    SaveAs1 = item("SaveAs1", "Save As...");
    PopupMenu3->addSeparator();
    mnuApply = item("mnuApply", "Apply Vertical Axis Maximum");
    RestoreVerticalAxis1 = item("RestoreVerticalAxis1", "Restore Vertical Axis");
    PopupMenu3->addSeparator();
    Print1 = item("Print1", "Print...");
    PrinterSetup1 = item("PrinterSetup1", "Printer Setup...");
    Chart1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Chart1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu3Popup();
        PopupMenu3->popup(Chart1->mapToGlobal(pos));
    });
    connect(Clear1, &QAction::triggered, this, [this] { btnClearClick(); });
    connect(mnuApply, &QAction::triggered, this, [this] { mnuApplyClick(); });
    connect(RestoreVerticalAxis1, &QAction::triggered, this,
            [this] { RestoreVerticalAxis1Click(); });

    connect(Chart1, &graph::ChartWidget::mousePressed, this,
            [this](Qt::MouseButton button, bool shift) { Chart1MouseDown(button, shift); });
    connect(Chart1, &graph::ChartWidget::mouseReleased, this,
            [this](Qt::MouseButton button, bool shift) { Chart1MouseUp(button, shift); });
    connect(Chart1, &graph::ChartWidget::scrolled, this, [this] { Chart1Scroll(); });
}

// Reactions of the controls that drive the graph; connected before the
// settings are loaded, so that loading runs them as a user's change would.
void TForm1::connectGraphControls()
{
    SetupPage& s = *Setup;
    connect(s.spPoints, &NumberBox::valueChanged, this, [this] { spPointsChange(); });
    connect(s.spMax, &NumberBox::valueChanged, this, [this] { spMaxChange(); });
    connect(btnClear, &QToolButton::clicked, this, [this] { btnClearClick(); });
    for (QRadioButton* b : {s.rbSteps, s.rbRamp})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbStepsClick();
        });
    connect(s.cbAuto, &QCheckBox::toggled, this, [this] { cbAutoClick(); });
    for (QCheckBox* b : {s.cbDoPlot, s.cbDoPlotUp})
        connect(b, &QCheckBox::toggled, this, [this] { cbDoPlotClick(); });
    for (QRadioButton* b : {s.rbBytes, s.rbKBytes})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbBytesClick();
        });
    for (QRadioButton* b : {s.rbArea, s.rbLine})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbLineClick();
        });
    connect(btnLine, &QToolButton::clicked, this, [this] { btnLineClick(); });
    connect(btn3D, &QToolButton::clicked, this, [this] { btn3DClick(); });
    for (QRadioButton* b : {s.rbVertical, s.rbHorizontal})
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                rbVerticalClick();
        });
    connect(btnSwap, &QToolButton::clicked, this, [this] { btnSwapClick(); });
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

bool TForm1::graphEventFilter(QObject* watched, QEvent* event)
{
    // A press on a legend panel is the panel's own: passed on, it would reach
    // the graph beneath, which stops the clock until a release it never gets.
    if ((event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonDblClick) &&
        (watched == Panel23 || watched == Panel25))
        return true;
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == Panel23) {
            btnDownColourClick();
            return true;
        }
        if (watched == Panel25) {
            btnUploadColourClick();
            return true;
        }
    }
    if (watched == Setup->edLabel && event->type() == QEvent::KeyPress)
        return edLabelKeyPress(static_cast<QKeyEvent&>(*event));
    return false;
}

graph::PlotFeedSettings TForm1::plotSettings() const
{
    const SetupPage& s = *Setup;
    graph::PlotFeedSettings settings;
    settings.pointsPerPage = s.spPoints->value();
    settings.maxValue = s.spMax->value();
    settings.kiloBytes = s.rbKBytes->isChecked();
    settings.automatic = s.cbAuto->isChecked();
    settings.peak = s.rbPeak->isChecked();
    settings.average = s.rbAvg->isChecked();
    settings.plotDownload = s.cbDoPlot->isChecked();
    settings.plotUpload = s.cbDoPlotUp->isChecked();
    settings.filled = s.rbArea->isChecked();
    settings.steps = s.rbSteps->isChecked();
    settings.downloadColour = toQColor(m_vars.Plot).rgb();
    settings.uploadColour = toQColor(m_vars.PlotUp).rgb();
    return settings;
}

// --- Plot feed handlers --------------------------------------------------------

void TForm1::spPointsChange()
{
    m_feed->spPointsChange(plotSettings());
    Chart1->update();
}

void TForm1::spMaxChange()
{
    m_feed->spMaxChange(plotSettings());
    Chart1->update();
}

void TForm1::btnClearClick()
{
    m_feed->btnClearClick(m_counters, plotSettings());
    Chart1->update();
}

void TForm1::rbStepsClick()
{
    m_feed->rbStepsClick(plotSettings());
    Chart1->update();
}

void TForm1::cbAutoClick()
{
    m_feed->cbAutoClick(plotSettings());
    Chart1->update();
}

void TForm1::cbDoPlotClick()
{
    m_feed->cbDoPlotClick(plotSettings());
    Chart1->update();
}

void TForm1::rbBytesClick()
{
    Setup->edLabel->setText(QString::fromStdString(graph::PlotFeed::rbBytesClick(plotSettings())));
}

// --- Appearance ------------------------------------------------------------------

void TForm1::edTitleChange()
{
    QString title = Setup->edTitle->text();
    if (Setup->cbAppend->isChecked())
        title += cbURL->currentText().remove(QLatin1Char(' '));
    chart::Chart& chart = Chart1->chart();
    chart.leftAxis().setTitle(Setup->edLabel->text());
    chart.setPanelColour(toQColor(m_vars.Border));
    chart.setTitle(title);
    btnStart->setEnabled(cbURL->currentIndex() >= 0);
    Statistics->Panel2->clear();
    if (isVisible())
        showSinceTexts(cbURL->currentIndex());
    Chart1->update();
}

void TForm1::edLabelChange()
{
    Chart1->chart().leftAxis().setTitle(Setup->edLabel->text());
    Chart1->update();
}

bool TForm1::edLabelKeyPress(const QKeyEvent& key)
{
    const QString typed = key.text();
    if (typed.size() == 1 && refusedInLabel(typed.front())) {
        QApplication::beep();
        return true; // the character is refused
    }
    // Typing stops at 30 characters; a longer stored label stays as it is.
    const QLineEdit* edit = Setup->edLabel;
    return !typed.isEmpty() && typed.front().isPrint() &&
           edit->text().size() - edit->selectedText().size() + typed.size() > kLabelTypingLimit;
}

void TForm1::btnFontClick()
{
    chart::Chart& chart = Chart1->chart();
    const auto choice = m_dialogs.chooseFont(this, {chart.titleFont(), chart.titleColour()});
    if (!choice)
        return;
    chart.setTitleFont(choice->font);
    chart.setTitleColour(choice->colour);
    m_vars.FontName = choice->font.family().toStdString();
    m_vars.FontSize = choice->font.pointSize();
    m_vars.FontStyle = styleBits(choice->font);
    m_vars.TitleColour = fromQColor(choice->colour);
    Chart1->update();
}

void TForm1::applyAxesTextColour(std::uint32_t colour)
{
    m_vars.Left = colour;
    chart::Chart& chart = Chart1->chart();
    for (chart::Axis* axis : {&chart.leftAxis(), &chart.bottomAxis()}) {
        axis->setTitleColour(toQColor(colour));
        axis->setLabelColour(toQColor(colour));
    }
    paintSwatch(Setup->Shape4, colour);
    Chart1->update();
}

void TForm1::btnAFontClick()
{
    if (const auto chosen = m_dialogs.chooseColour(this, Chart1->chart().leftAxis().titleColour()))
        applyAxesTextColour(fromQColor(*chosen));
}

void TForm1::applyGridColour(std::uint32_t colour)
{
    m_vars.Grid = colour;
    chart::Chart& chart = Chart1->chart();
    chart.leftAxis().setGridColour(toQColor(colour));
    chart.bottomAxis().setGridColour(toQColor(colour));
    Chart1->update();
}

void TForm1::btnGridClick()
{
    if (const auto chosen = m_dialogs.chooseColour(this, toQColor(m_vars.Grid)))
        applyGridColour(fromQColor(*chosen));
}

void TForm1::applyPlotColours()
{
    paintSwatch(Setup->Shape1, m_vars.Plot);
    paintSwatch(Panel22, m_vars.Plot);
    paintSwatch(Setup->Shape2, m_vars.PlotUp);
    paintSwatch(Panel24, m_vars.PlotUp);
}

void TForm1::btnDownColourClick()
{
    if (const auto chosen = m_dialogs.chooseColour(this, toQColor(m_vars.Plot))) {
        m_vars.Plot = fromQColor(*chosen); // new points take it; old ones keep theirs
        applyPlotColours();
    }
}

void TForm1::btnUploadColourClick()
{
    if (const auto chosen = m_dialogs.chooseColour(this, toQColor(m_vars.PlotUp))) {
        m_vars.PlotUp = fromQColor(*chosen);
        applyPlotColours();
    }
}

void TForm1::applyAreaColours()
{
    paintSwatch(Setup->Shape3, m_vars.Back);
    paintSwatch(Setup->Shape5, m_vars.Border);
    Chart1->chart().setPlotColour(toQColor(m_vars.Back));
    Chart1->chart().setPanelColour(toQColor(m_vars.Border));
    Chart1->update();
}

void TForm1::btnBackColourClick()
{
    if (const auto chosen = m_dialogs.chooseColour(this, toQColor(m_vars.Back))) {
        m_vars.Back = fromQColor(*chosen);
        applyAreaColours();
    }
}

void TForm1::btnBorderColourClick()
{
    if (const auto chosen = m_dialogs.chooseColour(this, toQColor(m_vars.Border))) {
        m_vars.Border = fromQColor(*chosen);
        applyAreaColours();
    }
}

void TForm1::btn3DClick()
{
    const bool threeD = btn3D->isChecked();
    chart::Chart& chart = Chart1->chart();
    chart.setThreeD(threeD);
    // A filled area's dividing lines show in the three-dimensional view only.
    for (std::size_t i = 0; i < chart.seriesCount(); ++i)
        chart.series(i).setDividingLines(threeD);
    Chart1->update();
}

void TForm1::rbLineClick()
{
    const graph::PlotFeedSettings settings = plotSettings();
    // Filled shows the area pair, Line the line pair; within the pair the plot boxes decide.
    m_feed->activateSeriesForStart(settings);
    const QSignalBlocker blocker(btnLine);
    btnLine->setChecked(settings.filled);
    Chart1->update();
}

void TForm1::btnLineClick()
{
    if (btnLine->isChecked())
        Setup->rbArea->setChecked(true);
    else
        Setup->rbLine->setChecked(true);
}

void TForm1::rbVerticalClick()
{
    chart::Chart& chart = Chart1->chart();
    chart::Margins margins = chart.margins();
    const bool vertical = Setup->rbVertical->isChecked();
    margins.bottom = vertical ? 1.0 : 4.0;
    chart.setMargins(margins);
    chart.bottomAxis().setLabelAngle(vertical ? chart::LabelAngle::Vertical
                                              : chart::LabelAngle::Horizontal);
    Chart1->update();
}

void TForm1::swapSeriesOrder()
{
    chart::Chart& chart = Chart1->chart();
    chart.swapDrawingOrder(0, 1); // Series1 and Series2
    chart.swapDrawingOrder(2, 3); // Series3 and Series4
    Chart1->update();
}

void TForm1::btnSwapClick()
{
    swapSeriesOrder();
    m_vars.Default = !m_vars.Default;
}

// Start-up: the graph takes every stored look (set-up steps 17, 18 and 22).
void TForm1::applyGraphAppearance()
{
    chart::Chart& chart = Chart1->chart();
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
    btnLine->setChecked(settings.filled);
    chart.setPanDirections(chart::PanDirections::Both);
}

// --- Interaction -----------------------------------------------------------------

void TForm1::Chart1MouseDown(Qt::MouseButton button, bool shift)
{
    if (button == Qt::LeftButton) {
        Chart1->setCursor(m_cursors->cursor(
            graph::dragCursorFor(m_counters.ScrollCount, Chart1->chart().bottomAxis().maximum())));
        m_timer->setEnabled(false); // the graph holds still while it is held
    }
    ShiftPan = shift;
}

void TForm1::Chart1MouseUp(Qt::MouseButton, bool)
{
    m_timer->setEnabled(btnStart->isChecked());
    m_counters.WarmUpCount = 0;
    Chart1->unsetCursor();
    ShiftPan = false;
}

void TForm1::Chart1Scroll()
{
    graph::Chart1Scroll(Chart1->chart(), {ShiftPan, Setup->spMax->value(), Setup->spPoints->value(),
                                          m_counters.ScrollCount});
    Chart1->update();
}

void TForm1::PopupMenu3Popup()
{
    Save1->setEnabled(captureFolderExists());
}

void TForm1::mnuApplyClick()
{
    // As if typed: the change of "Maximum value" sets the axis.
    Setup->spMax->setValue(graph::spMaxFromAxis(Chart1->chart().leftAxis().maximum()));
}

void TForm1::RestoreVerticalAxis1Click()
{
    graph::RestoreVerticalAxis(Chart1->chart(), Setup->spMax->value());
    Chart1->update();
}

} // namespace flowloom::app

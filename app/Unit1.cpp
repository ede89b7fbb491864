#include "app/Unit1.h"

#include "app/SettingsBinder.h"
#include "app/SetupPage.h"
#include "app/StatisticsPage.h"
#include "app/ToolIcons.h"
#include "app/Tray.h"
#include "app/UiTimerWait.h"
#include "app/UsageRecording.h"
#include "app/ini/SettingsFile.h"
#include "graph/ChartWidget.h"
#include "graph/DragCursors.h"
#include "graph/PlotFeed.h"
#include "output/glue/CaptureIndicator.h"
#include "sampling/DateTimeText.h"
#include "sampling/InterfaceList.h"
#include "sampling/NumberFormat.h"
#include "web/ui/Unit2.h"
#include "web/ui/WebService.h"

#include "app/NumberBox.h"
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <cstdio>

namespace flowloom::app {

using sampling::DateTimeText;
using sampling::fmt;

namespace {
// The drop-down of an interface list shows each interface's name beside its
// address; the item text stays the address, which the title, the listening
// address and the stored index rely on.
class InterfaceItemDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = interfaceItemCaption(index.data(Qt::DisplayRole).toString(),
                                            index.data(Qt::ToolTipRole).toString());
    }
};

// The closed box tells the chosen interface's name in its tooltip.
void showNameOfCurrent(QComboBox& list)
{
    list.setToolTip(list.currentIndex() >= 0 ? interfaceName(list, list.currentIndex())
                                             : QString());
}
} // namespace

QString interfaceItemCaption(const QString& item, const QString& name)
{
    return name.isEmpty() ? item : item + QStringLiteral("   ") + name;
}

QString interfaceName(const QComboBox& list, int index)
{
    return list.itemData(index, Qt::ToolTipRole).toString();
}

void addInterfaceItem(QComboBox& list, const QString& item, const QString& name)
{
    if (list.count() == 0 && dynamic_cast<InterfaceItemDelegate*>(list.itemDelegate()) == nullptr) {
        list.setItemDelegate(new InterfaceItemDelegate(&list));
        QObject::connect(&list, &QComboBox::currentIndexChanged, &list,
                         [&list] { showNameOfCurrent(list); });
    }
    list.addItem(item);
    list.setItemData(list.count() - 1, name, Qt::ToolTipRole);
}

TForm1::TForm1(Environment environment, QWidget* parent)
    : QMainWindow(parent), m_env(std::move(environment)),
      m_files(m_env.files.value_or(portableLocations(m_env.programFile))),
      m_monthlyReset(m_env.clock.now()), m_help(m_files.helpFile)
{
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("Flowloom"));
    setFont(QFont(QStringLiteral("Arial"), 8));
    if (!m_env.showMessage) {
        m_env.showMessage = [this](const std::string& text) {
            if (m_unattended)
                std::fprintf(stderr, "Flowloom: %s\n", text.c_str());
            else
                QMessageBox::warning(this, QStringLiteral("Flowloom"),
                                     QString::fromStdString(text));
        };
    }
    createToolBar();
    createPages();
    createHistory();
    createStatusBar();
    createShell();
    createOutput();
    createWebService();
    connectGraphControls();
    resize(799, 480);
    // The window can never be made smaller than its first layout.
    setMinimumSize(799, 480);
    m_graphDesignSize = laidOutSize(*TabSheet1);

    m_timer = std::make_unique<sampling::TThreadedTimer>(std::make_unique<UiTimerWait>());
    m_timer->OnTimer = [this](sampling::TThreadedTimer&) { Timer1Timer(); };

    m_autosave = new QTimer(this);
    m_autosave->setInterval(std::chrono::minutes(1));
    connect(m_autosave, &QTimer::timeout, this, [this] {
        autosaveTotals();
        flushHistory();
    });

    FormCreate();
    createWebDialog();
    m_autosave->start();
}

void TForm1::FormCreate()
{
    // 1. Qt widgets paint double-buffered already.
    // 2. Every control and settings variable takes its stored or default value.
    SettingsBinder::apply(*this, SettingsFile::load(settingsPath(), runtimeDefaults()), m_vars);
    // 3. Start minimized (carried out when the program shows the window).
    m_startMinimized = Setup->cbStartMin->isChecked();
    // 4., 5. Stay on top and opacity.
    btnStayClick();
    tb1Change();
    // 6. The first sub-page of Setup.
    Setup->PageControl2->setCurrentWidget(Setup->GraphAxesPage);
    // 7. A fresh copy of the user guide.
    writeHelpFile();
    // 8. Minimizing to the notification area follows cbMinimize when minimizing.
    // 9. The title's "^" became spaces while it was read.
    // 10. Capture and "Capture Now" need an existing folder.
    edFolderChange();
    // 11. The statistics image font goes with "Image".
    Setup->btnWebFont->setEnabled(Setup->cbImage->isChecked());
    // 12. Help only when the guide exists.
    btnHelp->setEnabled(m_help.exists());
    // 13., 14. Image size controls and the "Capture active" indicator.
    rbPercentClick();
    cbCaptureClick();
    // 15. The sampling clock's interval.
    m_timer->setInterval(1000);
    // 16. The web document names as they stand now are the remembered ones.
    rememberNames();
    // 17., 18. The graph's look; the drag cursors were drawn with the graph.
    applyGraphAppearance();
    // 19. The graph page in front.
    PageControl1->setCurrentWidget(TabSheet1);
    // 21. The interface list, statistics and cumulative totals.
    CaptureMIBData(true);
    // 22. Title, axis title and colours of the graph.
    edTitleChange();
    // 23. The "since" texts of the saved interface.
    showSinceTexts(m_vars.URL);
    // 24. The listening addresses are the interface list's items.
    Setup->cbServerIP->clear();
    for (int i = 0; i < cbURL->count(); ++i)
        addInterfaceItem(*Setup->cbServerIP, cbURL->itemText(i), interfaceName(*cbURL, i));
    Setup->cbServerIP->setCurrentIndex(
        m_vars.ServerIP >= 0 && m_vars.ServerIP < Setup->cbServerIP->count() ? m_vars.ServerIP
                                                                             : -1);
    // 25. The web server resumes when it was running at the last close.
    if (Setup->cbWeb->isChecked())
        StartServer();
    else
        publishWebView();
    // 26. Plotting resumes when it was running at the last close.
    if (btnStart->isChecked() && btnStart->isEnabled())
        btnStartClick();
    else if (btnStart->isChecked())
        btnStop->setChecked(true); // nothing to plot without an interface
}

TForm1::~TForm1()
{
    // The workers must be gone before the controls they would touch.
    m_timer.reset();
    m_saver.reset();
    m_usage.reset();
}

void TForm1::createToolBar()
{
    auto* panel = new QWidget(this);
    panel->setObjectName("Panel1");
    panel->setFixedHeight(45);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(2);
    layout->addWidget(new QLabel(QStringLiteral("Data Interface "), panel));
    cbURL = new QComboBox(panel);
    cbURL->setObjectName("cbURL");
    cbURL->setMinimumWidth(130);
    layout->addWidget(cbURL);
    layout->addSpacing(8);

    auto makeButton = [&](const char* name, const char* hint, ToolIcon icon) {
        auto* button = new QToolButton(panel);
        button->setObjectName(name);
        button->setToolTip(QString::fromLatin1(hint));
        button->setAutoRaise(true);
        button->setFixedSize(33, 33);
        button->setIcon(toolIcon(icon));
        button->setIconSize(QSize(22, 22));
        layout->addWidget(button);
        return button;
    };
    auto separator = [&] {
        auto* bar = new QFrame(panel);
        bar->setFrameStyle(QFrame::VLine | QFrame::Sunken);
        bar->setFixedHeight(30);
        layout->addSpacing(3);
        layout->addWidget(bar);
        layout->addSpacing(3);
    };
    btnLine = makeButton("btnLine", "Filled / line graph type", ToolIcon::Line);
    btn3D = makeButton("btn3D", "3-dimensional graph / flat", ToolIcon::ThreeD);
    btnSwap = makeButton("btnSwap", "Swap plotting positions", ToolIcon::Swap);
    btnStay = makeButton("btnStay", "Stay on top", ToolIcon::Stay);
    for (QToolButton* toggle : {btnLine, btn3D, btnStay})
        toggle->setCheckable(true);
    btnLine->setChecked(true); // down for "Filled"
    separator();
    btnStart = makeButton("btnStart", "Start Plot", ToolIcon::Start);
    btnStop = makeButton("btnStop", "Stop Plot", ToolIcon::Stop);
    btnClear = makeButton("btnClear", "Clear Graph", ToolIcon::Clear);
    btnStart->setCheckable(true);
    btnStop->setCheckable(true);
    m_runButtons = new QButtonGroup(this);
    m_runButtons->setExclusive(true);
    m_runButtons->addButton(btnStart);
    m_runButtons->addButton(btnStop);
    btnStop->setChecked(true);
    btnStart->setEnabled(false);
    connect(btnStart, &QToolButton::clicked, this, [this] { btnStartClick(); });
    connect(btnStop, &QToolButton::clicked, this, [this] { btnStopClick(); });
    separator();
    btnSave = makeButton("btnSave", "Capture Now", ToolIcon::Save);
    btnCopy = makeButton("btnCopy", "Copy to clipboard", ToolIcon::Copy);
    btnPrint = makeButton("btnPrint", "Print Graph", ToolIcon::Print);
    separator();
    btnHelp = makeButton("btnHelp", "Help", ToolIcon::Help);

    layout->addStretch(1);
    Label13 = new QLabel(QStringLiteral("STOPPED"), panel);
    Label13->setObjectName("Label13");
    Label13->setStyleSheet(QStringLiteral("color: maroon; font-weight: bold;"));
    Label13->hide();
    layout->addWidget(Label13);
    setMenuWidget(panel);

    connect(cbURL, &QComboBox::currentIndexChanged, this, [this] { cbURLChange(); });
}

void TForm1::createPages()
{
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    TabSheet1 = new QWidget(PageControl1);
    TabSheet1->setObjectName("TabSheet1");
    PageControl1->addTab(TabSheet1, QStringLiteral("  Graph  "));
    createGraph();
    Statistics = new StatisticsPage(PageControl1);
    Statistics->setObjectName("TabSheet3");
    PageControl1->addTab(Statistics, QStringLiteral("  Statistics  "));
    Setup = new SetupPage(PageControl1);
    Setup->setObjectName("TabSheet2");
    PageControl1->addTab(Setup, QStringLiteral("  Setup  "));
    setCentralWidget(PageControl1);

    connect(Statistics->btnResetIn, &QPushButton::clicked, this, [this] { btnResetInClick(); });
    connect(Statistics->btnResetOut, &QPushButton::clicked, this, [this] { btnResetOutClick(); });
}

void TForm1::createStatusBar()
{
    auto* bar = new QStatusBar(this);
    bar->setObjectName("StatusBar1");
    bar->setFixedHeight(21);
    bar->setSizeGripEnabled(true);
    const int widths[4] = {150, 100, 100, 50};
    for (int i = 0; i < 4; ++i) {
        StatusPanel[i] = new QLabel(bar);
        StatusPanel[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanel[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusPanel[i]->setMinimumWidth(widths[i]);
        if (i < 3) // fixed: the per-tick texts repaint the panel without a relayout
            StatusPanel[i]->setFixedSize(widths[i], 17);
        // The last panel takes the rest of the bar, as a status bar's last panel does.
        bar->addWidget(StatusPanel[i], i == 3 ? 1 : 0);
    }
    setStatusBar(bar);
}

std::filesystem::path TForm1::settingsPath() const
{
    return m_files.settingsFile;
}

RuntimeDefaults TForm1::runtimeDefaults() const
{
    RuntimeDefaults runtime;
    runtime.filesFolder = m_files.filesFolder.string();
    runtime.graphWidth = m_graphDesignSize.width();
    runtime.graphHeight = m_graphDesignSize.height();
    return runtime;
}

struct TForm1::SettingsToWrite
{
    SettingsValues values;
    std::vector<InterfaceTotals> rows;
};

TForm1::SettingsToWrite TForm1::settingsToWrite(int serverIpIndex)
{
    m_vars.URL = cbURL->currentIndex();
    m_vars.ServerIP = serverIpIndex;
    std::vector<InterfaceTotals> rows(m_totals.size());
    const sampling::DateTime now = m_env.clock.now();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].totalIn = m_totals.LastTotalIn[i];
        rows[i].totalOut = m_totals.LastTotalOut[i];
        rows[i].inReset = DateTimeText::fromText(m_totals.LastInReset[i]).value_or(now);
        rows[i].outReset = DateTimeText::fromText(m_totals.LastOutReset[i]).value_or(now);
    }
    return {SettingsBinder::collect(*this, m_vars, runtimeDefaults()), std::move(rows)};
}

void TForm1::saveSettings(int serverIpIndex)
{
    // A background write still under way must not land after this one.
    m_saver->wait();
    SettingsToWrite content = settingsToWrite(serverIpIndex);
    const IniSaveResult result = SettingsFile::save(settingsPath(), content.values, content.rows);
    if (!result.ok())
        m_env.showMessage(result.message);
}

void TForm1::autosaveTotals()
{
    if (m_totalsChanges != m_savedChanges && !m_closing)
        saveInBackground();
}

// The same content and the same atomic write as the close; the UI thread
// only gathers the values, the file is written on the saver's thread.
void TForm1::saveInBackground()
{
    m_savedChanges = m_totalsChanges;
    auto content =
        std::make_shared<SettingsToWrite>(settingsToWrite(Setup->cbServerIP->currentIndex()));
    m_saver->submit([this, content, path = settingsPath()] {
        IniSaveResult result;
        try {
            result = SettingsFile::save(path, content->values, content->rows);
        } catch (const std::exception&) {
            result = {IniSave::Failed, "Unable to write to " + path.string()};
        }
        QMetaObject::invokeMethod(
            this, [this, result] { backgroundSaveDone(result); }, Qt::QueuedConnection);
    });
}

void TForm1::backgroundSaveDone(const IniSaveResult& result)
{
    if (result.ok()) {
        m_saveFailureShown = false;
        return;
    }
    m_savedChanges = m_totalsChanges - 1; // try again at the next minute
    // Not a box every minute: once in the status bar, and at close as always.
    if (!m_saveFailureShown)
        statusBar()->showMessage(QString::fromStdString(result.message), 30'000);
    m_saveFailureShown = true;
}

// The size a page takes once the window is laid out, before it is first shown
// (first-run defaults of the image size depend on the graph's size).
QSize TForm1::laidOutSize(QWidget& page)
{
    setAttribute(Qt::WA_DontShowOnScreen, true);
    show();
    const QSize size = page.size();
    hide();
    setAttribute(Qt::WA_DontShowOnScreen, false);
    return size;
}

QString TForm1::nowText() const
{
    return QString::fromStdString(DateTimeText::toText(m_env.clock.now()));
}

// --- Run control -------------------------------------------------------------

void TForm1::btnStartClick()
{
    m_feed->activateSeriesForStart(plotSettings());
    PageControl1->setCurrentWidget(TabSheet1);
    Label13->hide();
    m_timer->setEnabled(true);
    m_counters.StopCount = 0;
    btnStart->setChecked(true);
    StatusPanel[0]->setText(QStringLiteral("Plot Started: ") +
                            QString::fromStdString(DateTimeText::dayMonth(m_env.clock.now())));
    m_counters.WarmUpCount = 0;
}

void TForm1::btnStopClick()
{
    m_timer->setEnabled(false);
    btnStop->setChecked(true);
    cbURL->setEnabled(true);
}

void TForm1::Timer1Timer()
{
    m_timer->setEnabled(false);
    // The clock runs again as "Start Plot" says, also when the tick's work fails.
    struct Reenable
    {
        TForm1& form;
        ~Reenable() { form.m_timer->setEnabled(form.btnStart->isChecked()); }
    } reenable{*this};

    const sampling::DateTime now = m_env.clock.now();
    const QTime at = Statistics->DateTimePicker1->time();
    if (const auto moment = m_monthlyReset.tick(Statistics->cbReset->isChecked(),
                                                Statistics->cbMonth->currentIndex(), at.hour(),
                                                at.minute(), at.second(), now)) {
        // A total already reset for this moment stays: a clock stepped back
        // and forward again, or a restart, never resets one period twice.
        const int s = cbURL->currentIndex();
        auto covered = [&](const std::vector<std::string>& resets) {
            if (s < 0 || s >= static_cast<int>(resets.size()))
                return true;
            const auto last = DateTimeText::fromText(resets[static_cast<std::size_t>(s)]);
            return last && sampling::resetCovers(*last, *moment);
        };
        if (!covered(m_totals.LastInReset))
            btnResetInClick();
        if (!covered(m_totals.LastOutReset))
            btnResetOutClick();
    }
    CaptureMIBData(false);
    publishWebView();
}

// --- Sampling ----------------------------------------------------------------

void TForm1::CaptureMIBData(bool initial)
{
    const sampling::TMIBIfArray snapshot = m_env.interfaces.interfaceSnapshot();
    if (initial)
        InitGrid(snapshot);
    else
        Data2Grid(snapshot);
}

void TForm1::InitGrid(const sampling::TMIBIfArray& snapshot)
{
    const sampling::InterfaceList list =
        sampling::buildInterfaceList(snapshot, m_env.interfaces.addressSnapshot(), m_vars.URL);
    {
        const QSignalBlocker blocker(cbURL);
        cbURL->clear();
        for (std::size_t i = 0; i < list.items.size(); ++i)
            addInterfaceItem(*cbURL, QString::fromStdString(list.items[i]),
                             QString::fromStdString(list.names[i]));
        cbURL->setCurrentIndex(-1);
    }

    m_tracker.reset(snapshot);
    m_statistics.InitGrid(snapshot, m_env.clock.steadyMilliseconds(), list.selected);
    m_totals.resize(snapshot.size());
    const std::vector<InterfaceTotals> stored =
        SettingsFile::loadTotals(settingsPath(), snapshot.size(), m_env.clock.now());
    for (std::size_t i = 0; i < snapshot.size() && i < stored.size(); ++i) {
        m_totals.LastTotalIn[i] = stored[i].totalIn;
        m_totals.LastTotalOut[i] = stored[i].totalOut;
        m_totals.LastInReset[i] = DateTimeText::toText(stored[i].inReset);
        m_totals.LastOutReset[i] = DateTimeText::toText(stored[i].outReset);
    }

    {
        const QSignalBlocker blocker(cbURL);
        cbURL->setCurrentIndex(list.selected);
    }
    showNameOfCurrent(*cbURL);
    btnStart->setEnabled(cbURL->currentIndex() >= 0);
    openHistory(snapshot);
}

void TForm1::Data2Grid(const sampling::TMIBIfArray& snapshot)
{
    const int selected = cbURL->currentIndex();
    const std::vector<const sampling::TMIBIfRow*> rows = m_tracker.match(snapshot);
    const sampling::TickResult result =
        m_statistics.Data2Grid(rows, selected, m_counters, m_env.clock.steadyMilliseconds());
    // Warm-up ticks add too: a difference over a pause loses no byte.
    addToTotals(selected, result.totalIn, result.totalOut);
    switch (result.outcome) {
    case sampling::TickOutcome::NoSelection:
    case sampling::TickOutcome::WarmUp:
        return;
    case sampling::TickOutcome::Shown:
        showFigures(static_cast<std::size_t>(selected), *rows[static_cast<std::size_t>(selected)]);
        break;
    case sampling::TickOutcome::SelectedMissing:
        break;
    }
    tickTail();
}

void TForm1::showFigures(std::size_t position, const sampling::TMIBIfRow& row)
{
    const sampling::TStatRec& rec = m_statistics.record(position);
    auto text = [](long double x, int decimals) {
        return QString::fromStdString(fmt(x, decimals));
    };

    setFigure(StatusPanel[1],
              QStringLiteral("In: ") + text(rec.CurIn / 1024.0L, 1) + QStringLiteral(" KB/s"));
    setFigure(StatusPanel[2],
              QStringLiteral("Out: ") + text(rec.CurOut / 1024.0L, 1) + QStringLiteral(" KB/s"));
    StatisticsPage& s = *Statistics;
    setFigure(s.Panel2,
              QString::fromStdString(sampling::physicalAddressText(row.physAddr, row.physAddrLen)));
    setFigure(s.Panel14, text(rec.CurIn, 0));
    setFigure(s.Panel15, text(rec.PeakIn, 0));
    setFigure(s.Panel16, rec.InCount == 0 ? QStringLiteral("0") : text(rec.averageIn(), 0));
    setFigure(s.Panel17, text(rec.SumIn, 0));
    setFigure(s.Panel18, text(rec.CurOut, 0));
    setFigure(s.Panel19, text(rec.PeakOut, 0));
    setFigure(s.Panel20, rec.OutCount == 0 ? QStringLiteral("0") : text(rec.averageOut(), 0));
    setFigure(s.Panel21, text(rec.SumOut, 0));

    setFigure(s.Panel26, text(m_totals.LastTotalIn[position], 0));
    setFigure(s.Panel27, text(m_totals.LastTotalOut[position], 0));
    setFigure(s.Panel28, text(m_totals.LastTotalIn[position] / 1024.0L, 3));
    setFigure(s.Panel29, text(m_totals.LastTotalIn[position] / 1048576.0L, 3));
    setFigure(s.Panel30, text(m_totals.LastTotalOut[position] / 1024.0L, 3));
    setFigure(s.Panel31, text(m_totals.LastTotalOut[position] / 1048576.0L, 3));

    m_feed->addShownTick(rec, plotSettings(), figure(s.Panel16).toStdString(),
                         figure(s.Panel20).toStdString(), m_env.clock.now());

    m_trayHint = QStringLiteral("Flowloom - ") +
                 text(m_totals.LastTotalIn[position] / 1073741824.0L, 3) + QStringLiteral(" GB");
    m_tray->setToolTip(m_trayHint);
}

void TForm1::addToTotals(int position, std::uint64_t in, std::uint64_t out)
{
    if (position >= 0 && m_totals.add(static_cast<std::size_t>(position), in, out))
        ++m_totalsChanges;
    recordUsage(position, in, out);
}

// While the window is not seen, a tick's figures are kept instead of written:
// writing a label costs more than the whole sampling pass. The web view, the
// plot feed and the balloon read them through figure(); the window shows them
// when it comes back (showKeptFigures).
bool TForm1::figuresUnseen() const
{
    return !updatesEnabled();
}

void TForm1::setFigure(QLabel* label, const QString& text)
{
    if (!figuresUnseen()) {
        label->setText(text);
        return;
    }
    for (auto& [kept, keptText] : m_keptFigures)
        if (kept == label) {
            keptText = text;
            return;
        }
    m_keptFigures.emplace_back(label, text);
}

QString TForm1::figure(const QLabel* label) const
{
    for (const auto& [kept, text] : m_keptFigures)
        if (kept == label)
            return text;
    return label->text();
}

void TForm1::showKeptFigures()
{
    for (const auto& [label, text] : m_keptFigures)
        label->setText(text);
    m_keptFigures.clear();
}

void TForm1::tickTail()
{
    const graph::PlotFeedSettings settings = plotSettings();
    auto pageLimit = [&] {
        if (!sampling::pageLimitReached(Setup->spPages->value(), Setup->spPoints->value(),
                                        m_counters.StopCount))
            return;
        m_counters.StopCount = 0;
        if (Setup->rbStop->isChecked()) {
            btnStopClick();
            Label13->show();
        } else {
            m_feed->restart(m_counters, settings); // a new graph, and keep running
        }
    };
    m_feed->tickTail(
        m_counters, settings, [this] { return captureTrigger(); }, pageLimit);
    Chart1->update();
}

// --- Cumulative totals -----------------------------------------------------------

// A stored reset text as the "since" label shows it.
static QString sinceText(const std::string& stored)
{
    const auto parsed = DateTimeText::fromText(stored);
    return parsed ? QString::fromStdString(DateTimeText::longDisplay(*parsed)) : QString();
}

void TForm1::showSinceTexts(int position)
{
    if (position < 0 || position >= static_cast<int>(m_totals.size()))
        return;
    Statistics->Label39->setText(sinceText(m_totals.LastInReset[position]));
    Statistics->Label41->setText(sinceText(m_totals.LastOutReset[position]));
}

void TForm1::btnResetInClick()
{
    const int s = cbURL->currentIndex();
    if (s < 0 || s >= static_cast<int>(m_totals.size()))
        return;
    m_totals.LastInReset[s] = nowText().toStdString();
    m_totals.LastTotalIn[s] = 0;
    ++m_totalsChanges;
    Statistics->Label39->setText(sinceText(m_totals.LastInReset[s]));
    publishWebView();
    saveInBackground();
}

void TForm1::btnResetOutClick()
{
    const int s = cbURL->currentIndex();
    if (s < 0 || s >= static_cast<int>(m_totals.size()))
        return;
    m_totals.LastOutReset[s] = nowText().toStdString();
    m_totals.LastTotalOut[s] = 0;
    ++m_totalsChanges;
    Statistics->Label41->setText(sinceText(m_totals.LastOutReset[s]));
    publishWebView();
    saveInBackground();
}

void TForm1::cbURLChange()
{
    edTitleChange();  // the interface list shares the title's reaction
    publishWebView(); // the since-dates changed, also while plotting is stopped
}

} // namespace flowloom::app

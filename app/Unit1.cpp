#include "app/Unit1.h"

#include "app/apps/ApplicationsPage.h"
#include "app/controllers/UsageRecording.h"
#include "app/desktop/DesktopNotices.h"
#include "app/desktop/SleepWatcher.h"
#include "app/pages/HistoryPage.h"
#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "app/shell/ToolIcons.h"
#include "app/shell/Tray.h"
#include "graph/ChartWidget.h"
#include "output/glue/CaptureIndicator.h"
#include "sampling/RateUnit.h"
#include "usage/UsageStore.h"
#include "web/ui/Unit2.h"
#include "web/ui/WebService.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <system_error>

namespace flowloom::app {

QFont TForm1::windowFont()
{
    return QFont(QStringLiteral("Arial"), 8);
}

TForm1::TForm1(Environment environment, QWidget* parent)
    : QMainWindow(parent), m_env(std::move(environment)),
      m_files(m_env.files.value_or(portableLocations(m_env.programFile)))
{
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("Flowloom"));
    setFont(windowFont());
    if (!m_env.showMessage) {
        m_env.showMessage = [this](const std::string& text) {
            if (m_unattended || m_env.headless)
                std::fprintf(stderr, "Flowloom: %s\n", text.c_str());
            else
                QMessageBox::warning(this, QStringLiteral("Flowloom"),
                                     QString::fromStdString(text));
        };
    }
    if (m_env.dialogs == nullptr)
        m_ownDialogs = std::make_unique<Dialogs>(Dialogs::desktop());
    m_dialogs = m_env.dialogs != nullptr ? m_env.dialogs : m_ownDialogs.get();
    m_ui.window = this;
    // The usage history's database opens beside the building of the window
    // (tens of milliseconds of start-up otherwise).
    std::future<UsageRecording::Opening> historyOpening = UsageRecording::openInBackground(
        usage::historyPathFor(m_files.settingsFile), m_env.clock.now());
    if (!m_env.applicationTraffic) {
        try {
            m_trafficProbe = std::async(
                std::launch::async, [] { return std::make_unique<appnet::ApplicationTraffic>(); });
        } catch (const std::system_error&) {
            // No thread to be had: it is made where it is needed.
        }
    }
    createToolBar();
    createPages();
    createStatusBar();
    m_ui.tray = new Tray(applicationIcon(), this);
    // Nobody sees the status bar of a program without a window: its notices
    // (a cap warning, a failed background write) go to standard error.
    auto toStandardError = [](const QString& text) {
        std::fprintf(stderr, "Flowloom: %s\n", text.toLocal8Bit().constData());
    };
    m_ui.notices = new DesktopNotices(
        *m_ui.StatusNotice,
        DesktopNotices::Links{[this] { return m_ui.tray->isVisible(); },
                              [this](const QString& title, const QString& text) {
                                  m_ui.tray->showBalloon(title, text);
                              },
                              m_env.headless ? std::function<void(const QString&)>(toStandardError)
                                             : nullptr},
        this);
    m_figures = std::make_unique<FigureBoard>(*this);
    createControllers();
    m_history->takeOpening(std::move(historyOpening));
    resize(799, 480);
    // The window can never be made smaller than its first layout.
    setMinimumSize(799, 480);

    m_autosave = new QTimer(this);
    m_autosave->setInterval(std::chrono::minutes(1));
    connect(m_autosave, &QTimer::timeout, this, [this] {
        m_run->catchUp(); // the readings taken unseen count in what is saved
        m_settings->autosaveTotals();
        m_history->flushHistory();
    });

    FormCreate();
    m_web->createWebDialog();
    m_autosave->start();
}

// Controllers connect their controls before the settings are loaded, so that
// loading runs the reactions as a user's change would.
void TForm1::createControllers()
{
    m_graph = std::make_unique<GraphController>(
        m_ui, m_vars, *m_dialogs, m_counters,
        GraphController::Links{[this] { m_run->holdClock(); }, [this] { m_run->releaseClock(); },
                               [this](int position) { m_run->showSinceTexts(position); },
                               [this] { return m_capture->captureFolderExists(); }});
    m_capture = std::make_unique<CaptureController>(m_ui, m_env, m_files, m_counters);
    m_web = std::make_unique<WebController>(
        m_ui, m_env, m_vars, *m_dialogs, *m_figures,
        WebController::Links{
            [this] { return m_capture->webGraphSnapshot(); },
            [this](web::WebSnapshot& view) { m_history->publishHistoryView(view); },
            [this] { return m_run ? m_run->figures() : std::shared_ptr<const web::Figures>(); }});
    m_history = std::make_unique<HistoryController>(
        m_ui, m_env, m_files, *m_dialogs,
        HistoryController::Links{[this] { m_web->publishWebView(); }});
    m_shell = std::make_unique<ShellController>(m_ui, m_env, m_files, m_vars, *m_figures);
    m_run = std::make_unique<RunController>(
        m_ui, m_env, m_files, m_vars, *m_figures, m_counters, *m_graph,
        RunController::Links{
            [this] { m_web->publishWebView(); },
            [this](const sampling::TMIBIfArray&) { return m_history->openHistory(); },
            [this](accounting::AccountingCore& core) { m_history->beforeTick(core); },
            [this](const accounting::TickReport& report) { m_history->afterTick(report); },
            [this](const sampling::DateTime& at) { return m_capture->captureTrigger(at); },
            [this] { m_settings->saveInBackground(); },
            [this] { return m_web->service().isActive(); }});
    m_history->attachCore(&m_run->core());
    new SleepWatcher(SleepWatcher::Links{[this] {
                                             m_run->takeReadingBeforeSleep();
                                             m_settings->saveInBackground();
                                             m_history->flushHistory();
                                         },
                                         [this] { m_run->wokeUp(); }},
                     this);
    m_apps = std::make_unique<ApplicationsController>(
        m_ui, m_env.applicationTraffic ? m_env.applicationTraffic()
              : m_trafficProbe.valid() ? m_trafficProbe.get()
                                       : std::make_unique<appnet::ApplicationTraffic>());
    m_run->setTickHook(
        [this](const accounting::TickTraffic& traffic, const sampling::DateTime& now) {
            m_apps->tick(traffic, now, m_run->core());
        });
    m_run->setFiguresHook([this](web::Figures& figures) {
        if (m_web->service().isActive())
            m_apps->publish(figures, m_run->core());
    });
    m_settings = std::make_unique<SettingsKeeper>(m_ui, m_env, m_files, m_vars, m_run->totals());
    // Pages that wait while the window is unseen catch up the moment it shows.
    m_shell->setSeenAgain([this] {
        m_run->stopReadingUnseen(); // the ticks taken meanwhile, before anything shows
        m_history->windowSeenAgain();
        m_apps->windowSeenAgain();
    });
}

void TForm1::FormCreate()
{
    // 1. Qt widgets paint double-buffered already.
    // 2. Every control and settings variable takes its stored or default value.
    m_settings->load(laidOutSize(*m_ui.TabSheet1));
    // 3. Start minimized (carried out when the program shows the window).
    m_shell->setStartMinimized(m_ui.Setup->cbStartMin->isChecked());
    // 4., 5. Stay on top and opacity.
    btnStayClick();
    tb1Change();
    // 6. The first sub-page of Setup.
    m_ui.Setup->PageControl2->setCurrentWidget(m_ui.Setup->GraphAxesPage);
    // 7. A fresh copy of the user guide.
    m_shell->writeHelpFile();
    // 8. Minimizing to the notification area follows cbMinimize when minimizing.
    // 9. The title's "^" became spaces while it was read.
    // 10. Capture and "Capture Now" need an existing folder.
    edFolderChange();
    // 11. The statistics image font goes with "Image".
    m_ui.Setup->btnWebFont->setEnabled(m_ui.Setup->cbImage->isChecked());
    // 12. Help only when the guide exists.
    m_ui.btnHelp->setEnabled(m_shell->helpFile().exists());
    // 13., 14. Image size controls and the "Capture active" indicator.
    rbPercentClick();
    cbCaptureClick();
    // 15. The sampling clock's interval.
    m_run->setInterval(1000);
    // 16. The web document names as they stand now are the remembered ones.
    m_web->rememberNames();
    // 17., 18. The graph's look; the drag cursors were drawn with the graph.
    m_graph->applyGraphAppearance();
    // 19. The graph page in front.
    m_ui.PageControl1->setCurrentWidget(m_ui.TabSheet1);
    // 21. The interface list, statistics and cumulative totals.
    CaptureMIBData(true);
    // 22. Title, axis title and colours of the graph.
    edTitleChange();
    // 23. The "since" texts of the saved interface.
    m_run->showSinceTexts(m_vars.URL);
    // 24. The listening addresses are the interface list's items.
    QComboBox& addresses = *m_ui.Setup->cbServerIP;
    addresses.clear();
    for (int i = 0; i < m_ui.cbURL->count(); ++i)
        addInterfaceItem(addresses, m_ui.cbURL->itemText(i), interfaceName(*m_ui.cbURL, i));
    addresses.setCurrentIndex(
        m_vars.ServerIP >= 0 && m_vars.ServerIP < addresses.count() ? m_vars.ServerIP : -1);
    // 25. The web server resumes when it was running at the last close.
    if (m_ui.Setup->cbWeb->isChecked())
        StartServer();
    else
        m_web->publishWebView();
    // 26. Plotting resumes when it was running at the last close.
    if (m_ui.btnStart->isChecked() && m_ui.btnStart->isEnabled())
        btnStartClick();
    else if (m_ui.btnStart->isChecked())
        m_ui.btnStop->setChecked(true); // nothing to plot without an interface
}

TForm1::~TForm1() = default;

void TForm1::createToolBar()
{
    auto* panel = new QWidget(this);
    panel->setObjectName("Panel1");
    panel->setFixedHeight(45);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(2);
    layout->addWidget(new QLabel(QStringLiteral("Data Interface "), panel));
    m_ui.cbURL = new QComboBox(panel);
    m_ui.cbURL->setObjectName("cbURL");
    m_ui.cbURL->setMinimumWidth(130);
    layout->addWidget(m_ui.cbURL);
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
    m_ui.btnLine = makeButton("btnLine", "Filled / line graph type", ToolIcon::Line);
    m_ui.btn3D = makeButton("btn3D", "3-dimensional graph / flat", ToolIcon::ThreeD);
    m_ui.btnSwap = makeButton("btnSwap", "Swap plotting positions", ToolIcon::Swap);
    m_ui.btnStay = makeButton("btnStay", "Stay on top", ToolIcon::Stay);
    for (QToolButton* toggle : {m_ui.btnLine, m_ui.btn3D, m_ui.btnStay})
        toggle->setCheckable(true);
    m_ui.btnLine->setChecked(true); // down for "Filled"
    separator();
    m_ui.btnStart = makeButton("btnStart", "Start Plot", ToolIcon::Start);
    m_ui.btnStop = makeButton("btnStop", "Stop Plot", ToolIcon::Stop);
    m_ui.btnClear = makeButton("btnClear", "Clear Graph", ToolIcon::Clear);
    m_ui.btnStart->setCheckable(true);
    m_ui.btnStop->setCheckable(true);
    auto* runButtons = new QButtonGroup(this);
    runButtons->setExclusive(true);
    runButtons->addButton(m_ui.btnStart);
    runButtons->addButton(m_ui.btnStop);
    m_ui.btnStop->setChecked(true);
    m_ui.btnStart->setEnabled(false);
    separator();
    m_ui.btnSave = makeButton("btnSave", "Capture Now", ToolIcon::Save);
    m_ui.btnCopy = makeButton("btnCopy", "Copy to clipboard", ToolIcon::Copy);
    m_ui.btnPrint = makeButton("btnPrint", "Print Graph", ToolIcon::Print);
    separator();
    m_ui.btnHelp = makeButton("btnHelp", "Help", ToolIcon::Help);

    layout->addStretch(1);
    m_ui.Label13 = new QLabel(QStringLiteral("STOPPED"), panel);
    m_ui.Label13->setObjectName("Label13");
    m_ui.Label13->setStyleSheet(QStringLiteral("color: maroon; font-weight: bold;"));
    m_ui.Label13->hide();
    layout->addWidget(m_ui.Label13);
    setMenuWidget(panel);

    connect(m_ui.cbURL, &QComboBox::currentIndexChanged, this, [this] { cbURLChange(); });
}

void TForm1::createPages()
{
    m_ui.PageControl1 = new QTabWidget(this);
    m_ui.PageControl1->setObjectName("PageControl1");
    m_ui.TabSheet1 = new QWidget(m_ui.PageControl1);
    m_ui.TabSheet1->setObjectName("TabSheet1");
    m_ui.PageControl1->addTab(m_ui.TabSheet1, QStringLiteral("  Graph  "));
    createGraph();
    m_ui.Statistics = new StatisticsPage(m_ui.PageControl1);
    m_ui.Statistics->setObjectName("TabSheet3");
    m_ui.PageControl1->addTab(m_ui.Statistics, QStringLiteral("  Statistics  "));
    m_ui.Setup = new SetupPage(m_ui.PageControl1);
    m_ui.Setup->setObjectName("TabSheet2");
    m_ui.PageControl1->addTab(m_ui.Setup, QStringLiteral("  Setup  "));
    m_ui.History = new HistoryPage(m_ui.PageControl1);
    m_ui.History->setObjectName("TabSheetHistory");
    m_ui.PageControl1->addTab(m_ui.History, QStringLiteral("  History  "));
    m_ui.Applications = new ApplicationsPage(m_ui.PageControl1);
    m_ui.Applications->setObjectName("TabSheetApplications");
    m_ui.PageControl1->addTab(m_ui.Applications, QStringLiteral("  Applications  "));
    setCentralWidget(m_ui.PageControl1);
}

void TForm1::createGraph()
{
    m_ui.Chart1 = new graph::ChartWidget(m_ui.TabSheet1);
    m_ui.Chart1->setObjectName("Chart1");
    auto* layout = new QVBoxLayout(m_ui.TabSheet1);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_ui.Chart1);

    // Legend: a colour bar and a raised label for each direction.
    auto bar = [&](const char* name, int x) {
        auto* frame = new QFrame(m_ui.Chart1);
        frame->setObjectName(name);
        frame->setGeometry(x, 10, 35, 4);
        frame->setAutoFillBackground(true);
        return frame;
    };
    auto label = [&](const char* name, const char* text, int x) {
        auto* panel = new QLabel(QString::fromLatin1(text), m_ui.Chart1);
        panel->setObjectName(name);
        panel->setGeometry(x, 5, 57, 13);
        panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
        panel->setAlignment(Qt::AlignCenter);
        panel->setAutoFillBackground(true);
        panel->setCursor(Qt::PointingHandCursor);
        return panel;
    };
    m_ui.Panel22 = bar("Panel22", 4);
    m_ui.Panel23 = label("Panel23", "Download", 40);
    m_ui.Panel24 = bar("Panel24", 112);
    m_ui.Panel25 = label("Panel25", "Upload", 148);

    // The graph's popup menu.
    m_ui.PopupMenu3 = new QMenu(m_ui.Chart1);
    m_ui.PopupMenu3->setObjectName("PopupMenu3");
    auto item = [&](const char* name, const char* caption) {
        QAction* action = m_ui.PopupMenu3->addAction(QString::fromLatin1(caption));
        action->setObjectName(name);
        return action;
    };
    m_ui.Copy2 = item("Copy2", "Copy");
    m_ui.PopupMenu3->addSeparator();
    m_ui.Clear1 = item("Clear1", "Clear");
    m_ui.PopupMenu3->addSeparator();
    m_ui.Save1 = item("Save1", "Save");
    m_ui.SaveAs1 = item("SaveAs1", "Save As...");
    m_ui.PopupMenu3->addSeparator();
    m_ui.mnuApply = item("mnuApply", "Apply Vertical Axis Maximum");
    m_ui.RestoreVerticalAxis1 = item("RestoreVerticalAxis1", "Restore Vertical Axis");
    m_ui.PopupMenu3->addSeparator();
    m_ui.Print1 = item("Print1", "Print...");
    m_ui.PrinterSetup1 = item("PrinterSetup1", "Printer Setup...");
    m_ui.Chart1->setContextMenuPolicy(Qt::CustomContextMenu);
}

namespace {
int rateWidth(const QLabel& panel)
{
    using sampling::RateUnit;
    int widest = 0;
    for (const RateUnit unit : {RateUnit::KBytes, RateUnit::Kbits, RateUnit::Mbits}) {
        const QString text =
            QStringLiteral("Out: ") + QString::fromStdString(sampling::widestRateText(unit));
        widest = std::max(widest, panel.fontMetrics().horizontalAdvance(text));
    }
    // The sunken frame on both sides, and a little air.
    return widest + 2 * panel.frameWidth() + 6;
}
} // namespace

void TForm1::createStatusBar()
{
    auto* bar = new QStatusBar(this);
    bar->setObjectName("StatusBar1");
    bar->setFixedHeight(21);
    bar->setSizeGripEnabled(true);
    int widths[4] = {150, 100, 100, 50};
    for (int i = 0; i < 4; ++i) {
        m_ui.StatusPanel[i] = new QLabel(bar);
        m_ui.StatusPanel[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_ui.StatusPanel[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // The rate panels are at least as wide as the longest rate they can show
        // ("Out: " and a 32-bit difference in any unit), so no rate is ever cut.
        if (i == 1 || i == 2)
            widths[i] = std::max(widths[i], rateWidth(*m_ui.StatusPanel[i]));
        m_ui.StatusPanel[i]->setMinimumWidth(widths[i]);
        if (i < 3) // fixed: the per-tick texts repaint the panel without a relayout
            m_ui.StatusPanel[i]->setFixedSize(widths[i], 17);
        bar->addWidget(m_ui.StatusPanel[i]);
    }
    // Notices take the rest of the bar, in a panel of their own: never over
    // the rates or the server's state.
    m_ui.StatusNotice = new QLabel(bar);
    m_ui.StatusNotice->setObjectName("StatusNotice");
    m_ui.StatusNotice->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_ui.StatusNotice->setMinimumWidth(50);
    bar->addWidget(m_ui.StatusNotice, 1);
    setStatusBar(bar);
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

void TForm1::cbURLChange()
{
    edTitleChange();         // the interface list shares the title's reaction
    m_web->publishWebView(); // the since-dates changed, also while plotting is stopped
}

// --- The window's own events -----------------------------------------------------

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    m_shell->windowShown();
}

void TForm1::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    m_shell->paintOnlyWhenSeen();
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    m_shell->windowChanged(event);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!m_closing)
        FormCloseQuery();
    event->accept();
    emit closed();
}

void TForm1::closeUnattended()
{
    m_unattended = true;
    close();
}

void TForm1::FormCloseQuery()
{
    m_closing = true;
    m_settings->stopAutosave();
    // 0. The readings taken while the window was unseen count in what is saved.
    m_run->stopReadingUnseen();
    // 1. The listening address, before anything else changes the window.
    const int serverIpIndex = m_ui.Setup->cbServerIP->currentIndex();
    // 2. No request is served while the window is captured, saved and torn down.
    m_web->stopServer();
    // 3. The page in progress.
    m_capture->shutdownCapture();
    // 4. Every setting.
    m_settings->save(serverIpIndex);
    m_history->closeHistory();
    // 5. The user guide goes with the program (an installed guide stays).
    m_shell->removeHelpFile();
}

} // namespace flowloom::app

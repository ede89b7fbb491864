#pragma once

// moc of Qt 6.4 cannot parse some C++20 standard headers; it needs none of these.
#ifndef Q_MOC_RUN
#include "app/BackgroundSaver.h"
#include "app/Dialogs.h"
#include "app/Environment.h"
#include "app/HelpFile.h"
#include "app/ProgramVariables.h"
#include "app/ini/IniStore.h"
#include "app/ini/SettingsValues.h"
#include "output/encoders/ImageType.h"
#include "output/glue/PageCapture.h"
#include "sampling/InterfaceTracker.h"
#include "sampling/RunControl.h"
#include "sampling/Statistics.h"
#include "sampling/ThdTimer.h"
#include "usage/CapWarning.h"
#include "usage/UsageHistory.h"
#include "web/documents/DocumentNames.h"
#endif

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QButtonGroup;
class QFrame;
class QKeyEvent;
class QLineEdit;
class QMessageBox;
class QMenu;
class QPrinter;
class QComboBox;
class QLabel;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class QToolButton;

namespace flowloom::graph {
class ChartWidget;
class DragCursors;
class PlotFeed;
struct PlotFeedSettings;
} // namespace flowloom::graph

namespace flowloom::output {
class CaptureIndicator;
struct ExportSettings;
} // namespace flowloom::output

namespace flowloom::web {
class TForm2;
class WebService;
struct WebSnapshot;
struct NameDecision;
} // namespace flowloom::web

namespace flowloom::app {

class HistoryPage;
class StatisticsPage;
class UsageRecording;
class Tray;
class SetupPage;

// Interface lists (the data interface and the listening address): each item
// is the address text, with the interface's name kept as the item's tooltip
// and shown beside the address in the drop-down.
void addInterfaceItem(QComboBox& list, const QString& item, const QString& name);
QString interfaceName(const QComboBox& list, int index);
QString interfaceItemCaption(const QString& item, const QString& name);

// The main window: owns the controls, the sampling clock and the statistics,
// and connects them. Handlers keep their established names; their bodies
// delegate to the subsystem rules.
class TForm1 final : public QMainWindow
{
    Q_OBJECT
public:
    explicit TForm1(Environment environment, QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up and shutdown.
    void FormCreate();
    bool startsMinimized() const { return m_startMinimized; }
    // Program start step 4: shown, minimized, or straight into the
    // notification area with "Minimize to SysTray".
    void showAtStart();
    // The close request: never refused, always saves.
    void FormCloseQuery();
    // The close request from the system (a signal, the session ending), when
    // nobody may be at the screen: a failure it meets (a settings file that
    // cannot be written) goes to standard error instead of a box that would
    // hold the close.
    void closeUnattended();

    // Window shell.
    void btnStayClick();
    void tb1Change();
    void btnHelpClick();
    void TrayIconClick();
    void mnuRestoreClick();
    void CloseEcholoom1Click();
    void Label49Click();
    void TabSheet1Show();
    void TabSheet2Show();
    Tray& trayIcon() { return *m_tray; }
    const HelpFile& helpFile() const { return m_help; }

    // Graph: plot feed handlers.
    void spPointsChange();
    void spMaxChange();
    void btnClearClick();
    void rbStepsClick();
    void cbAutoClick();
    void cbDoPlotClick();
    void rbBytesClick();
    // Graph appearance.
    void edTitleChange();
    void edLabelChange();
    bool edLabelKeyPress(const QKeyEvent& key); // true: the key is refused
    void btnFontClick();
    void btnAFontClick();
    void btnGridClick();
    void btnDownColourClick();
    void btnUploadColourClick();
    void btnBackColourClick();
    void btnBorderColourClick();
    void btn3DClick();
    void rbLineClick();
    void btnLineClick();
    void rbVerticalClick();
    void btnSwapClick();
    // Graph interaction.
    void Chart1MouseDown(Qt::MouseButton button, bool shift);
    void Chart1MouseUp(Qt::MouseButton button, bool shift);
    void Chart1Scroll();
    void PopupMenu3Popup();
    void mnuApplyClick();
    void RestoreVerticalAxis1Click();
    graph::PlotFeed& plotFeed() { return *m_feed; }
    Dialogs& dialogs() { return m_dialogs; }
    bool ShiftPan = false;

    // Graph output and page capture.
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
    output::CaptureIndicator* imgNoise = nullptr;

    // Web service.
    void StartServer();
    void cbWebClick();
    void btnAdvancedClick();
    void cbCSVClick();
    void edFormatExit();
    void edImageExit();
    void edTempExit();
    void edTempChange();
    void btnWebFontClick();
    // A figure as the window shows it, or will once it is seen again.
    QString figure(const QLabel* label) const;
    // The view of the window that requests read, published on every change.
    void publishWebView(bool evenWhenStopped = false);
    std::optional<QImage> SaveTempGraph();
    std::optional<QImage> SaveTempStatistics(const std::string& formattedText);
    web::WebService& webService() { return *m_web; }
    web::TForm2* Form2 = nullptr;
    output::ImageType imageType() const;

    // Run control.
    void btnStartClick();
    void btnStopClick();
    void Timer1Timer();

    // Sampling: one snapshot handed to InitGrid (start-up) or Data2Grid (tick).
    void CaptureMIBData(bool initial);
    void InitGrid(const sampling::TMIBIfArray& snapshot);
    void Data2Grid(const sampling::TMIBIfArray& snapshot);

    // Cumulative totals.
    void btnResetInClick();
    void btnResetOutClick();
    void cbURLChange();

    // Usage history and the data-cap warning (Unit1History.cpp). Every byte
    // added to a cumulative total is recorded for its interface's day and
    // billing period; the history is written in the background once a minute.
    void recordUsage(int position, std::uint64_t in, std::uint64_t out);
    void flushHistory();
    void showHistory();
    void btnExportClick();
    void edHistoryExit();
    UsageRecording* usageRecording() { return m_usage.get(); }
    HistoryPage* History = nullptr;

signals:
    // The close request has run and the window is closing.
    void closed();

public:
    // Settings file: loaded while the window is built, written at close, and
    // in the background at most once a minute while a cumulative total
    // changes, and right after a reset, so a crash loses at most a minute.
    // Files that belong beside it (lock, history) go into its folder.
    std::filesystem::path settingsPath() const;
    // Where the settings, the guide and the images go (portable or installed).
    const FileLocations& files() const { return m_files; }
    void saveSettings(int serverIpIndex);
    void saveInBackground();
    // Once a minute: a background write when a cumulative total changed.
    void autosaveTotals();
    ProgramVariables& variables() { return m_vars; }

    sampling::TThreadedTimer& ThreadedTimer1() { return *m_timer; }
    const sampling::StatisticsEngine& statistics() const { return m_statistics; }
    const sampling::CumulativeTotals& totals() const { return m_totals; }
    sampling::RunCounters& counters() { return m_counters; }
    // The notification-area hint text ("Flowloom", then the download total in GB).
    const QString& trayHint() const { return m_trayHint; }

    // Controls (stable object names for tests).
    QComboBox* cbURL;
    QToolButton* btnLine;
    QToolButton* btn3D;
    QToolButton* btnSwap;
    QToolButton* btnStay;
    QToolButton* btnStart;
    QToolButton* btnStop;
    QToolButton* btnClear;
    QToolButton* btnSave;
    QToolButton* btnCopy;
    QToolButton* btnPrint;
    QToolButton* btnHelp;
    QLabel* Label13; // "STOPPED"
    QTabWidget* PageControl1;
    QWidget* TabSheet1; // "  Graph  "
    graph::ChartWidget* Chart1;
    QFrame* Panel22;  // download legend bar
    QWidget* Panel23; // "Download"
    QFrame* Panel24;  // upload legend bar
    QWidget* Panel25; // "Upload"
    QMenu* PopupMenu3;
    QAction* Copy2;
    QAction* Clear1;
    QAction* Save1;
    QAction* SaveAs1;
    QAction* mnuApply;
    QAction* RestoreVerticalAxis1;
    QAction* Print1;
    QAction* PrinterSetup1;
    StatisticsPage* Statistics;
    SetupPage* Setup;
    QLabel* StatusPanel[4];

private:
    void createToolBar();
    void createPages();
    void createStatusBar();
    void createShell();
    void createGraph();
    void connectGraphControls();
    bool graphEventFilter(QObject* watched, QEvent* event);
    graph::PlotFeedSettings plotSettings() const;
    void applyGraphAppearance();
    void applyAxesTextColour(std::uint32_t colour);
    void applyGridColour(std::uint32_t colour);
    void applyPlotColours();
    void applyAreaColours();
    void swapSeriesOrder();
    void createWebService();
    void createWebDialog();
    bool webEventFilter(QObject* watched, QEvent* event);
    web::NameFields nameFields() const;
    void applyNameDecision(const web::NameDecision& decision);
    void edNameClick(QLineEdit* edit, bool showUrl);
    void rememberNames();
    void stopServer();
    std::optional<QImage> webGraphSnapshot();
    void createOutput();
    bool outputEventFilter(QObject* watched, QEvent* event);
    output::ExportSettings exportSettings() const;
    output::PageCapture::Settings captureSettings() const;
    void report(const std::optional<QString>& error);
    QPrinter& printer();
    void shutdownCapture();
    void writeHelpFile();
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintOnlyWhenSeen();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showFigures(std::size_t position, const sampling::TMIBIfRow& row);
    void addToTotals(int position, std::uint64_t in, std::uint64_t out);
    void backgroundSaveDone(const IniSaveResult& result);
    // The settings as they would be written now: every value and the totals.
    struct SettingsToWrite;
    SettingsToWrite settingsToWrite(int serverIpIndex);
    bool figuresUnseen() const;
    void setFigure(QLabel* label, const QString& text);
    void showKeptFigures();
    void showSinceTexts(int position);
    void tickTail();
    // Page capture of a completed page; true when an image was written.
    bool captureTrigger();
    bool captureFolderExists() const;
    QString nowText() const;
    RuntimeDefaults runtimeDefaults() const;
    QSize laidOutSize(QWidget& page);
    void closeEvent(QCloseEvent* event) override;
    void createHistory();
    void openHistory(const sampling::TMIBIfArray& startupTable);
    void closeHistory();
    const usage::InterfaceIdentity* identityAt(int position) const;
    usage::BillingRule billingRule() const;
    usage::CapRule capRule() const;
    void showCapWarning(usage::CapLevel level, const usage::CapRule& rule,
                        const usage::PeriodStatus& status, const std::string& interfaceName);
    void showNotice(const QString& text);
    void historyWritten(std::uint64_t seq, bool ok, const std::string& error);
    bool historyEventFilter(QObject* watched, QEvent* event);
    void publishHistoryView(web::WebSnapshot& view) const;

    Environment m_env;
    FileLocations m_files;
    std::unique_ptr<sampling::TThreadedTimer> m_timer;
    sampling::InterfaceTracker m_tracker;
    sampling::StatisticsEngine m_statistics;
    sampling::CumulativeTotals m_totals;
    sampling::RunCounters m_counters;
    sampling::MonthlyReset m_monthlyReset;
    QButtonGroup* m_runButtons = nullptr;
    QString m_trayHint = QStringLiteral("Flowloom");
    ProgramVariables m_vars;
    Dialogs m_dialogs = Dialogs::desktop();
    std::unique_ptr<graph::PlotFeed> m_feed;
    std::unique_ptr<graph::DragCursors> m_cursors;
    std::unique_ptr<web::WebService> m_web;
    web::NameFields m_rememberedNames;
    std::string m_serverAddress;
    std::unique_ptr<QPrinter> m_printer;
    bool m_sizeLabelsShown = false; // design captions until the first resize
    HelpFile m_help;
    Tray* m_tray = nullptr;
    bool m_startMinimized = false;
    bool m_minimizeWhenExposed = false;
    bool m_shown = false;
    bool m_closing = false;
    bool m_unattended = false; // the close was requested by the system
    QSize m_graphDesignSize;
    QTimer* m_autosave = nullptr;
    std::uint64_t m_totalsChanges = 0; // raised whenever a cumulative total changes
    std::uint64_t m_savedChanges = 0;  // the count the last background write took
    bool m_saveFailureShown = false;   // a failed background write is reported once
    std::unique_ptr<UsageRecording> m_usage;
    int m_historyTicks = 0;
    bool m_historyFailureShown = false;
    std::string m_rememberedHistoryName;
    QPointer<QMessageBox> m_notice; // one non-modal notice, reused
    // Last member: destroyed first, so no write runs on behind a torn-down window.
    std::unique_ptr<BackgroundSaver> m_saver = std::make_unique<BackgroundSaver>();
    std::vector<std::pair<QLabel*, QString>> m_keptFigures; // written when seen again
};

} // namespace flowloom::app

#pragma once

#include "app/Environment.h"
#include "app/FigureBoard.h"
#include "app/InterfaceItems.h"
#include "app/MainControls.h"
#include "app/ProgramVariables.h"
#include "app/SettingsKeeper.h"
#include "app/apps/ApplicationsController.h"
#include "app/controllers/CaptureController.h"
#include "app/controllers/GraphController.h"
#include "app/controllers/HistoryController.h"
#include "app/controllers/RunController.h"
#include "app/controllers/ShellController.h"
#include "app/controllers/WebController.h"
#include "app/shell/Dialogs.h"

#include <QMainWindow>
#include <future>
#include <memory>

class QTimer;

namespace flowloom::app {

// The main window: it makes the controls and the controllers that carry the
// program's behaviour, and wires them together. Each handler keeps its
// established name and forwards to the controller that owns the behaviour.
class TForm1 final : public QMainWindow
{
    Q_OBJECT
public:
    explicit TForm1(Environment environment, QWidget* parent = nullptr);
    ~TForm1() override;
    // The font of the window and all its controls.
    static QFont windowFont();

    // Start-up and shutdown.
    void FormCreate();
    // Shown, minimized, or straight into the notification area with
    // "Minimize to SysTray".
    void showAtStart() { m_shell->showAtStart(); }
    // The close request: never refused, always saves.
    void FormCloseQuery();
    // The close request from the system (a signal, the session ending), when
    // nobody may be at the screen: a failure it meets (a settings file that
    // cannot be written) goes to standard error instead of a box that would
    // hold the close.
    void closeUnattended();

    // Window shell.
    void btnStayClick() { m_shell->btnStayClick(); }
    void tb1Change() { m_shell->tb1Change(); }
    void btnHelpClick() { m_shell->btnHelpClick(); }
    void TrayIconClick() { m_shell->TrayIconClick(); }
    void mnuRestoreClick() { m_shell->mnuRestoreClick(); }
    void CloseEcholoom1Click() { m_shell->CloseEcholoom1Click(); }
    void Label49Click() { m_shell->Label49Click(); }
    void TabSheet1Show() { m_shell->TabSheet1Show(); }
    void TabSheet2Show() { m_shell->TabSheet2Show(); }
    void cbAutoStartClick() { m_shell->cbAutoStartClick(); }

    // Graph.
    void spPointsChange() { m_graph->spPointsChange(); }
    void spMaxChange() { m_graph->spMaxChange(); }
    void btnClearClick() { m_graph->btnClearClick(); }
    void rbStepsClick() { m_graph->rbStepsClick(); }
    void cbAutoClick() { m_graph->cbAutoClick(); }
    void cbDoPlotClick() { m_graph->cbDoPlotClick(); }
    void rbBytesClick() { m_graph->rbBytesClick(); }
    void edTitleChange() { m_graph->edTitleChange(); }
    void edLabelChange() { m_graph->edLabelChange(); }
    bool edLabelKeyPress(const QKeyEvent& key) { return m_graph->edLabelKeyPress(key); }
    void btnFontClick() { m_graph->btnFontClick(); }
    void btnAFontClick() { m_graph->btnAFontClick(); }
    void btnGridClick() { m_graph->btnGridClick(); }
    void btnDownColourClick() { m_graph->btnDownColourClick(); }
    void btnUploadColourClick() { m_graph->btnUploadColourClick(); }
    void btnBackColourClick() { m_graph->btnBackColourClick(); }
    void btnBorderColourClick() { m_graph->btnBorderColourClick(); }
    void btn3DClick() { m_graph->btn3DClick(); }
    void rbLineClick() { m_graph->rbLineClick(); }
    void btnLineClick() { m_graph->btnLineClick(); }
    void rbVerticalClick() { m_graph->rbVerticalClick(); }
    void btnSwapClick() { m_graph->btnSwapClick(); }
    void Chart1MouseDown(Qt::MouseButton b, bool shift) { m_graph->Chart1MouseDown(b, shift); }
    void Chart1MouseUp(Qt::MouseButton b, bool shift) { m_graph->Chart1MouseUp(b, shift); }
    void Chart1Scroll() { m_graph->Chart1Scroll(); }
    void PopupMenu3Popup() { m_graph->PopupMenu3Popup(); }
    void mnuApplyClick() { m_graph->mnuApplyClick(); }
    void RestoreVerticalAxis1Click() { m_graph->RestoreVerticalAxis1Click(); }

    // Graph output and page capture.
    void SaveAs1Click() { m_capture->SaveAs1Click(); }
    void btnCopyClick() { m_capture->btnCopyClick(); }
    void btnPrintClick() { m_capture->btnPrintClick(); }
    void Print1Click() { m_capture->Print1Click(); }
    void PrinterSetup1Click() { m_capture->PrinterSetup1Click(); }
    void rbPercentClick() { m_capture->rbPercentClick(); }
    void spPercentChange() { m_capture->spPercentChange(); }
    void FormResize() { m_capture->FormResize(); }
    void btnSaveClick() { m_capture->btnSaveClick(); }
    void cbCaptureClick() { m_capture->cbCaptureClick(); }
    void edFolderChange() { m_capture->edFolderChange(); }
    void btnBrowseClick() { m_capture->btnBrowseClick(); }

    // Web service.
    void StartServer() { m_web->StartServer(); }
    void cbWebClick() { m_web->cbWebClick(); }
    void btnAdvancedClick() { m_web->btnAdvancedClick(); }
    void cbCSVClick() { m_web->cbCSVClick(); }
    void edFormatExit() { m_web->edFormatExit(); }
    void edImageExit() { m_web->edImageExit(); }
    void edTempExit() { m_web->edTempExit(); }
    void edTempChange() { m_web->edTempChange(); }
    void btnWebFontClick() { m_web->btnWebFontClick(); }

    // Run control, sampling and the cumulative totals.
    void btnStartClick() { m_run->btnStartClick(); }
    void btnStopClick() { m_run->btnStopClick(); }
    void Timer1Timer() { m_run->Timer1Timer(); }
    void CaptureMIBData(bool initial) { m_run->CaptureMIBData(initial); }
    void btnResetInClick() { m_run->btnResetInClick(); }
    void btnResetOutClick() { m_run->btnResetOutClick(); }
    void cbURLChange();

    // Usage history and the data-cap warning.
    void btnExportClick() { m_history->btnExportClick(); }
    void edHistoryExit() { m_history->edHistoryExit(); }

    // The parts the window is made of.
    const MainControls& controls() const { return m_ui; }
    const ProgramVariables& variables() const { return m_vars; }
    const FileLocations& files() const { return m_files; }
    const FigureBoard& figures() const { return *m_figures; }
    RunController& run() { return *m_run; }
    GraphController& graph() { return *m_graph; }
    CaptureController& capture() { return *m_capture; }
    WebController& web() { return *m_web; }
    HistoryController& history() { return *m_history; }
    ShellController& shell() { return *m_shell; }
    ApplicationsController& applications() { return *m_apps; }
    SettingsKeeper& settings() { return *m_settings; }

signals:
    // The close request has run and the window is closing.
    void closed();

private:
    void createToolBar();
    void createPages();
    void createGraph();
    void createStatusBar();
    void createControllers();
    QSize laidOutSize(QWidget& page);
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    Environment m_env;
    FileLocations m_files;
    MainControls m_ui;
    ProgramVariables m_vars;
    sampling::RunCounters m_counters;
    std::unique_ptr<Dialogs> m_ownDialogs; // the desktop's, unless the environment brings some
    Dialogs* m_dialogs = nullptr;
    std::unique_ptr<FigureBoard> m_figures;
    QTimer* m_autosave = nullptr;
    // The traffic per application's first look at the socket diagnostics
    // (walks of the kernel's whole TCP table), made beside the building of
    // the window; taken when its controller is made.
    std::future<std::unique_ptr<appnet::ApplicationTraffic>> m_trafficProbe;
    bool m_closing = false;
    bool m_unattended = false; // the close was requested by the system
    // Destroyed in reverse: the run's clock and the settings' background
    // writer end before the controllers and controls they would touch.
    std::unique_ptr<GraphController> m_graph;
    std::unique_ptr<CaptureController> m_capture;
    std::unique_ptr<WebController> m_web;
    std::unique_ptr<HistoryController> m_history;
    std::unique_ptr<ShellController> m_shell;
    std::unique_ptr<ApplicationsController> m_apps; // the run's tick calls it
    std::unique_ptr<RunController> m_run;
    std::unique_ptr<SettingsKeeper> m_settings;
};

} // namespace flowloom::app

#pragma once

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMainWindow;
class QMenu;
class QTabWidget;
class QToolButton;
class QWidget;

namespace flowloom::graph {
class ChartWidget;
}

namespace flowloom::app {

class DesktopNotices;
class ApplicationsPage;
class HistoryPage;
class SetupPage;
class StatisticsPage;
class Tray;

// The main window's named controls. The window makes them (they are its
// children) and hands this set to the controllers that read and write them.
struct MainControls
{
    QMainWindow* window = nullptr;
    // Tool bar.
    QComboBox* cbURL = nullptr;
    QToolButton* btnLine = nullptr;
    QToolButton* btn3D = nullptr;
    QToolButton* btnSwap = nullptr;
    QToolButton* btnStay = nullptr;
    QToolButton* btnStart = nullptr;
    QToolButton* btnStop = nullptr;
    QToolButton* btnClear = nullptr;
    QToolButton* btnSave = nullptr;
    QToolButton* btnCopy = nullptr;
    QToolButton* btnPrint = nullptr;
    QToolButton* btnHelp = nullptr;
    QLabel* Label13 = nullptr; // "STOPPED"
    // Pages.
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr; // "  Graph  "
    StatisticsPage* Statistics = nullptr;
    SetupPage* Setup = nullptr;
    HistoryPage* History = nullptr;
    ApplicationsPage* Applications = nullptr;
    // The graph, its legend and its popup menu.
    graph::ChartWidget* Chart1 = nullptr;
    QFrame* Panel22 = nullptr;  // download legend bar
    QWidget* Panel23 = nullptr; // "Download"
    QFrame* Panel24 = nullptr;  // upload legend bar
    QWidget* Panel25 = nullptr; // "Upload"
    QMenu* PopupMenu3 = nullptr;
    QAction* Copy2 = nullptr;
    QAction* Clear1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* SaveAs1 = nullptr;
    QAction* mnuApply = nullptr;
    QAction* RestoreVerticalAxis1 = nullptr;
    QAction* Print1 = nullptr;
    QAction* PrinterSetup1 = nullptr;
    // Status bar and notification area.
    QLabel* StatusPanel[4] = {};
    QLabel* StatusNotice = nullptr; // notices, beside the panels, for a few seconds
    Tray* tray = nullptr;
    // Notices to the desktop's notification service, the balloon or the status bar.
    DesktopNotices* notices = nullptr;
};

} // namespace flowloom::app

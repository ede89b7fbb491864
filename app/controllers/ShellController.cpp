#include "app/controllers/ShellController.h"

#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "app/shell/ToolIcons.h"
#include "app/shell/Tray.h"
#include "app/startup/AutoStartEntry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

namespace flowloom::app {

namespace {
constexpr const char* kHelpResource = ":/help/flowloom.html";
constexpr const char* kProjectPage = "https://flowloom.example.org/";
} // namespace

ShellController::ShellController(const MainControls& ui, const Environment& env,
                                 const FileLocations& files, ProgramVariables& vars,
                                 FigureBoard& figures)
    : m_ui(ui), m_env(env), m_window(*ui.window), m_files(files), m_vars(vars), m_figures(figures),
      m_help(files.helpFile), m_guideOpener(env.showMessage, this)
{
    m_window.setWindowIcon(applicationIcon());
    connect(m_ui.tray, &Tray::clicked, this, [this] { TrayIconClick(); });
    connect(m_ui.tray, &Tray::restoreRequested, this, [this] { mnuRestoreClick(); });
    connect(m_ui.tray, &Tray::closeRequested, this, [this] { CloseEcholoom1Click(); });

    connect(m_ui.btnStay, &QToolButton::clicked, this, [this] { btnStayClick(); });
    connect(m_ui.btnHelp, &QToolButton::clicked, this, [this] { btnHelpClick(); });
    // F1 anywhere in the window, as on every desktop.
    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), &m_window);
    helpKey->setObjectName(QStringLiteral("HelpShortcut"));
    connect(helpKey, &QShortcut::activated, this, [this] { btnHelpClick(); });
    connect(m_ui.Setup->tb1, &QSlider::valueChanged, this, [this] { tb1Change(); });
    // Toggled, not clicked: a stored "on" rewrites the entry at start-up, so
    // that it starts this copy of the program wherever it now stands.
    connect(m_ui.Setup->cbAutoStart, &QCheckBox::toggled, this, [this] { cbAutoStartClick(); });
    m_ui.Setup->cbAutoStart->setEnabled(!m_files.autostartEntry.empty());
    connect(m_ui.PageControl1, &QTabWidget::currentChanged, this, [this] {
        m_figures.showKept(); // the texts kept for the page now in front
        if (m_ui.PageControl1->currentWidget() == m_ui.TabSheet1)
            TabSheet1Show();
        else if (m_ui.PageControl1->currentWidget() == m_ui.Setup)
            TabSheet2Show();
    });
    m_ui.Setup->Label49->setCursor(Qt::PointingHandCursor); // the hand while over the link
    m_ui.Setup->Label49->installEventFilter(this);
}

void ShellController::writeHelpFile()
{
    if (!m_files.helpFileWritten)
        return; // the installed guide is opened where it is
    QFile resource(QString::fromLatin1(kHelpResource));
    if (!resource.open(QIODevice::ReadOnly)) {
        m_help.remove();
        return;
    }
    const QByteArray content = resource.readAll();
    m_help.writeFresh(
        std::string_view(content.constData(), static_cast<std::size_t>(content.size())));
}

void ShellController::showAtStart()
{
    if (!m_startMinimized) {
        m_window.show();
    } else if (m_ui.Setup->cbMinimize->isChecked() && m_ui.tray->available()) {
        // Straight into the notification area: the window stays unmapped, in
        // its normal state, until "Restore Flowloom" shows it.
        m_ui.tray->show();
    } else {
        // A window manager can iconify only a window it already manages: a
        // request made before the window is mapped is lost on X11. So the
        // window is shown, and minimized once it is on screen.
        m_window.show();
        m_minimizeWhenExposed = true;
        m_window.windowHandle()->installEventFilter(this);
    }
}

void ShellController::windowShown()
{
    // The off-screen layout pass while the window is built is no showing.
    if (m_window.testAttribute(Qt::WA_DontShowOnScreen))
        return;
    if (!m_shown) {
        m_shown = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = m_window.frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_window.move(frame.topLeft());
        }
        m_ui.PageControl1->setFocus(); // FormShow
    }
    if (!m_window.isMinimized())
        m_ui.tray->hide(); // the icon shows only while the window is off screen
    paintOnlyWhenSeen();
}

// While the window is minimised or in the notification area, ticks go on as
// ever (figures, totals, graph data, captures, web view) but nothing is
// repainted: the labels take their texts, and the repaint that re-enabling
// schedules shows the current state at once when the window comes back.
void ShellController::paintOnlyWhenSeen()
{
    if (m_window.testAttribute(Qt::WA_DontShowOnScreen))
        return; // the layout pass while the window is built
    const bool seen = m_window.isVisible() && !m_window.isMinimized();
    if (seen == m_window.updatesEnabled())
        return;
    // What waited catches up first, then the kept figures show.
    if (seen && m_seenAgain)
        m_seenAgain();
    if (seen)
        m_figures.showKept();
    m_window.setUpdatesEnabled(seen);
}

void ShellController::windowChanged(const QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange)
        paintOnlyWhenSeen();
    if (event->type() != QEvent::WindowStateChange || !m_window.isMinimized())
        return;
    if (m_ui.Setup->cbMinimize->isChecked() && m_ui.tray->available()) {
        // Off the task bar and into the notification area.
        QTimer::singleShot(0, &m_window, [this] { m_window.hide(); });
        m_ui.tray->show();
    }
}

bool ShellController::eventFilter(QObject* watched, QEvent* event)
{
    if (m_minimizeWhenExposed && watched == m_window.windowHandle() &&
        event->type() == QEvent::Expose && m_window.windowHandle()->isExposed()) {
        m_minimizeWhenExposed = false;
        QTimer::singleShot(0, &m_window, [this] { m_window.showMinimized(); });
    }
    if (watched == m_ui.Setup->Label49 && event->type() == QEvent::MouseButtonRelease)
        Label49Click();
    return QObject::eventFilter(watched, event);
}

void ShellController::removeHelpFile()
{
    // The user guide goes with the program (an installed guide stays).
    if (m_files.helpFileWritten)
        m_help.remove();
}

void ShellController::btnStayClick()
{
    const bool onTop = m_ui.btnStay->isChecked();
    if (onTop == m_window.windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        return;
    const bool wasVisible = m_window.isVisible();
    m_window.setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (wasVisible)
        m_window.show(); // changing the flags hides a window
}

void ShellController::tb1Change()
{
    m_window.setWindowOpacity(m_ui.Setup->tb1->value() / 255.0);
}

void ShellController::btnHelpClick()
{
    m_guideOpener.open(m_help.path());
}

void ShellController::TrayIconClick()
{
    m_ui.tray->showBalloon(QStringLiteral("Flowloom "),
                           totalsBalloonText(m_ui.Statistics->Label39->text(),
                                             m_figures.figure(m_ui.Statistics->Panel29),
                                             m_figures.figure(m_ui.Statistics->Panel31)));
}

void ShellController::mnuRestoreClick()
{
    m_window.showNormal();
    m_window.raise();
    m_window.activateWindow();
    m_ui.tray->hide();
}

void ShellController::CloseEcholoom1Click()
{
    m_window.close();
}

void ShellController::Label49Click()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kProjectPage)));
}

void ShellController::cbAutoStartClick()
{
    QCheckBox& box = *m_ui.Setup->cbAutoStart;
    if (m_files.autostartEntry.empty())
        return;
    const bool on = box.isChecked();
    const AutoStartResult result =
        on ? writeAutoStartEntry(m_files.autostartEntry, m_env.programFile)
           : removeAutoStartEntry(m_files.autostartEntry);
    if (result.ok)
        return;
    {
        const QSignalBlocker blocker(box);
        box.setChecked(!on);
    }
    m_env.showMessage(result.message);
}

void ShellController::TabSheet1Show()
{
    m_window.menuWidget()->setFocus(); // the tool bar
}

void ShellController::TabSheet2Show()
{
    if (m_vars.First)
        m_ui.Setup->PageControl2->setCurrentWidget(m_ui.Setup->GraphAxesPage);
    m_vars.First = false;
}

} // namespace flowloom::app

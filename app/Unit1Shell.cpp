// The main window as a whole: start-up presentation, close request, stay on
// top, transparency, the notification area, help and the link label.
#include "app/SetupPage.h"
#include "app/StatisticsPage.h"
#include "app/ToolIcons.h"
#include "app/Tray.h"
#include "app/Unit1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
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

void TForm1::createShell()
{
    m_tray = new Tray(applicationIcon(), this);
    setWindowIcon(applicationIcon());
    connect(m_tray, &Tray::clicked, this, [this] { TrayIconClick(); });
    connect(m_tray, &Tray::restoreRequested, this, [this] { mnuRestoreClick(); });
    connect(m_tray, &Tray::closeRequested, this, [this] { CloseEcholoom1Click(); });

    connect(btnStay, &QToolButton::clicked, this, [this] { btnStayClick(); });
    connect(btnHelp, &QToolButton::clicked, this, [this] { btnHelpClick(); });
    connect(Setup->tb1, &QSlider::valueChanged, this, [this] { tb1Change(); });
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (PageControl1->currentWidget() == TabSheet1)
            TabSheet1Show();
        else if (PageControl1->currentWidget() == Setup)
            TabSheet2Show();
    });
    Setup->Label49->setCursor(Qt::PointingHandCursor); // the hand while over the link
    Setup->Label49->installEventFilter(this);
}

void TForm1::writeHelpFile()
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

void TForm1::showAtStart()
{
    if (!m_startMinimized) {
        show();
    } else if (Setup->cbMinimize->isChecked() && m_tray->available()) {
        // Straight into the notification area: the window stays unmapped, in
        // its normal state, until "Restore Flowloom" shows it.
        m_tray->show();
    } else {
        // A window manager can iconify only a window it already manages: a
        // request made before the window is mapped is lost on X11. So the
        // window is shown, and minimized once it is on screen.
        show();
        m_minimizeWhenExposed = true;
        windowHandle()->installEventFilter(this);
    }
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // The off-screen layout pass while the window is built is no showing.
    if (testAttribute(Qt::WA_DontShowOnScreen))
        return;
    if (!m_shown) {
        m_shown = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
        PageControl1->setFocus(); // FormShow
    }
    if (!isMinimized())
        m_tray->hide(); // the icon shows only while the window is off screen
    paintOnlyWhenSeen();
}

void TForm1::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    paintOnlyWhenSeen();
}

// While the window is minimised or in the notification area, ticks go on as
// ever (figures, totals, graph data, captures, web view) but nothing is
// repainted: the labels take their texts, and the repaint that re-enabling
// schedules shows the current state at once when the window comes back.
void TForm1::paintOnlyWhenSeen()
{
    if (testAttribute(Qt::WA_DontShowOnScreen))
        return; // the layout pass while the window is built
    const bool seen = isVisible() && !isMinimized();
    if (seen == updatesEnabled())
        return;
    if (seen)
        showKeptFigures();
    setUpdatesEnabled(seen);
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        paintOnlyWhenSeen();
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    if (Setup->cbMinimize->isChecked() && m_tray->available()) {
        // Off the task bar and into the notification area.
        QTimer::singleShot(0, this, [this] { hide(); });
        m_tray->show();
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (m_minimizeWhenExposed && watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        m_minimizeWhenExposed = false;
        QTimer::singleShot(0, this, [this] { showMinimized(); });
    }
    if (watched == Setup->Label49 && event->type() == QEvent::MouseButtonRelease)
        Label49Click();
    if (graphEventFilter(watched, event) || webEventFilter(watched, event) ||
        outputEventFilter(watched, event) || historyEventFilter(watched, event))
        return true;
    return QMainWindow::eventFilter(watched, event);
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
    // 1. The listening address, before anything else changes the window.
    const int serverIpIndex = Setup->cbServerIP->currentIndex();
    // 2. No request is served while the window is captured, saved and torn down.
    stopServer();
    // 3. The page in progress.
    shutdownCapture();
    // 4. Every setting.
    saveSettings(serverIpIndex);
    closeHistory();
    // 5. The user guide goes with the program (an installed guide stays).
    if (m_files.helpFileWritten)
        m_help.remove();
}

void TForm1::btnStayClick()
{
    const bool onTop = btnStay->isChecked();
    if (onTop == windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        return;
    const bool wasVisible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (wasVisible)
        show(); // changing the flags hides a window
}

void TForm1::tb1Change()
{
    setWindowOpacity(Setup->tb1->value() / 255.0);
}

void TForm1::btnHelpClick()
{
    if (m_help.exists())
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QString::fromStdString(m_help.path().string())));
}

void TForm1::TrayIconClick()
{
    m_tray->showBalloon(QStringLiteral("Flowloom "),
                        totalsBalloonText(Statistics->Label39->text(), figure(Statistics->Panel29),
                                          figure(Statistics->Panel31)));
}

void TForm1::mnuRestoreClick()
{
    showNormal();
    raise();
    activateWindow();
    m_tray->hide();
}

void TForm1::CloseEcholoom1Click()
{
    close();
}

void TForm1::Label49Click()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(kProjectPage)));
}

void TForm1::TabSheet1Show()
{
    menuWidget()->setFocus(); // the tool bar
}

void TForm1::TabSheet2Show()
{
    if (m_vars.First)
        Setup->PageControl2->setCurrentWidget(Setup->GraphAxesPage);
    m_vars.First = false;
}

} // namespace flowloom::app

#include "app/shell/Tray.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

namespace flowloom::app {

QString totalsBalloonText(const QString& since, const QString& downloadMB, const QString& uploadMB)
{
    const QChar cr(13);
    QString text = QStringLiteral("Totals since ") + since + cr + cr +
                   QStringLiteral("Download: ") + downloadMB + QStringLiteral(" MB") + cr +
                   QStringLiteral("Upload     : ") + uploadMB + QStringLiteral(" MB");
    return text.left(255);
}

Tray::Tray(const QIcon& icon, QObject* parent) : QObject(parent)
{
    PopupMenu1 = new QMenu;
    PopupMenu1->setObjectName("PopupMenu1");
    mnuRestore = PopupMenu1->addAction(QStringLiteral("Restore Flowloom"));
    mnuRestore->setObjectName("mnuRestore");
    PopupMenu1->addSeparator();
    CloseEcholoom1 = PopupMenu1->addAction(QStringLiteral("Close Flowloom"));
    CloseEcholoom1->setObjectName("CloseEcholoom1");
    connect(mnuRestore, &QAction::triggered, this, &Tray::restoreRequested);
    connect(CloseEcholoom1, &QAction::triggered, this, &Tray::closeRequested);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_icon = new QSystemTrayIcon(icon, this);
        m_icon->setToolTip(m_toolTip.latest());
        m_icon->setContextMenu(PopupMenu1);
        connect(m_icon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    // A double click does nothing; the right button opens the menu.
                    if (reason == QSystemTrayIcon::Trigger)
                        emit clicked();
                });
    }
}

Tray::~Tray()
{
    if (m_icon != nullptr)
        m_icon->hide();
    delete PopupMenu1;
}

bool Tray::available() const
{
    return m_icon != nullptr;
}

void Tray::show()
{
    if (m_icon == nullptr)
        return;
    m_icon->show();
    if (const std::optional<QString> tip = m_toolTip.reveal())
        m_icon->setToolTip(*tip);
}

void Tray::hide()
{
    if (m_icon != nullptr)
        m_icon->hide();
}

bool Tray::isVisible() const
{
    return m_icon != nullptr && m_icon->isVisible();
}

void Tray::setToolTip(const QString& text)
{
    if (m_toolTip.set(text.left(127), isVisible()))
        m_icon->setToolTip(m_toolTip.latest());
}

void Tray::showBalloon(const QString& title, const QString& text)
{
    if (m_icon == nullptr)
        return;
    // Desktop notifications break lines at line feeds, not carriage returns.
    QString shown = text;
    shown.replace(QChar(13), QChar(10));
    m_icon->showMessage(title.left(63), shown, QSystemTrayIcon::Information, 10000);
}

} // namespace flowloom::app

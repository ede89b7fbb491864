#include "app/desktop/DesktopNotices.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLabel>
#include <QTimer>
#include <QVariantMap>

namespace flowloom::app {

namespace {
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
} // namespace

DesktopNotices::DesktopNotices(QLabel& panel, Links links, QObject* parent, int panelMilliseconds)
    : QObject(parent), m_panel(panel), m_links(std::move(links)), m_clear(new QTimer(this))
{
    m_clear->setSingleShot(true);
    m_clear->setInterval(panelMilliseconds);
    connect(m_clear, &QTimer::timeout, this, [this] {
        m_panel.clear();
        m_panel.setToolTip(QString());
    });
}

void DesktopNotices::notify(const Notice& notice, std::function<void()> notShown)
{
    showInPanel(notice.body);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        fallBack(notice, notShown);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath,
                                                       kNotifications, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.example.flowloom"));
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(static_cast<uchar>(notice.urgent ? 2 : 1)));
    call << QStringLiteral("Flowloom") << 0u << QStringLiteral("org.example.flowloom")
         << notice.summary << notice.body << QStringList() << hints << -1;
    auto* watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(call, kServiceTimeoutMilliseconds), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, notice, notShown = std::move(notShown)] {
                watcher->deleteLater();
                if (watcher->isError())
                    fallBack(notice, notShown);
            });
}

void DesktopNotices::showInPanel(const QString& text)
{
    m_panel.setText(text);
    m_panel.setToolTip(text);
    m_clear->start();
    if (m_links.panelShown)
        m_links.panelShown(text);
}

void DesktopNotices::fallBack(const Notice& notice, const std::function<void()>& notShown)
{
    if (m_links.trayShown && m_links.trayShown()) {
        m_links.balloon(QStringLiteral("Flowloom - ") + notice.summary, notice.body);
        return;
    }
    if (notShown)
        notShown();
}

} // namespace flowloom::app

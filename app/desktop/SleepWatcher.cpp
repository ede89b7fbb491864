#include "app/desktop/SleepWatcher.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace flowloom::app {

namespace {
const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
} // namespace

SleepWatcher::SleepWatcher(Links links, QObject* parent)
    : QObject(parent), m_links(std::move(links))
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    // The bus's connect takes the slot's name; it has no form for a function.
    m_watching = bus.connect(kLogind, kLogindPath, kManager, QStringLiteral("PrepareForSleep"),
                             this, SLOT(prepareForSleep(bool)));
    if (m_watching)
        takeInhibitor();
}

void SleepWatcher::prepareForSleep(bool sleeping)
{
    if (sleeping) {
        if (m_links.beforeSleep)
            m_links.beforeSleep();
        // The reading is taken: the machine may sleep now.
        m_inhibitor = QDBusUnixFileDescriptor();
        return;
    }
    if (m_links.afterWake)
        m_links.afterWake();
    takeInhibitor();
}

void SleepWatcher::takeInhibitor()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogind, kLogindPath, kManager, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Flowloom")
         << QStringLiteral("Counting the last bytes before the machine sleeps")
         << QStringLiteral("delay");
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
        if (!reply.isError())
            m_inhibitor = reply.value();
    });
}

} // namespace flowloom::app

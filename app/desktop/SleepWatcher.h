#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <functional>

namespace flowloom::app {

// logind's word that the machine is about to sleep and has woken up
// (org.freedesktop.login1.Manager's PrepareForSleep on the system bus). The
// program holds a "delay" inhibitor so that it may take a last reading
// before the machine sleeps; it lets it go as soon as the reading is taken,
// and takes a new one after waking. Without logind nothing happens here:
// the clocks alone tell a sleep.
class SleepWatcher final : public QObject
{
    Q_OBJECT
public:
    struct Links
    {
        std::function<void()> beforeSleep; // take the last reading now
        std::function<void()> afterWake;
    };

    explicit SleepWatcher(Links links, QObject* parent = nullptr);

    // Whether the signal is subscribed to (a system bus is there).
    bool watching() const { return m_watching; }
    bool holdsInhibitor() const { return m_inhibitor.isValid(); }

private:
    // A slot by name: the bus connects its signals to slots named so.
    Q_SLOT void prepareForSleep(bool sleeping);
    void takeInhibitor();

    Links m_links;
    bool m_watching = false;
    QDBusUnixFileDescriptor m_inhibitor;
};

} // namespace flowloom::app

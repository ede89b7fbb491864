#pragma once

#include <QObject>

class QSocketNotifier;

namespace flowloom::app {

// Turns SIGTERM, SIGINT and SIGHUP into a close request on the UI thread, so
// that a logout or a service stop saves the settings like the close box does.
class CloseSignals final : public QObject
{
    Q_OBJECT
public:
    explicit CloseSignals(QObject* parent = nullptr);
    ~CloseSignals() override;

signals:
    void closeRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace flowloom::app

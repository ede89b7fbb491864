#pragma once

#include <QObject>

class QSocketNotifier;

namespace flowloom::app {

// Closes every open modal box as if its default button were pressed (a
// dialog without one is rejected), innermost first.
void dismissModalBoxes();

// Turns SIGTERM, SIGINT and SIGHUP into a close request on the UI thread, so
// that a logout or a service stop saves the settings like the close box does.
// A box open at that moment is closed first (dismissModalBoxes), so that the
// request is never held by a box nobody answers.
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

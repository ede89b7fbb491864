#pragma once

#include "app/unseen/ShownText.h"

#include <QObject>
#include <QString>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace flowloom::app {

// The totals balloon's text: the download "since" text, then the cumulative
// totals in megabytes as the Statistics page shows them.
QString totalsBalloonText(const QString& since, const QString& downloadMB, const QString& uploadMB);

// The notification-area icon with its menu and balloon. Where the desktop has
// no notification area the icon is never shown and minimizing stays ordinary.
class Tray final : public QObject
{
    Q_OBJECT
public:
    explicit Tray(const QIcon& icon, QObject* parent = nullptr);
    ~Tray() override;

    bool available() const;
    void show();
    void hide();
    bool isVisible() const;
    // At most 127 characters; handed to the icon only while it shows and
    // only when it changed (the panel may redraw the tip on every hand-over).
    void setToolTip(const QString& text);
    void showBalloon(const QString& title, const QString& text);
    QString toolTip() const { return m_toolTip.latest(); }

    QMenu* PopupMenu1;
    QAction* mnuRestore;
    QAction* CloseEcholoom1;

signals:
    void clicked(); // left click: the totals balloon
    void restoreRequested();
    void closeRequested();

private:
    QSystemTrayIcon* m_icon = nullptr;
    ShownText m_toolTip{QStringLiteral("Flowloom")};
};

} // namespace flowloom::app

#pragma once

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
    void setToolTip(const QString& text); // at most 127 characters
    void showBalloon(const QString& title, const QString& text);
    QString toolTip() const { return m_toolTip; }

    QMenu* PopupMenu1;
    QAction* mnuRestore;
    QAction* CloseEcholoom1;

signals:
    void clicked(); // left click: the totals balloon
    void restoreRequested();
    void closeRequested();

private:
    QSystemTrayIcon* m_icon = nullptr;
    QString m_toolTip = QStringLiteral("Flowloom");
};

} // namespace flowloom::app

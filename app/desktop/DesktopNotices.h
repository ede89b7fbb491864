#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLabel;
class QTimer;

namespace flowloom::app {

// Something the user should learn even with the window out of sight.
struct Notice
{
    QString summary; // a few words: "Data cap reached"
    QString body;    // the whole message, which the status bar shows
    bool urgent = false;
};

// Tells the user through the desktop's notification service
// (org.freedesktop.Notifications on the session bus). Where no service
// answers, the tray balloon says it while the tray icon shows, and otherwise
// the caller's own fallback. The status bar's notice panel shows every notice
// for a few seconds in any case: a panel of its own, so that the rates and
// the server's state beside it stay readable.
class DesktopNotices final : public QObject
{
public:
    struct Links
    {
        std::function<bool()> trayShown;
        std::function<void(const QString& title, const QString& text)> balloon;
        // Each text the notice panel shows (a program without a window tells it elsewhere).
        std::function<void(const QString& text)> panelShown = {};
    };
    static constexpr int kPanelMilliseconds = 10'000;
    // How long a silent bus may keep a notice from its fallback.
    static constexpr int kServiceTimeoutMilliseconds = 3'000;

    DesktopNotices(QLabel& panel, Links links, QObject* parent = nullptr,
                   int panelMilliseconds = kPanelMilliseconds);

    // notShown: called when neither the service nor the balloon took it.
    void notify(const Notice& notice, std::function<void()> notShown = {});
    // The status bar's notice panel alone, for its few seconds.
    void showInPanel(const QString& text);

private:
    void fallBack(const Notice& notice, const std::function<void()>& notShown);

    QLabel& m_panel;
    Links m_links;
    QTimer* m_clear;
};

} // namespace flowloom::app

// Where the desktop tier clicks: the real window's controls have no X windows
// of their own, so this builds the same main window (first-run settings, which
// lay out as every case's settings do) on the offscreen platform, lays it out
// at the real window's size and prints each named control's centre in window
// coordinates. It also tells which item of the interface list is loopback.
//
//   desktop_probe loopback
//   desktop_probe <width> <height> <name>...
//   desktop_probe shoot <window id> <file.png>   (the real window, from the X server)
//
// A name is a control's object name (a check box: its box), "Tabs:N" for the N-th tab of the tab
// widget "Tabs" or "Menu/Item" for an item of a popup menu (relative to the
// menu's corner). Pages holding a control are brought to the front first.
#include "app/Unit1.h"
#include "sampling/NetlinkSource.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <string_view>

namespace {

// Brings every tab page between the window and the widget to the front.
void bringToFront(QWidget* widget)
{
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget());
        if (stack != nullptr)
            if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget()))
                tabs->setCurrentWidget(w);
    }
}

QMenu* findMenu(const QString& name)
{
    for (QWidget* widget : QApplication::allWidgets())
        if (auto* menu = qobject_cast<QMenu*>(widget); menu && menu->objectName() == name)
            return menu;
    return nullptr;
}

int printCentre(flowloom::app::TForm1& form, const QString& name)
{
    QRect rect;
    if (const int slash = name.indexOf('/'); slash > 0) {
        // An item of a popup menu, relative to the menu's top-left corner.
        QMenu* menu = findMenu(name.left(slash));
        QAction* action = menu ? menu->findChild<QAction*>(name.mid(slash + 1)) : nullptr;
        if (action == nullptr)
            return 1;
        menu->ensurePolished();
        rect = menu->actionGeometry(action);
    } else if (const int colon = name.indexOf(':'); colon > 0) {
        auto* tabs = form.findChild<QTabWidget*>(name.left(colon));
        if (tabs == nullptr)
            return 1;
        bringToFront(tabs);
        QApplication::processEvents();
        const QRect tab = tabs->tabBar()->tabRect(name.mid(colon + 1).toInt());
        rect = QRect(tabs->tabBar()->mapTo(&form, tab.topLeft()), tab.size());
    } else {
        auto* widget = form.findChild<QWidget*>(name);
        if (widget == nullptr)
            return 1;
        bringToFront(widget);
        QApplication::processEvents();
        rect = QRect(widget->mapTo(&form, QPoint(0, 0)), widget->size());
        // A check box takes a click only on its box and caption, which
        // need not reach the middle of a wide box: its box, then.
        if (auto* check = qobject_cast<QCheckBox*>(widget)) {
            QStyleOptionButton option;
            option.initFrom(check);
            const QRect box =
                check->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, check);
            rect = QRect(check->mapTo(&form, box.topLeft()), box.size());
        }
    }
    std::printf("%s %d %d\n", qPrintable(name), rect.center().x(), rect.center().y());
    return 0;
}

} // namespace

// A picture of a window of the display as the X server holds it.
int shoot(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    bool ok = false;
    const WId window = QString::fromLatin1(argv[2]).toULongLong(&ok, 0);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!ok || screen == nullptr)
        return 1;
    const QPixmap picture = screen->grabWindow(window);
    return !picture.isNull() && picture.save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 4 && std::string_view(argv[1]) == "shoot")
        return shoot(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The stand-in window must not join a test's buses (it would take
    // inhibitors and answer for the real program).
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/flowloom-probe-bus");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/flowloom-probe-bus");
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    const bool loopback = args.size() == 2 && args[1] == QLatin1String("loopback");
    if (!loopback && args.size() < 4) {
        std::fprintf(stderr, "usage: desktop_probe loopback\n"
                             "       desktop_probe <width> <height> <name>...\n");
        return 2;
    }
    QTemporaryDir folder;
    const QString program = folder.path() + QStringLiteral("/flowloom");

    flowloom::sampling::NetlinkSource interfaces;
    flowloom::sampling::SystemWallClock clock;
    flowloom::app::TForm1 form(
        {interfaces, clock, program.toStdString(), [](const std::string&) {}});
    if (loopback) {
        for (int i = 0; i < form.controls().cbURL->count(); ++i)
            if (form.controls().cbURL->itemText(i).remove(' ') == QLatin1String("127.0.0.1")) {
                std::printf("%d\n", i);
                return 0;
            }
        return 1;
    }
    form.show();
    form.resize(args[1].toInt(), args[2].toInt());
    QApplication::processEvents();
    int failures = 0;
    for (int i = 3; i < args.size(); ++i)
        failures += printCentre(form, args[i]);
    return failures == 0 ? 0 : 1;
}

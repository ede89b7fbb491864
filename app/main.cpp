#include "app/CloseSignals.h"
#include "app/Tray.h"
#include "app/Unit1.h"
#include "sampling/NetlinkSource.h"

#include <QApplication>
#include <QSessionManager>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Flowloom"));
    QApplication::setApplicationDisplayName(QStringLiteral("Flowloom"));
    // Closing to the notification area must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // Installed first: a close request that arrives during start-up waits in
    // the signal pipe until the window can take it.
    flowloom::app::CloseSignals closeSignals;

    flowloom::sampling::NetlinkSource interfaces;
    flowloom::sampling::SystemWallClock clock;
    flowloom::app::TForm1 form(
        {interfaces, clock, QApplication::applicationFilePath().toStdString(), {}});

    // A close request from the system or the desktop session runs the same
    // close request as the close box, so the totals are always saved.
    QObject::connect(&closeSignals, &flowloom::app::CloseSignals::closeRequested, &form,
                     [&form] { form.close(); });
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager&) { form.close(); });
    QObject::connect(&form, &flowloom::app::TForm1::closed, &application, &QApplication::quit);

    if (form.startsMinimized()) {
        form.showMinimized();
    } else {
        form.show();
    }
    return QApplication::exec();
}

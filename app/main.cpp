#include "app/CloseSignals.h"
#include "app/Tray.h"
#include "app/Unit1.h"
#include "sampling/NetlinkSource.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>
#include <malloc.h>

int main(int argc, char** argv)
{
    // Every web image request draws into a fresh 1.2 MB image. Keep such blocks
    // in the heap instead of mapping and unmapping them each time (page faults
    // were a fifth of the program's work under image load).
    mallopt(M_MMAP_THRESHOLD, 16 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);

    QApplication application(argc, argv);
    // The main window's caption "Flowloom" is the task-bar text. No display
    // name: Qt would append it to every other window's caption too.
    QApplication::setApplicationName(QStringLiteral("Flowloom"));
    // Closing to the notification area must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // Installed and connected first: a box that start-up opens (a server that
    // cannot start) is closed by a close request too, which then waits until
    // the window is built.
    flowloom::app::CloseSignals closeSignals;
    QPointer<flowloom::app::TForm1> window; // null until built, and again once gone
    bool closePending = false;
    // A close request from the system or the desktop session runs the same
    // close request as the close box, so the totals are always saved. It is
    // queued, so that a box it closed returns to its caller first.
    QObject::connect(&closeSignals, &flowloom::app::CloseSignals::closeRequested, &application,
                     [&window, &closePending] {
                         if (window.isNull())
                             closePending = true;
                         else
                             QMetaObject::invokeMethod(
                                 window, [&window] { window->close(); }, Qt::QueuedConnection);
                     });

    flowloom::sampling::NetlinkSource interfaces;
    flowloom::sampling::SystemWallClock clock;
    flowloom::app::TForm1 form(
        {interfaces, clock, QApplication::applicationFilePath().toStdString(), {}});
    window = &form;
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager&) { form.close(); });
    QObject::connect(&form, &flowloom::app::TForm1::closed, &application, &QApplication::quit);

    if (closePending)
        QMetaObject::invokeMethod(
            &form, [&form] { form.close(); }, Qt::QueuedConnection);
    else
        form.showAtStart();
    return QApplication::exec();
}

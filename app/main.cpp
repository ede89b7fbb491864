#include "app/CloseSignals.h"
#include "app/Tray.h"
#include "app/Unit1.h"
#include "sampling/NetlinkSource.h"

#include <QApplication>
#include <QSessionManager>
#include <malloc.h>

int main(int argc, char** argv)
{
    // A web image request draws into a fresh image, 1.2 MB at the window's
    // size: such blocks stay in the heap instead of being mapped and unmapped
    // each time (page faults were a fifth of the program's work under image
    // load). Larger blocks (a 2000 x 2000 image is 16 MB, its BMP 12 MB) are
    // mapped, so they go back to the system as soon as they are freed, from
    // whichever thread's heap, and the resident size returns to idle after a
    // load of large images. A fixed threshold also stops glibc from raising
    // it to 32 MB by itself once large blocks have been freed.
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);

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

#include "app/Unit1.h"
#include "app/report/UsageReport.h"
#include "app/shell/CloseSignals.h"
#include "app/shell/SingleInstance.h"
#include "app/shell/ToolIcons.h"
#include "app/shell/Tray.h"
#include "app/startup/CommandLine.h"
#include "sampling/NetlinkSource.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSessionManager>
#include <csignal>
#include <cstdio>
#include <malloc.h>

namespace {
// A second program for the same settings file shows the first one's window
// instead and ends; a box only when the first one does not answer. A lock
// file that cannot be used also ends the start: another program may hold the
// settings file although it cannot be told.
std::string secondStartText(bool answered, const std::string& lockProblem,
                            const std::string& settings)
{
    if (answered)
        return "Flowloom is already running with the settings file " + settings +
               "; its window was brought to the front.";
    if (lockProblem.empty())
        return "Flowloom is already running with the settings file " + settings +
               ", but it does not answer.";
    return "Flowloom cannot use the lock file " + lockProblem +
           ": it may already be running with the settings file " + settings + ", but none answers.";
}

int showTheFirstInstance(const flowloom::app::SingleInstance& instance,
                         const std::filesystem::path& settings, bool headless)
{
    const bool answered = instance.askFirstToShow();
    const std::string text = secondStartText(answered, instance.lockProblem(), settings.string());
    std::fprintf(stderr, "%s\n", text.c_str());
    if (!answered && !headless)
        QMessageBox::warning(nullptr, QStringLiteral("Flowloom"), QString::fromStdString(text));
    return 1;
}
// "--report": no display, no window, no lock; the history is only read.
int printReport(const flowloom::app::ReportOptions& options)
{
    std::error_code error;
    const std::filesystem::path programFile =
        std::filesystem::read_symlink("/proc/self/exe", error);
    const flowloom::usage::SystemZone zone;
    flowloom::sampling::SystemWallClock clock;
    const flowloom::app::ReportResult result = flowloom::app::usageReport(
        options, {flowloom::app::systemFileLocations(programFile).settingsFile, clock.now(), zone,
                  [] { return flowloom::sampling::NetlinkSource().interfaceSnapshot(); }});
    std::fputs(result.out.c_str(), stdout);
    std::fputs(result.err.c_str(), stderr);
    return result.status;
}
} // namespace

int main(int argc, char** argv)
{
    // Read before the application object is made: help, the version and a
    // wrong option need no display, and Qt takes its own options out of argv.
    const flowloom::app::CommandLine options = flowloom::app::parseCommandLine(argc, argv);
    switch (options.action) {
    case flowloom::app::CommandLineAction::ShowHelp:
        std::fputs(flowloom::app::helpText().c_str(), stdout);
        return 0;
    case flowloom::app::CommandLineAction::ShowVersion:
        std::printf("%s\n", flowloom::app::versionText().c_str());
        return 0;
    case flowloom::app::CommandLineAction::Wrong:
        std::fprintf(stderr, "%s\n", options.error.c_str());
        return flowloom::app::kWrongUsageStatus;
    case flowloom::app::CommandLineAction::Report:
        return printReport(options.report);
    case flowloom::app::CommandLineAction::Run:
        break;
    }
    // Without a display: the same program on Qt's offscreen platform, whose
    // window is never shown. Graph images are still drawn for the web.
    if (options.headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // A write past a file-size limit is an ordinary write failure, reported
    // like any other, not the end of the program.
    std::signal(SIGXFSZ, SIG_IGN);

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

    // On X11 the window's pixels go to the server through the connection, not
    // through shared memory. A shared buffer may not be painted while the
    // server could still be reading it, so with it every tick's repaint first
    // waits for a round trip to the server, which also wakes a second thread;
    // a tick's few changed pixels cost less to send. The setting is read when
    // the connection is made and is not passed on to programs started from
    // here; a value the user set is kept.
    const bool sharedMemoryChosen = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (!sharedMemoryChosen)
        qputenv("QT_XCB_NO_MITSHM", "1");
    QApplication application(argc, argv);
    if (!sharedMemoryChosen)
        qunsetenv("QT_XCB_NO_MITSHM");
    // The main window's caption "Flowloom" is the task-bar text. No display
    // name: Qt would append it to every other window's caption too.
    QApplication::setApplicationName(QStringLiteral("Flowloom"));
    // Desktops match the window to its launcher and icon by this name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(flowloom::app::kDesktopId));
    QApplication::setWindowIcon(flowloom::app::applicationIcon());
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
                                 window, [&window] { window->closeUnattended(); },
                                 Qt::QueuedConnection);
                     });

    // Beside the program for a portable copy, else in the user's own folders.
    const std::filesystem::path programFile = QApplication::applicationFilePath().toStdString();
    const flowloom::app::FileLocations files = flowloom::app::systemFileLocations(programFile);
    flowloom::app::prepareFolders(files);
    flowloom::app::SingleInstance instance(files.settingsFile);
    if (!instance.isFirst())
        return showTheFirstInstance(instance, files.settingsFile, options.headless);
    if (!instance.listenProblem().empty())
        std::fprintf(stderr,
                     "Flowloom cannot listen on %s: a second start cannot bring its window to "
                     "the front.\n",
                     instance.listenProblem().c_str());

    flowloom::sampling::NetlinkSource interfaces;
    flowloom::sampling::SystemWallClock clock;
    // Each line edit lays its text out once with the application's font
    // before it takes its own. With the window's font as the application's
    // while the window is built, that loads no other face (the desktop's
    // default is some 300 KB of font file and shaping tables that nothing in
    // the window draws with); boxes and menus get the desktop's font back.
    const QFont desktopFont = QApplication::font();
    QApplication::setFont(flowloom::app::TForm1::windowFont());
    flowloom::app::TForm1 form(
        {interfaces, clock, programFile, {}, files, nullptr, options.headless, nullptr, {}, true});
    QApplication::setFont(desktopFont);
    window = &form;
    // Without a display there is no window to bring to the front.
    if (!options.headless)
        QObject::connect(&instance, &flowloom::app::SingleInstance::showRequested, &form,
                         [&form] { form.mnuRestoreClick(); });
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager&) { form.closeUnattended(); });
    QObject::connect(&form, &flowloom::app::TForm1::closed, &application, &QApplication::quit);

    // "--minimized" (the start at login) as "Start minimized" does.
    if (options.minimized)
        form.shell().setStartMinimized(true);
    if (closePending)
        QMetaObject::invokeMethod(
            &form, [&form] { form.closeUnattended(); }, Qt::QueuedConnection);
    else if (!options.headless)
        form.showAtStart();
    return QApplication::exec();
}

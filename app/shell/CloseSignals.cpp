#include "app/shell/CloseSignals.h"

#include "sampling/UniqueFd.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace flowloom::app {

namespace {
// Written by the signal handler, read on the UI thread. Made once and kept for
// the life of the process, so that a handler running on another thread can
// never write into a descriptor closed meanwhile and given to someone else.
sampling::UniqueFd g_pipeRead;
sampling::UniqueFd g_pipeWrite;

extern "C" void onCloseSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe calls here; a full pipe means a request is pending anyway.
    [[maybe_unused]] ssize_t n = ::write(g_pipeWrite.get(), &byte, 1);
}

bool makeSignalPipe()
{
    if (g_pipeRead.valid())
        return true;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return false;
    g_pipeRead.reset(ends[0]);
    g_pipeWrite.reset(ends[1]);
    ::fcntl(g_pipeWrite.get(), F_SETFL, O_NONBLOCK);
    return true;
}
// The button a press of Enter would press: the box's default button, or the
// dialog's default push button.
QAbstractButton* defaultButtonOf(QWidget& box)
{
    if (auto* message = qobject_cast<QMessageBox*>(&box)) {
        if (QAbstractButton* button = message->defaultButton())
            return button;
    }
    for (QPushButton* button : box.findChildren<QPushButton*>())
        if (button->isDefault() && button->isVisible() && button->isEnabled())
            return button;
    if (auto* message = qobject_cast<QMessageBox*>(&box))
        return message->escapeButton();
    return nullptr;
}
} // namespace

void dismissModalBoxes()
{
    // A box that does not close would hold the close; a few rounds suffice
    // for boxes opened over boxes.
    for (int round = 0; round < 16; ++round) {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr)
            return;
        if (QAbstractButton* button = defaultButtonOf(*box))
            button->click();
        if (QApplication::activeModalWidget() != box)
            continue;
        if (auto* dialog = qobject_cast<QDialog*>(box))
            dialog->reject();
        else
            box->close();
    }
}

CloseSignals::CloseSignals(QObject* parent) : QObject(parent)
{
    if (!makeSignalPipe())
        return;
    m_notifier = new QSocketNotifier(g_pipeRead.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        [[maybe_unused]] ssize_t n = ::read(g_pipeRead.get(), buffer, sizeof buffer);
        // An open box would otherwise hold the request until a user answers it.
        dismissModalBoxes();
        emit closeRequested();
    });
    struct sigaction action = {};
    action.sa_handler = onCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

CloseSignals::~CloseSignals()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

} // namespace flowloom::app

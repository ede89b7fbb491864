#include "app/shell/SingleInstance.h"

#include "app/instance/InstanceLock.h"
#include "app/instance/InstanceSocket.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace flowloom::app {

namespace fs = std::filesystem;

namespace {
instance::RuntimeFolder runtimeFolder()
{
    return instance::privateRuntimeFolder(std::getenv("XDG_RUNTIME_DIR"), ::geteuid());
}
} // namespace

SingleInstance::SingleInstance(const fs::path& settingsFile, QObject* parent)
    : QObject(parent), m_settingsFile(settingsFile)
{
    const fs::path lockFile = instance::lockPathFor(settingsFile);
    instance::InstanceLock lock = instance::takeInstanceLock(lockFile);
    switch (lock.outcome) {
    case instance::LockOutcome::Held:
        m_lock = std::move(lock.file);
        listen();
        return;
    case instance::LockOutcome::HeldElsewhere:
        m_first = false;
        return;
    case instance::LockOutcome::Unusable:
        m_first = false;
        m_lockProblem = lockFile.string() + " (" + std::strerror(lock.error) + ")";
        return;
    case instance::LockOutcome::NowhereToKeep:
        return; // nothing can be saved there either
    }
}

SingleInstance::~SingleInstance()
{
    // The notifier goes before the socket it watches; the socket file goes
    // while the lock is still held (the listener and then the lock close
    // after this, members ending in reverse order).
    delete m_notifier;
    if (!m_socketFile.empty())
        ::unlink(m_socketFile.c_str());
}

void SingleInstance::listen()
{
    const instance::RuntimeFolder folder = runtimeFolder();
    if (folder.path.empty()) {
        m_listenProblem = folder.problem;
        return;
    }
    const fs::path socketFile = instance::socketPathFor(m_settingsFile, folder.path);
    instance::Listener listener = instance::listenAt(socketFile);
    if (!listener.socket.valid()) {
        m_listenProblem = socketFile.string() + " (" + listener.problem + ")";
        return;
    }
    m_socketFile = socketFile;
    m_listener = std::move(listener.socket);
    m_notifier = new QSocketNotifier(m_listener.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::answerRequests);
}

void SingleInstance::answerRequests()
{
    // A connection from this user is a request to show the window; the answer
    // tells the second program that it was heard. Another user's connection
    // (root's, say) is closed without any effect.
    for (;;) {
        const sampling::UniqueFd peer(
            ::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!peer.valid()) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            break;
        }
        if (!instance::peerIsThisUser(peer.get()))
            continue;
        [[maybe_unused]] const ssize_t sent =
            ::send(peer.get(), &instance::kShownAnswer, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        emit showRequested();
    }
}

bool SingleInstance::askFirstToShow() const
{
    const instance::RuntimeFolder folder = runtimeFolder();
    return !folder.path.empty() &&
           instance::askToShow(instance::socketPathFor(m_settingsFile, folder.path), kAnswerWithin);
}

} // namespace flowloom::app

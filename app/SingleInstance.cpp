#include "app/SingleInstance.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace flowloom::app {

namespace fs = std::filesystem;

namespace {

// The full path, so that two spellings of one file share one lock and socket.
fs::path fullPath(const fs::path& path)
{
    std::error_code error;
    const fs::path full = fs::weakly_canonical(fs::absolute(path, error), error);
    return error ? path : full;
}

// An abstract socket address (Linux): no file to clean up after a crash.
bool abstractAddress(const std::string& name, sockaddr_un& address, socklen_t& length)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (name.size() + 1 > sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return true;
}

constexpr char kShown = 'S';

} // namespace

fs::path SingleInstance::lockPathFor(const fs::path& settingsFile)
{
    const fs::path full = fullPath(settingsFile);
    return full.parent_path() / ("." + full.filename().string() + ".lock");
}

std::string SingleInstance::socketNameFor(const fs::path& settingsFile)
{
    // FNV-1a of the path: the same name in every build of the program.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : fullPath(settingsFile).string()) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return std::string("flowloom-") + text;
}

SingleInstance::SingleInstance(const fs::path& settingsFile, QObject* parent)
    : QObject(parent), m_socketName(socketNameFor(settingsFile))
{
    m_lock.reset(::open(lockPathFor(settingsFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!m_lock.valid())
        return; // nowhere to keep a lock: nothing can be saved there either
    int locked;
    do {
        locked = ::flock(m_lock.get(), LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        m_first = errno != EWOULDBLOCK;
        return;
    }
    listen();
}

SingleInstance::~SingleInstance()
{
    // The notifier goes before the socket it watches; the listener closes
    // before the lock is released (members end in reverse order).
    delete m_notifier;
}

void SingleInstance::listen()
{
    sockaddr_un address;
    socklen_t length;
    if (!abstractAddress(m_socketName, address, length))
        return;
    sampling::UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener.valid() ||
        ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener.get(), 4) != 0)
        return;
    m_listener = std::move(listener);
    m_notifier = new QSocketNotifier(m_listener.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        // Every connection is a request to show the window; the answer tells
        // the second program that it was heard.
        for (;;) {
            const sampling::UniqueFd peer(
                ::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!peer.valid())
                break;
            [[maybe_unused]] const ssize_t sent = ::send(peer.get(), &kShown, 1, MSG_NOSIGNAL);
            emit showRequested();
        }
    });
}

bool SingleInstance::askFirstToShow() const
{
    sockaddr_un address;
    socklen_t length;
    if (!abstractAddress(m_socketName, address, length))
        return false;
    const sampling::UniqueFd client(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!client.valid())
        return false;
    timeval timeout{3, 0};
    ::setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char answer = 0;
    ssize_t got = -1;
    if (::connect(client.get(), reinterpret_cast<sockaddr*>(&address), length) == 0) {
        do {
            got = ::recv(client.get(), &answer, 1, 0);
        } while (got < 0 && errno == EINTR);
    }
    return got == 1 && answer == kShown;
}

} // namespace flowloom::app

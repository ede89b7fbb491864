#include "app/instance/InstanceSocket.h"

#include "app/instance/InstanceLock.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace flowloom::app::instance {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// "flowloom-" and 16 hexadecimal digits.
constexpr std::size_t kSocketNameLength = 25;

bool fileAddress(const fs::path& socketFile, sockaddr_un& address, socklen_t& length)
{
    const std::string& text = socketFile.native();
    address = {};
    address.sun_family = AF_UNIX;
    if (text.empty() || text.size() + 1 > sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, text.data(), text.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + text.size() + 1);
    return true;
}

bool fitsAnAddress(const fs::path& folder)
{
    return folder.native().size() + 1 + kSocketNameLength + 1 <= sizeof(sockaddr_un::sun_path);
}

std::string errorText(int error)
{
    return std::strerror(error);
}

// Milliseconds left until `deadline`, for poll (0 once it has passed).
int millisecondsLeft(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60 * 1000));
}

// Waits for `events` on `socket` until `deadline`; false on time-out or error.
bool waitFor(int socket, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd entry{socket, events, 0};
        const int ready = ::poll(&entry, 1, millisecondsLeft(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR || Clock::now() >= deadline)
            return false;
    }
}

// Connects before `deadline`. A listener whose queue is full (a stopped
// first program) refuses a non-blocking connect with EAGAIN: try again a
// little later, as long as time is left.
bool connectBefore(int socket, const sockaddr_un& address, socklen_t length,
                   Clock::time_point deadline)
{
    for (;;) {
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), length) == 0)
            return true;
        if (errno == EINPROGRESS) {
            int error = 0;
            socklen_t size = sizeof error;
            return waitFor(socket, POLLOUT, deadline) &&
                   ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
        }
        if (errno != EAGAIN && errno != EINTR)
            return false;
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(std::chrono::milliseconds(50), deadline - Clock::now()));
    }
}

} // namespace

std::string privateFolderProblem(const fs::path& folder, uid_t uid)
{
    struct stat status;
    if (::lstat(folder.c_str(), &status) != 0)
        return errorText(errno);
    if (S_ISLNK(status.st_mode))
        return "a symbolic link";
    if (!S_ISDIR(status.st_mode))
        return "not a folder";
    if (status.st_uid != uid)
        return "owned by another user";
    if ((status.st_mode & 07777) != 0700)
        return "open to other users";
    return {};
}

RuntimeFolder privateRuntimeFolder(const char* xdgRuntimeDir, uid_t uid, const fs::path& sharedTemp)
{
    if (xdgRuntimeDir != nullptr) {
        const fs::path runtime(xdgRuntimeDir);
        if (runtime.is_absolute() && fitsAnAddress(runtime) &&
            privateFolderProblem(runtime, uid).empty())
            return {runtime, {}};
    }
    const fs::path own = sharedTemp / ("flowloom-" + std::to_string(uid));
    if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST)
        return {{}, own.string() + " (" + errorText(errno) + ")"};
    if (std::string problem = privateFolderProblem(own, uid); !problem.empty())
        return {{}, own.string() + " (" + problem + ")"};
    if (!fitsAnAddress(own))
        return {{}, own.string() + " (too long a path for a socket)"};
    return {own, {}};
}

fs::path socketPathFor(const fs::path& settingsFile, const fs::path& folder)
{
    // FNV-1a of the path: the same name in every build of the program.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : settingsFullPath(settingsFile).string()) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return folder / (std::string("flowloom-") + text);
}

Listener listenAt(const fs::path& socketFile)
{
    sockaddr_un address;
    socklen_t length;
    if (!fileAddress(socketFile, address, length))
        return {{}, "too long a path for a socket"};
    // Whatever is there was left by a program that held the lock before us.
    if (::unlink(socketFile.c_str()) != 0 && errno != ENOENT)
        return {{}, errorText(errno)};
    sampling::UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener.valid() ||
        ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener.get(), 8) != 0)
        return {{}, errorText(errno)};
    return {std::move(listener), {}};
}

bool peerIsThisUser(int socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           size == sizeof peer && peer.uid == ::geteuid();
}

bool askToShow(const fs::path& socketFile, std::chrono::milliseconds limit)
{
    const Clock::time_point deadline = Clock::now() + limit;
    sockaddr_un address;
    socklen_t length;
    if (!fileAddress(socketFile, address, length))
        return false;
    const sampling::UniqueFd client(
        ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!client.valid() || !connectBefore(client.get(), address, length, deadline) ||
        !peerIsThisUser(client.get()))
        return false;
    for (;;) {
        if (!waitFor(client.get(), POLLIN, deadline))
            return false;
        char answer = 0;
        const ssize_t got = ::recv(client.get(), &answer, 1, 0);
        if (got == 1)
            return answer == kShownAnswer;
        if (got == 0 || (errno != EAGAIN && errno != EINTR))
            return false;
    }
}

} // namespace flowloom::app::instance

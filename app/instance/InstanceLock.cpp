#include "app/instance/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace flowloom::app::instance {

namespace fs = std::filesystem;

fs::path settingsFullPath(const fs::path& settingsFile)
{
    std::error_code error;
    const fs::path full = fs::weakly_canonical(fs::absolute(settingsFile, error), error);
    return error ? settingsFile : full;
}

fs::path lockPathFor(const fs::path& settingsFile)
{
    const fs::path full = settingsFullPath(settingsFile);
    return full.parent_path() / ("." + full.filename().string() + ".lock");
}

InstanceLock takeInstanceLock(const fs::path& lockFile)
{
    InstanceLock lock;
    lock.file.reset(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
    if (!lock.file.valid()) {
        const int openError = errno;
        // Read-only suffices for flock; O_NONBLOCK keeps a named pipe from
        // holding the start.
        if (openError == EACCES || openError == EPERM || openError == EROFS)
            lock.file.reset(::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (!lock.file.valid()) {
            struct stat status;
            const bool exists = ::lstat(lockFile.c_str(), &status) == 0 || errno != ENOENT;
            lock.outcome = exists ? LockOutcome::Unusable : LockOutcome::NowhereToKeep;
            lock.error = openError;
            return lock;
        }
    }
    int locked;
    do {
        locked = ::flock(lock.file.get(), LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        lock.error = errno;
        lock.outcome = errno == EWOULDBLOCK ? LockOutcome::HeldElsewhere : LockOutcome::Unusable;
        lock.file.reset();
        return lock;
    }
    lock.outcome = LockOutcome::Held;
    return lock;
}

} // namespace flowloom::app::instance

#include "sampling/UniqueFd.h"

#include <cerrno>
#include <unistd.h>

namespace flowloom::sampling {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release() noexcept
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void UniqueFd::reset(int fd) noexcept
{
    if (m_fd >= 0) {
        const int error = errno;
        // Not retried on EINTR: on Linux the descriptor is gone either way, and
        // a retry could close one that another thread has just been given.
        ::close(m_fd);
        errno = error;
    }
    m_fd = fd;
}

bool UniqueFd::close() noexcept
{
    const int fd = release();
    return fd >= 0 && ::close(fd) == 0;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace flowloom::sampling

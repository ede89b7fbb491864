#include "web/server/SocketHandle.h"

#include <unistd.h>

namespace flowloom::web {

SocketHandle& SocketHandle::operator=(SocketHandle&& other) noexcept
{
    if (this != &other) {
        reset(other.release());
    }
    return *this;
}

int SocketHandle::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void SocketHandle::reset(int fd)
{
    if (m_fd >= 0) {
        // Not retried on EINTR: on Linux the descriptor is gone either way, and
        // a retry could close one that another thread has just been given.
        ::close(m_fd);
    }
    m_fd = fd;
}

} // namespace flowloom::web

#pragma once

namespace flowloom::web {

// Owns one descriptor (socket or pipe end) and closes it exactly once.
class SocketHandle
{
public:
    SocketHandle() = default;
    explicit SocketHandle(int fd) : m_fd(fd) {}
    ~SocketHandle() { reset(); }
    SocketHandle(SocketHandle&& other) noexcept : m_fd(other.release()) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept;
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release();
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

} // namespace flowloom::web

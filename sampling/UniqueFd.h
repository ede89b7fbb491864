#pragma once

#include <string_view>

namespace flowloom::sampling {

// Owns one file descriptor (a file, socket, pipe end, epoll set, eventfd or
// timerfd) and closes it exactly once. Every layer that opens descriptors
// holds them in this, so that no path, errors included, leaks one.
class UniqueFd
{
public:
    constexpr UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    // Gives up ownership without closing.
    int release() noexcept;
    // Closes the descriptor held (errno is kept, so the error that made a
    // caller give up can still be reported) and takes `fd`.
    void reset(int fd = -1) noexcept;
    // Closes now and says whether the close succeeded: for a file just
    // written, a failing close is the last chance to hear of a lost write.
    bool close() noexcept;

private:
    int m_fd = -1;
};

// Writes every byte to a descriptor, going on after a short write or an
// interrupted one; false on the first real error (errno tells which).
bool writeAll(int fd, std::string_view bytes);

} // namespace flowloom::sampling

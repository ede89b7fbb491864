#include "web/server/Connection.h"

#include "sampling/UnexpectedException.h"
#include "web/server/BlockingWait.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <optional>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

namespace flowloom::web {

Connection::Connection(int socket, std::string remoteAddress, std::chrono::milliseconds sendTimeout,
                       const std::atomic<bool>& stopping, std::string_view challengeRealm)
    : m_socket(socket), m_remoteAddress(std::move(remoteAddress)), m_sendTimeout(sendTimeout),
      m_stopping(stopping), m_challengeRealm(challengeRealm)
{}

Connection::WaitResult Connection::waitFor(short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return WaitResult::TimedOut;
        }
        pollfd entry{m_socket, events, 0};
        const BlockingWait forTheClient;
        const int ready = ::poll(&entry, 1, static_cast<int>(std::min<long long>(left, 60000)));
        if (ready > 0) {
            // Errors and hang-ups are left to the following recv/send to report.
            return WaitResult::Ready;
        }
        if (ready < 0 && errno != EINTR) {
            return WaitResult::Failed;
        }
    }
}

void Connection::serve(const RequestHandler& handler, Request& request)
{
    if (m_stopping.load(std::memory_order_relaxed)) {
        return;
    }
    request.setRemoteAddress(m_remoteAddress);

    Reply reply(*this, request.method() == "HEAD");
    if (const int status = statusWithoutHandler(request); status != 0) {
        if (status == 401 && !m_challengeRealm.empty()) {
            reply.setRealm(std::string(m_challengeRealm)); // the page follows with the challenge
        } else {
            reply.setStatusPage(status);
        }
    } else {
        try {
            handler(*this, request, reply);
        } catch (const ReplyWriteError&) {
            return;
        } catch (const std::exception& failure) {
            reply.resetForFailure(failure.what());
        } catch (...) {
            sampling::traceUnexpectedException("Connection::serve (handler)");
            reply.resetForFailure(std::string(Reply::statusTextFor(500)));
        }
    }
    try {
        if (!reply.headerWritten() || reply.hasContent()) {
            // The last bytes of the reply: the connection closes right after.
            // They are held back (MSG_MORE) and leave with the end of sending
            // (FIN) in one segment, where they would otherwise be two, each
            // with its own wake-up of the client. The end is sent by
            // shutdown() rather than by the close: a close with unread bytes
            // from the client resets the connection and drops what it holds.
            m_endsReply = true;
            reply.writeContent();
            ::shutdown(m_socket, SHUT_WR);
        }
    } catch (const ReplyWriteError&) {
        // The peer is gone or the reply is unwritable; closing is all that is left.
    } catch (...) {
        sampling::traceUnexpectedException("Connection::serve (reply)");
    }
}

sampling::UniqueFd Connection::duplicateSocket() const
{
    return sampling::UniqueFd(::fcntl(m_socket, F_DUPFD_CLOEXEC, 0));
}

bool Connection::write(const std::uint8_t* data, std::size_t size) noexcept
{
    return sendAll({reinterpret_cast<const char*>(data), size}, {});
}

bool Connection::writeBoth(std::string_view first, std::string_view second) noexcept
{
    return sendAll(first, second);
}

bool Connection::sendAll(std::string_view first, std::string_view second) noexcept
{
    if (m_wroteBefore) {
        // A handler writing in several pieces (header, then an image) must not
        // wait for the peer's delayed acknowledgement of the previous piece.
        const int on = 1;
        ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    m_wroteBefore = true;
    // Read from the clock only once a send has to wait (most replies never
    // do): a wait that follows progress counts from that moment.
    std::optional<Clock::time_point> deadline;
    while (!first.empty() || !second.empty()) {
        if (m_stopping.load(std::memory_order_relaxed)) {
            return false;
        }
        std::array<iovec, 2> pieces{{{const_cast<char*>(first.data()), first.size()},
                                     {const_cast<char*>(second.data()), second.size()}}};
        msghdr message{};
        message.msg_iov = first.empty() ? &pieces[1] : pieces.data();
        message.msg_iovlen = first.empty() ? 1 : 2;
        const ssize_t sent =
            ::sendmsg(m_socket, &message, MSG_NOSIGNAL | (m_endsReply ? MSG_MORE : 0));
        if (sent >= 0) {
            auto count = static_cast<std::size_t>(sent);
            const std::size_t fromFirst = std::min(count, first.size());
            first.remove_prefix(fromFirst);
            second.remove_prefix(count - fromFirst);
            deadline.reset();
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!deadline) {
                deadline = Clock::now() + m_sendTimeout;
            }
            if (waitFor(POLLOUT, *deadline) != WaitResult::Ready) {
                return false;
            }
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

} // namespace flowloom::web

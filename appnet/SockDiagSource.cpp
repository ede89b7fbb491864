#include "appnet/SockDiagSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <poll.h>
#include <sys/socket.h>

namespace flowloom::appnet {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
// Lookups per send: their answers (about 1 KiB each in the receive buffer's
// accounting) must all fit in the lookup socket's buffer at once, which an
// ordinary user can raise only to net.core.rmem_max (208 KiB by default).
constexpr std::size_t kLookupBatch = 64;
// Room for one answer: a socket's message with tcp_info is some 400 bytes.
constexpr std::size_t kAnswerSize = 2048;

sampling::UniqueFd openDiagSocket()
{
    return sampling::UniqueFd(
        ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_SOCK_DIAG));
}

std::string describe(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

SockDiagSource::SockDiagSource()
    : m_buffer(std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize)),
      m_answerSlices(kLookupBatch), m_answerHeaders(kLookupBatch)
{
    m_dump = openDiagSocket();
    if (!m_dump.valid()) {
        m_problem = describe("socket diagnostics");
        return;
    }
    m_closes = openDiagSocket();
    if (!m_closes.valid()) {
        m_problem = describe("socket diagnostics");
        return;
    }
    // Bound, it gets a port id of its own: the kernel delivers a broadcast to
    // no socket whose port id is its own (0), as an unbound socket's is.
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    if (::bind(m_closes.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        m_problem = describe("TCP close notifications");
        return;
    }
    // A larger receive buffer rides out a burst of closing connections.
    const int size = 1024 * 1024;
    (void)::setsockopt(m_closes.get(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    if (!joinCloseGroups(true)) {
        m_problem = describe("TCP close notifications");
        return;
    }
    m_followingCloses = true;
    m_lookups = openDiagSocket();
    m_lookupsOffered = m_lookups.valid();
    const int lookupBuffer = 256 * 1024;
    (void)::setsockopt(m_lookups.get(), SOL_SOCKET, SO_RCVBUF, &lookupBuffer, sizeof lookupBuffer);
    // A first dump tells whether the kernel answers for TCP at all.
    std::vector<TcpSocketReading> probe;
    if (!dumpFamily(AF_INET, probe))
        m_problem = "TCP socket diagnostics are not offered by this kernel";
    // A kernel without IPv6 has no such sockets to ask for.
    m_ipv6 = dumpFamily(AF_INET6, probe);
    // One walk for both families where the kernel answers the older request
    // with both families' sockets (a socket that opened meanwhile aside).
    std::vector<TcpSocketReading> both;
    m_bothAtOnce = m_ipv6 && dumpBoth(both) && both.size() >= probe.size();
}

bool SockDiagSource::joinCloseGroups(bool join)
{
    for (const int group : {SKNLGRP_INET_TCP_DESTROY, SKNLGRP_INET6_TCP_DESTROY}) {
        if (::setsockopt(m_closes.get(), SOL_NETLINK,
                         join ? NETLINK_ADD_MEMBERSHIP : NETLINK_DROP_MEMBERSHIP, &group,
                         sizeof group) != 0)
            return false;
    }
    return true;
}

bool SockDiagSource::followCloses(bool on)
{
    if (!m_closes.valid())
        return !on;
    if (on == m_followingCloses)
        return true;
    if (!joinCloseGroups(on)) {
        if (on) {
            m_problem = describe("TCP close notifications");
            joinCloseGroups(false); // neither group half joined
        }
        return false;
    }
    m_followingCloses = on;
    if (!on) {
        // What was announced before leaving is nobody's now; the queue's
        // memory is given back at once.
        char discard[64];
        while (::recv(m_closes.get(), discard, sizeof discard, MSG_DONTWAIT | MSG_TRUNC) >= 0 ||
               errno == EINTR || errno == ENOBUFS) {
        }
    }
    return true;
}

void SockDiagSource::drainClosed(std::vector<TcpSocketReading>& closed)
{
    if (!m_closes.valid())
        return;
    // Each close comes in a datagram of its own, and a machine that opens
    // and closes many connections announces thousands a second: they are
    // taken a batch per call, not one per call.
    for (;;) {
        const int got = receiveBatch(m_closes.get(), kLookupBatch);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOBUFS) { // the kernel dropped some; keep reading the rest
                ++m_lostCloses;
                continue;
            }
            return; // EAGAIN: all read
        }
        for (int i = 0; i < got; ++i) {
            const mmsghdr& message = m_answerHeaders[static_cast<std::size_t>(i)];
            if ((message.msg_hdr.msg_flags & MSG_TRUNC) != 0) {
                ++m_lostCloses; // larger than any close announcement
                continue;
            }
            parseTcpDestroyed(m_answerBuffers.get() + static_cast<std::size_t>(i) * kAnswerSize,
                              message.msg_len, closed);
        }
        // A batch not filled found the queue empty: the rest waits for the next call.
        if (got < static_cast<int>(kLookupBatch))
            return;
    }
}

int SockDiagSource::receiveBatch(int socket, std::size_t count)
{
    if (!m_answerBuffers)
        m_answerBuffers =
            std::make_unique_for_overwrite<std::uint8_t[]>(kLookupBatch * kAnswerSize);
    for (std::size_t i = 0; i < count; ++i) {
        m_answerSlices[i] = {m_answerBuffers.get() + i * kAnswerSize, kAnswerSize};
        m_answerHeaders[i] = {};
        m_answerHeaders[i].msg_hdr.msg_iov = &m_answerSlices[i];
        m_answerHeaders[i].msg_hdr.msg_iovlen = 1;
    }
    return ::recvmmsg(socket, m_answerHeaders.data(), static_cast<unsigned>(count), MSG_DONTWAIT,
                      nullptr);
}

bool SockDiagSource::poll(std::vector<TcpSocketReading>& live)
{
    if (!m_dump.valid())
        return false;
    if (m_bothAtOnce)
        return dumpBoth(live);
    const bool four = dumpFamily(AF_INET, live);
    const bool six = !m_ipv6 || dumpFamily(AF_INET6, live);
    return four && six;
}

bool SockDiagSource::lookup(const std::vector<TcpSocketReading>& known,
                            std::vector<TcpSocketReading>& found, std::vector<std::uint64_t>& gone)
{
    if (!m_lookupsOffered)
        return false;
    for (std::size_t start = 0; start < known.size(); start += kLookupBatch)
        if (!lookupBatch(known.data() + start, std::min(kLookupBatch, known.size() - start), found,
                         gone))
            return false;
    return true;
}

bool SockDiagSource::lookupBatch(const TcpSocketReading* known, std::size_t count,
                                 std::vector<TcpSocketReading>& found,
                                 std::vector<std::uint64_t>& gone)
{
    const std::uint32_t first = m_sequence + 1;
    m_sequence += static_cast<std::uint32_t>(count);
    m_requests.clear();
    for (std::size_t i = 0; i < count; ++i)
        appendTcpLookupRequest(known[i], first + static_cast<std::uint32_t>(i), m_requests);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = ::sendto(m_lookups.get(), m_requests.data(), m_requests.size(), 0,
                        reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(m_requests.size()))
        return false;
    // The kernel answers every request of the send before the send returns:
    // a missing answer was dropped (a full buffer), not late. One answer per
    // datagram; they are taken a batch at a time.
    m_answers.clear();
    std::size_t answered = 0;
    while (answered < count) {
        const int got = receiveBatch(m_lookups.get(), count - answered);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        for (int i = 0; i < got; ++i) {
            const mmsghdr& message = m_answerHeaders[static_cast<std::size_t>(i)];
            if ((message.msg_hdr.msg_flags & MSG_TRUNC) != 0)
                return false;
            const std::size_t before = m_answers.size();
            if (parseTcpLookupAnswers(m_answerBuffers.get() +
                                          static_cast<std::size_t>(i) * kAnswerSize,
                                      message.msg_len, m_answers) == DiagParse::Bad)
                return false;
            for (std::size_t a = before; a < m_answers.size(); ++a)
                if (m_answers[a].sequence - first < count) // not an earlier batch's leftover
                    ++answered;
        }
    }
    for (const LookupAnswer& answer : m_answers) {
        const std::uint32_t index = answer.sequence - first;
        if (index >= count)
            continue;
        const TcpSocketReading& asked = known[index];
        if (answer.error == 0 && answer.reading.cookie == asked.cookie && answer.reading.hasInfo) {
            found.push_back(answer.reading);
        } else if (answer.error == 0 || answer.error == ENOENT || answer.error == ESTALE) {
            // Closed (a time-wait remnant has no counts), or another socket
            // holds its address now: its final counts come with its close.
            gone.push_back(asked.cookie);
        } else {
            // A kernel that refuses lookups is not asked again: dumps only.
            if (answer.error == EINVAL || answer.error == EOPNOTSUPP || answer.error == EPERM ||
                answer.error == EACCES)
                m_lookupsOffered = false;
            return false;
        }
    }
    return true;
}

bool SockDiagSource::dumpFamily(std::uint8_t family, std::vector<TcpSocketReading>& live)
{
    const std::uint32_t sequence = ++m_sequence;
    return dump(tcpDumpRequest(family, sequence), sequence, live);
}

bool SockDiagSource::dumpBoth(std::vector<TcpSocketReading>& live)
{
    const std::uint32_t sequence = ++m_sequence;
    const std::size_t before = live.size();
    if (dump(tcpDumpRequestBothFamilies(sequence), sequence, live))
        return true;
    live.resize(before); // nothing half read
    return false;
}

bool SockDiagSource::dump(const std::vector<std::uint8_t>& request, std::uint32_t sequence,
                          std::vector<TcpSocketReading>& live)
{
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = ::sendto(m_dump.get(), request.data(), request.size(), 0,
                        reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(request.size()))
        return false;
    // The answer is ready in parts; wait for each (the kernel writes it at once).
    for (int idle = 0; idle < 1000;) {
        const ssize_t got = ::recv(m_dump.get(), m_buffer.get(), kBufferSize, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd wait{m_dump.get(), POLLIN, 0};
                if (::poll(&wait, 1, 1000) <= 0)
                    return false;
                ++idle;
                continue;
            }
            return false;
        }
        switch (parseTcpDump(m_buffer.get(), static_cast<std::size_t>(got), sequence, live)) {
        case DiagParse::Done:
            return true;
        case DiagParse::Bad:
            return false;
        case DiagParse::More:
            break;
        }
    }
    return false;
}

} // namespace flowloom::appnet

#include "appnet/SockDiag.h"

#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace flowloom::appnet {

namespace {

// The TCP states a dump asks for: all but time-wait and new-syn-recv, whose
// mini-sockets carry no counts.
constexpr std::uint32_t kDumpStates =
    0x1FFFu & ~((1u << tcp_state::TimeWait) | (1u << tcp_state::NewSynRecv));

template <typename T> bool readStruct(const std::uint8_t* data, std::size_t size, T& out)
{
    if (size < sizeof(T))
        return false;
    std::memcpy(&out, data, sizeof(T));
    return true;
}

std::uint16_t fromNetworkOrder(std::uint16_t value)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&value);
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::uint16_t toNetworkOrder(std::uint16_t value)
{
    std::uint16_t out;
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value)};
    std::memcpy(&out, bytes, sizeof out);
    return out;
}

// A field of tcp_info, when the kernel's (possibly shorter, older) structure holds it.
template <typename Field>
bool infoField(const std::uint8_t* info, std::size_t size, std::size_t offset, Field& out)
{
    if (offset + sizeof(Field) > size)
        return false;
    std::memcpy(&out, info + offset, sizeof(Field));
    return true;
}

void readTcpInfo(const std::uint8_t* info, std::size_t size, TcpSocketReading& reading)
{
    std::uint64_t acked = 0;
    std::uint64_t received = 0;
    if (!infoField(info, size, offsetof(tcp_info, tcpi_bytes_acked), acked) ||
        !infoField(info, size, offsetof(tcp_info, tcpi_bytes_received), received))
        return; // a kernel before 4.2: no byte counts
    reading.hasInfo = true;
    reading.bytesReceived = received;
    // Bytes sent (4.19+) count what went on the wire, retransmissions
    // included, as the interface counters do; older kernels have only the
    // bytes acknowledged.
    std::uint64_t sent = 0;
    reading.bytesSent =
        infoField(info, size, offsetof(tcp_info, tcpi_bytes_sent), sent) ? sent : acked;
}

bool isLoopbackAddress(std::uint8_t family, const std::array<std::uint8_t, 16>& address)
{
    if (family == AF_INET)
        return address[0] == 127;
    static constexpr std::array<std::uint8_t, 16> loopback6{0, 0, 0, 0, 0, 0, 0, 0,
                                                            0, 0, 0, 0, 0, 0, 0, 1};
    if (address == loopback6)
        return true;
    // ::ffff:127.x.y.z, an IPv4 loopback peer of an IPv6 socket
    static constexpr std::array<std::uint8_t, 12> mapped{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return std::memcmp(address.data(), mapped.data(), mapped.size()) == 0 && address[12] == 127;
}

// Walks the netlink messages of one datagram; f(header, body, bodySize).
template <typename F>
DiagParse forEachMessage(const std::uint8_t* data, std::size_t size, bool anySequence,
                         std::uint32_t sequence, F&& f)
{
    std::size_t offset = 0;
    while (offset + sizeof(nlmsghdr) <= size) {
        nlmsghdr header{};
        std::memcpy(&header, data + offset, sizeof header);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > size - offset)
            return DiagParse::Bad;
        if (anySequence || header.nlmsg_seq == sequence) {
            if (header.nlmsg_type == NLMSG_DONE)
                return DiagParse::Done;
            if (header.nlmsg_type == NLMSG_ERROR)
                return DiagParse::Bad;
            f(header, data + offset + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN);
        }
        offset += NLMSG_ALIGN(header.nlmsg_len);
        if (offset > size)
            break;
    }
    return DiagParse::More;
}

} // namespace

bool isLoopbackSocket(const TcpSocketReading& socket)
{
    if (isLoopbackAddress(socket.family, socket.remoteAddress))
        return true;
    const std::size_t length = socket.family == AF_INET ? 4 : 16;
    return std::memcmp(socket.localAddress.data(), socket.remoteAddress.data(), length) == 0;
}

std::vector<std::uint8_t> tcpDumpRequest(std::uint8_t family, std::uint32_t sequence)
{
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.header.nlmsg_seq = sequence;
    message.request.sdiag_family = family;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_ext = 1u << (INET_DIAG_INFO - 1);
    message.request.idiag_states = kDumpStates;
    std::vector<std::uint8_t> bytes(sizeof message);
    std::memcpy(bytes.data(), &message, sizeof message);
    return bytes;
}

std::vector<std::uint8_t> tcpDumpRequestBothFamilies(std::uint32_t sequence)
{
    struct
    {
        nlmsghdr header;
        inet_diag_req request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = TCPDIAG_GETSOCK;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.header.nlmsg_seq = sequence;
    message.request.idiag_family = AF_INET; // not a filter on this request
    message.request.idiag_ext = 1u << (INET_DIAG_INFO - 1);
    message.request.idiag_states = kDumpStates;
    std::vector<std::uint8_t> bytes(sizeof message);
    std::memcpy(bytes.data(), &message, sizeof message);
    return bytes;
}

void appendTcpLookupRequest(const TcpSocketReading& socket, std::uint32_t sequence,
                            std::vector<std::uint8_t>& out)
{
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST; // no NLM_F_DUMP: one socket, by its key
    message.header.nlmsg_seq = sequence;
    message.request.sdiag_family = socket.family;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_ext = 1u << (INET_DIAG_INFO - 1);
    message.request.idiag_states = kDumpStates;
    message.request.id.idiag_sport = toNetworkOrder(socket.localPort);
    message.request.id.idiag_dport = toNetworkOrder(socket.remotePort);
    std::memcpy(message.request.id.idiag_src, socket.localAddress.data(), 16);
    std::memcpy(message.request.id.idiag_dst, socket.remoteAddress.data(), 16);
    message.request.id.idiag_if = socket.interface;
    message.request.id.idiag_cookie[0] = static_cast<std::uint32_t>(socket.cookie);
    message.request.id.idiag_cookie[1] = static_cast<std::uint32_t>(socket.cookie >> 32);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&message);
    out.insert(out.end(), bytes, bytes + sizeof message);
}

DiagParse parseTcpLookupAnswers(const std::uint8_t* data, std::size_t size,
                                std::vector<LookupAnswer>& answers)
{
    std::size_t offset = 0;
    while (offset + sizeof(nlmsghdr) <= size) {
        nlmsghdr header{};
        std::memcpy(&header, data + offset, sizeof header);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > size - offset)
            return DiagParse::Bad;
        const std::uint8_t* body = data + offset + NLMSG_HDRLEN;
        const std::size_t length = header.nlmsg_len - NLMSG_HDRLEN;
        LookupAnswer answer;
        answer.sequence = header.nlmsg_seq;
        if (header.nlmsg_type == NLMSG_ERROR) {
            nlmsgerr error{};
            if (!readStruct(body, length, error.error))
                return DiagParse::Bad;
            if (error.error != 0) { // 0 would be an acknowledgement, never asked for
                answer.error = -error.error;
                answers.push_back(answer);
            }
        } else if (header.nlmsg_type == SOCK_DIAG_BY_FAMILY) {
            if (!parseDiagMessage(body, length, answer.reading))
                return DiagParse::Bad;
            answers.push_back(answer);
        }
        offset += NLMSG_ALIGN(header.nlmsg_len);
    }
    return offset >= size ? DiagParse::More : DiagParse::Bad;
}

bool parseDiagMessage(const std::uint8_t* body, std::size_t size, TcpSocketReading& reading)
{
    inet_diag_msg message{};
    if (!readStruct(body, size, message))
        return false;
    if (message.idiag_family != AF_INET && message.idiag_family != AF_INET6)
        return false;
    reading = TcpSocketReading{};
    reading.family = message.idiag_family;
    reading.state = message.idiag_state;
    reading.cookie =
        static_cast<std::uint64_t>(message.id.idiag_cookie[1]) << 32 | message.id.idiag_cookie[0];
    reading.localPort = fromNetworkOrder(message.id.idiag_sport);
    reading.remotePort = fromNetworkOrder(message.id.idiag_dport);
    std::memcpy(reading.localAddress.data(), message.id.idiag_src, 16);
    std::memcpy(reading.remoteAddress.data(), message.id.idiag_dst, 16);
    reading.interface = message.id.idiag_if;
    reading.uid = message.idiag_uid;
    reading.inode = message.idiag_inode;

    bool tcp = true;
    std::size_t offset = NLMSG_ALIGN(sizeof(inet_diag_msg));
    while (offset + sizeof(nlattr) <= size) {
        nlattr attr{};
        std::memcpy(&attr, body + offset, sizeof attr);
        if (attr.nla_len < sizeof(nlattr) || attr.nla_len > size - offset)
            break;
        const std::uint8_t* payload = body + offset + NLA_HDRLEN;
        const std::size_t length = attr.nla_len - NLA_HDRLEN;
        switch (attr.nla_type & NLA_TYPE_MASK) {
        case INET_DIAG_INFO:
            readTcpInfo(payload, length, reading);
            break;
        case INET_DIAG_PROTOCOL:
            tcp = length >= 1 && payload[0] == IPPROTO_TCP;
            break;
        case INET_DIAG_CGROUP_ID:
            if (length >= sizeof(std::uint64_t))
                std::memcpy(&reading.cgroupId, payload, sizeof(std::uint64_t));
            break;
        default:
            break;
        }
        offset += NLA_ALIGN(attr.nla_len);
    }
    return tcp;
}

DiagParse parseTcpDump(const std::uint8_t* data, std::size_t size, std::uint32_t sequence,
                       std::vector<TcpSocketReading>& sockets)
{
    return forEachMessage(
        data, size, false, sequence,
        [&](const nlmsghdr& header, const std::uint8_t* body, std::size_t length) {
            TcpSocketReading reading;
            // Answers carry the type of their request.
            if ((header.nlmsg_type == SOCK_DIAG_BY_FAMILY ||
                 header.nlmsg_type == TCPDIAG_GETSOCK) &&
                parseDiagMessage(body, length, reading))
                sockets.push_back(reading);
        });
}

DiagParse parseTcpDestroyed(const std::uint8_t* data, std::size_t size,
                            std::vector<TcpSocketReading>& sockets)
{
    const DiagParse result = forEachMessage(
        data, size, true, 0,
        [&](const nlmsghdr& header, const std::uint8_t* body, std::size_t length) {
            TcpSocketReading reading;
            if (header.nlmsg_type == SOCK_DIAG_BY_FAMILY && parseDiagMessage(body, length, reading))
                sockets.push_back(reading);
        });
    // Broadcasts are single messages, never a dump: there is nothing to finish.
    return result == DiagParse::Bad ? DiagParse::Bad : DiagParse::Done;
}

} // namespace flowloom::appnet

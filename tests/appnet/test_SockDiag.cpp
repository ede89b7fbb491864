#include "appnet/SockDiag.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/tcp.h>
#include <netinet/in.h>

using namespace flowloom::appnet;

namespace {

// Netlink bytes built by hand, as the kernel lays them out.
class Message
{
public:
    explicit Message(std::uint16_t type, std::uint32_t sequence)
    {
        nlmsghdr header{};
        header.nlmsg_type = type;
        header.nlmsg_seq = sequence;
        append(&header, sizeof header);
    }
    void append(const void* data, std::size_t size)
    {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + size);
        m_bytes.resize(NLMSG_ALIGN(m_bytes.size()), 0);
    }
    void attribute(std::uint16_t type, const void* data, std::size_t size)
    {
        nlattr attr{};
        attr.nla_type = type;
        attr.nla_len = static_cast<std::uint16_t>(NLA_HDRLEN + size);
        append(&attr, sizeof attr);
        append(data, size);
    }
    std::vector<std::uint8_t> bytes() const
    {
        std::vector<std::uint8_t> out = m_bytes;
        const auto length = static_cast<std::uint32_t>(out.size());
        std::memcpy(out.data(), &length, sizeof length); // nlmsg_len comes first
        return out;
    }

private:
    std::vector<std::uint8_t> m_bytes;
};

struct SocketFields
{
    std::uint8_t family = AF_INET;
    std::uint16_t localPort = 0;
    std::uint16_t remotePort = 0;
    std::uint32_t cookieLow = 0;
    std::uint32_t cookieHigh = 0;
    std::uint32_t uid = 0;
    std::uint32_t inode = 0;
    std::uint64_t acked = 0;
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
    std::size_t infoLength = sizeof(tcp_info); // an older kernel's is shorter
    std::uint64_t cgroup = 0;                  // 0: no attribute
    std::uint32_t interface = 0;
    int protocol = -1; // -1: no attribute
};

std::vector<std::uint8_t> diagMessage(const SocketFields& fields, std::uint32_t sequence)
{
    Message message(SOCK_DIAG_BY_FAMILY, sequence);
    inet_diag_msg body{};
    body.idiag_family = fields.family;
    body.idiag_state = tcp_state::Established;
    body.id.idiag_sport = htons(fields.localPort);
    body.id.idiag_dport = htons(fields.remotePort);
    body.id.idiag_src[0] = htonl(0x7F000001);
    body.id.idiag_dst[0] = htonl(0x7F000002);
    body.id.idiag_if = fields.interface;
    body.id.idiag_cookie[0] = fields.cookieLow;
    body.id.idiag_cookie[1] = fields.cookieHigh;
    body.idiag_uid = fields.uid;
    body.idiag_inode = fields.inode;
    message.append(&body, sizeof body);
    tcp_info info{};
    info.tcpi_bytes_acked = fields.acked;
    info.tcpi_bytes_received = fields.received;
    info.tcpi_bytes_sent = fields.sent;
    message.attribute(INET_DIAG_INFO, &info, fields.infoLength);
    if (fields.cgroup != 0)
        message.attribute(INET_DIAG_CGROUP_ID, &fields.cgroup, sizeof fields.cgroup);
    if (fields.protocol >= 0) {
        const auto protocol = static_cast<std::uint8_t>(fields.protocol);
        message.attribute(INET_DIAG_PROTOCOL, &protocol, 1);
    }
    return message.bytes();
}

std::vector<std::uint8_t> join(std::initializer_list<std::vector<std::uint8_t>> parts)
{
    std::vector<std::uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<std::uint8_t> done(std::uint32_t sequence)
{
    const std::uint32_t status = 0;
    Message message(NLMSG_DONE, sequence);
    message.append(&status, sizeof status);
    return message.bytes();
}

TEST(SockDiag, DumpReadsEveryFieldOfEverySocketUntilDone)
{
    // Ports 8080 and 50000 (byte order matters); more sent than acknowledged.
    const SocketFields a{.localPort = 0x1F90,
                         .remotePort = 0xC350,
                         .cookieLow = 0x89ABCDEF,
                         .cookieHigh = 0x01234567,
                         .uid = 1000,
                         .inode = 424242,
                         .acked = 5000,
                         .received = 7000,
                         .sent = 5100,
                         .cgroup = 0x1122334455667788ull};
    const SocketFields b{.family = AF_INET6, .received = 1, .sent = 2};
    const auto bytes = join({diagMessage(a, 7), diagMessage(b, 7), done(7)});

    std::vector<TcpSocketReading> sockets;
    ASSERT_EQ(parseTcpDump(bytes.data(), bytes.size(), 7, sockets), DiagParse::Done);
    ASSERT_EQ(sockets.size(), 2u);
    const TcpSocketReading& first = sockets[0];
    EXPECT_EQ(first.family, AF_INET);
    EXPECT_EQ(first.state, tcp_state::Established);
    EXPECT_EQ(first.localPort, 8080);
    EXPECT_EQ(first.remotePort, 50000);
    EXPECT_EQ(first.cookie, 0x0123456789ABCDEFull);
    EXPECT_EQ(first.uid, 1000u);
    EXPECT_EQ(first.inode, 424242u);
    EXPECT_TRUE(first.hasInfo);
    EXPECT_EQ(first.bytesReceived, 7000u);
    EXPECT_EQ(first.bytesSent, 5100u) << "bytes sent, not bytes acknowledged";
    EXPECT_EQ(first.cgroupId, 0x1122334455667788ull);
    EXPECT_EQ((std::array<std::uint8_t, 4>{first.localAddress[0], first.localAddress[1],
                                           first.localAddress[2], first.localAddress[3]}),
              (std::array<std::uint8_t, 4>{127, 0, 0, 1}));
    EXPECT_EQ(first.remoteAddress[3], 2);
    EXPECT_EQ(sockets[1].family, AF_INET6);
    EXPECT_EQ(sockets[1].cgroupId, 0u);
    EXPECT_EQ(sockets[1].bytesSent, 2u);
}

TEST(SockDiag, DumpFramingOtherSequencesErrorsAndTruncation)
{
    const SocketFields fields{.received = 10};
    std::vector<TcpSocketReading> sockets;

    // Another request's messages are skipped, and its DONE ends nothing.
    auto other = join({diagMessage(fields, 3), done(3)});
    EXPECT_EQ(parseTcpDump(other.data(), other.size(), 4, sockets), DiagParse::More);
    EXPECT_TRUE(sockets.empty());

    // A part without DONE: more to come.
    auto part = diagMessage(fields, 4);
    EXPECT_EQ(parseTcpDump(part.data(), part.size(), 4, sockets), DiagParse::More);
    EXPECT_EQ(sockets.size(), 1u);

    Message error(NLMSG_ERROR, 4);
    const nlmsgerr body{-1, {}};
    error.append(&body, sizeof body);
    const auto errorBytes = error.bytes();
    EXPECT_EQ(parseTcpDump(errorBytes.data(), errorBytes.size(), 4, sockets), DiagParse::Bad);

    // A message whose length runs past the datagram.
    auto cut = diagMessage(fields, 4);
    EXPECT_EQ(parseTcpDump(cut.data(), cut.size() - 1, 4, sockets), DiagParse::Bad);
    // A length shorter than a header.
    auto tiny = cut;
    const std::uint32_t three = 3;
    std::memcpy(tiny.data(), &three, sizeof three);
    EXPECT_EQ(parseTcpDump(tiny.data(), tiny.size(), 4, sockets), DiagParse::Bad);
    EXPECT_EQ(sockets.size(), 1u);
}

TEST(SockDiag, OlderKernelsShorterTcpInfo)
{
    struct Case
    {
        std::size_t infoLength;
        bool hasInfo;
        std::uint64_t sent;
    };
    const Case cases[] = {
        {sizeof(tcp_info), true, 300},                    // 4.19+: bytes sent
        {offsetof(tcp_info, tcpi_bytes_sent), true, 250}, // 4.2..4.18: bytes acknowledged
        {offsetof(tcp_info, tcpi_bytes_received) + 8, true, 250},
        {offsetof(tcp_info, tcpi_bytes_received), false, 0}, // before 4.2: no counts
        {offsetof(tcp_info, tcpi_bytes_acked), false, 0},
    };
    for (const Case& c : cases) {
        const SocketFields fields{
            .acked = 250, .received = 400, .sent = 300, .infoLength = c.infoLength};
        const auto bytes = diagMessage(fields, 1);
        TcpSocketReading reading;
        ASSERT_TRUE(
            parseDiagMessage(bytes.data() + NLMSG_HDRLEN, bytes.size() - NLMSG_HDRLEN, reading));
        EXPECT_EQ(reading.hasInfo, c.hasInfo) << c.infoLength;
        EXPECT_EQ(reading.bytesSent, c.sent) << c.infoLength;
        EXPECT_EQ(reading.bytesReceived, c.hasInfo ? 400u : 0u) << c.infoLength;
    }
}

TEST(SockDiag, ClosesKeepTcpOnlyWhateverTheirSequence)
{
    const SocketFields tcp{.received = 9, .protocol = IPPROTO_TCP};
    const SocketFields udp{.protocol = IPPROTO_UDP};
    const SocketFields unknown{.received = 5}; // no protocol attribute: the group says TCP
    const auto bytes = join({diagMessage(tcp, 0), diagMessage(udp, 0), diagMessage(unknown, 99)});
    std::vector<TcpSocketReading> closed;
    EXPECT_EQ(parseTcpDestroyed(bytes.data(), bytes.size(), closed), DiagParse::Done);
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0].bytesReceived, 9u);
    EXPECT_EQ(closed[1].bytesReceived, 5u);

    EXPECT_EQ(parseTcpDestroyed(bytes.data(), bytes.size() - 2, closed), DiagParse::Bad);
}

TEST(SockDiag, DumpRequestAsksForTcpWithInfoInLiveStates)
{
    for (const std::uint8_t family : {std::uint8_t{AF_INET}, std::uint8_t{AF_INET6}}) {
        const std::vector<std::uint8_t> bytes = tcpDumpRequest(family, 77);
        ASSERT_EQ(bytes.size(), sizeof(nlmsghdr) + sizeof(inet_diag_req_v2));
        nlmsghdr header{};
        std::memcpy(&header, bytes.data(), sizeof header);
        EXPECT_EQ(header.nlmsg_len, bytes.size());
        EXPECT_EQ(header.nlmsg_type, SOCK_DIAG_BY_FAMILY);
        EXPECT_EQ(header.nlmsg_flags, NLM_F_REQUEST | NLM_F_DUMP);
        EXPECT_EQ(header.nlmsg_seq, 77u);
        inet_diag_req_v2 request{};
        std::memcpy(&request, bytes.data() + sizeof header, sizeof request);
        EXPECT_EQ(request.sdiag_family, family);
        EXPECT_EQ(request.sdiag_protocol, IPPROTO_TCP);
        EXPECT_EQ(request.idiag_ext, 1u << (INET_DIAG_INFO - 1));
        EXPECT_TRUE(request.idiag_states & (1u << tcp_state::Established));
        EXPECT_TRUE(request.idiag_states & (1u << tcp_state::Listen));
        EXPECT_FALSE(request.idiag_states & (1u << tcp_state::TimeWait));
        EXPECT_FALSE(request.idiag_states & (1u << tcp_state::NewSynRecv));
    }
}

TEST(SockDiag, OneRequestForBothFamiliesAndItsAnswers)
{
    const std::vector<std::uint8_t> bytes = tcpDumpRequestBothFamilies(9);
    ASSERT_EQ(bytes.size(), sizeof(nlmsghdr) + sizeof(inet_diag_req));
    nlmsghdr header{};
    std::memcpy(&header, bytes.data(), sizeof header);
    EXPECT_EQ(header.nlmsg_len, bytes.size());
    EXPECT_EQ(header.nlmsg_type, TCPDIAG_GETSOCK);
    EXPECT_EQ(header.nlmsg_flags, NLM_F_REQUEST | NLM_F_DUMP);
    EXPECT_EQ(header.nlmsg_seq, 9u);
    inet_diag_req request{};
    std::memcpy(&request, bytes.data() + sizeof header, sizeof request);
    EXPECT_EQ(request.idiag_ext, 1u << (INET_DIAG_INFO - 1));
    EXPECT_TRUE(request.idiag_states & (1u << tcp_state::Established));
    EXPECT_FALSE(request.idiag_states & (1u << tcp_state::TimeWait));

    // Its answers carry its type; other types are not sockets.
    const SocketFields four{.received = 4};
    const SocketFields six{.family = AF_INET6, .received = 6};
    auto answer = join({diagMessage(four, 9), diagMessage(six, 9), done(9)});
    auto retype = [&](std::size_t offset, std::uint16_t type) {
        std::memcpy(answer.data() + offset + offsetof(nlmsghdr, nlmsg_type), &type, sizeof type);
    };
    const std::size_t second = diagMessage(four, 9).size();
    retype(0, TCPDIAG_GETSOCK);
    retype(second, TCPDIAG_GETSOCK);
    std::vector<TcpSocketReading> sockets;
    ASSERT_EQ(parseTcpDump(answer.data(), answer.size(), 9, sockets), DiagParse::Done);
    ASSERT_EQ(sockets.size(), 2u);
    EXPECT_EQ(sockets[0].family, AF_INET);
    EXPECT_EQ(sockets[1].family, AF_INET6);
    retype(second, RTM_NEWLINK);
    sockets.clear();
    parseTcpDump(answer.data(), answer.size(), 9, sockets);
    EXPECT_EQ(sockets.size(), 1u);
}

TEST(SockDiag, LoopbackSockets)
{
    struct Case
    {
        std::uint8_t family;
        const char* local;
        const char* remote;
        bool loopback;
    };
    const Case cases[] = {
        {AF_INET, "127.0.0.1", "127.0.0.1", true},
        {AF_INET, "127.0.0.1", "127.1.2.3", true},
        {AF_INET, "192.168.1.5", "192.168.1.5", true}, // to its own address
        {AF_INET, "192.168.1.5", "192.168.1.6", false},
        {AF_INET, "10.0.0.1", "93.184.216.34", false},
        {AF_INET6, "::1", "::1", true},
        {AF_INET6, "::ffff:127.0.0.1", "::ffff:127.0.0.1", true},
        {AF_INET6, "2001:db8::1", "2001:db8::1", true},
        {AF_INET6, "2001:db8::1", "2001:db8::2", false},
        {AF_INET6, "::ffff:10.0.0.1", "::ffff:128.0.0.1", false},
    };
    for (const Case& c : cases) {
        TcpSocketReading socket;
        socket.family = c.family;
        ASSERT_EQ(inet_pton(c.family, c.local, socket.localAddress.data()), 1);
        ASSERT_EQ(inet_pton(c.family, c.remote, socket.remoteAddress.data()), 1);
        EXPECT_EQ(isLoopbackSocket(socket), c.loopback) << c.local << " to " << c.remote;
    }
}

std::vector<std::uint8_t> errorAnswer(int error, std::uint32_t sequence)
{
    Message message(NLMSG_ERROR, sequence);
    nlmsgerr body{};
    body.error = error;
    body.msg.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    body.msg.nlmsg_seq = sequence;
    message.append(&body, sizeof body);
    return message.bytes();
}

TEST(SockDiag, LookupRequestsCarryEachSocketsKeyOneAfterAnother)
{
    TcpSocketReading six;
    six.family = AF_INET6;
    six.localPort = 40001;
    six.remotePort = 443;
    for (std::uint8_t i = 0; i < 16; ++i) {
        six.localAddress[i] = i;
        six.remoteAddress[i] = static_cast<std::uint8_t>(0xF0 + i);
    }
    six.interface = 3;
    six.cookie = 0x1122334455667788;
    TcpSocketReading four;
    four.family = AF_INET;
    four.localPort = 8080;
    four.cookie = 7;

    std::vector<std::uint8_t> bytes;
    appendTcpLookupRequest(six, 41, bytes);
    appendTcpLookupRequest(four, 42, bytes);
    constexpr std::size_t one = sizeof(nlmsghdr) + sizeof(inet_diag_req_v2);
    ASSERT_EQ(bytes.size(), 2 * one) << "one send carries many requests";
    for (std::size_t i = 0; i < 2; ++i) {
        nlmsghdr header{};
        std::memcpy(&header, bytes.data() + i * one, sizeof header);
        EXPECT_EQ(header.nlmsg_len, one);
        EXPECT_EQ(header.nlmsg_type, SOCK_DIAG_BY_FAMILY);
        EXPECT_EQ(header.nlmsg_flags, NLM_F_REQUEST) << "a lookup, not a dump";
        EXPECT_EQ(header.nlmsg_seq, 41u + i);
    }
    inet_diag_req_v2 request{};
    std::memcpy(&request, bytes.data() + sizeof(nlmsghdr), sizeof request);
    EXPECT_EQ(request.sdiag_family, AF_INET6);
    EXPECT_EQ(request.sdiag_protocol, IPPROTO_TCP);
    EXPECT_EQ(request.idiag_ext, 1u << (INET_DIAG_INFO - 1));
    EXPECT_EQ(request.id.idiag_sport, htons(40001));
    EXPECT_EQ(request.id.idiag_dport, htons(443));
    EXPECT_EQ(std::memcmp(request.id.idiag_src, six.localAddress.data(), 16), 0);
    EXPECT_EQ(std::memcmp(request.id.idiag_dst, six.remoteAddress.data(), 16), 0);
    EXPECT_EQ(request.id.idiag_if, 3u);
    EXPECT_EQ(request.id.idiag_cookie[0], 0x55667788u);
    EXPECT_EQ(request.id.idiag_cookie[1], 0x11223344u);
    std::memcpy(&request, bytes.data() + one + sizeof(nlmsghdr), sizeof request);
    EXPECT_EQ(request.sdiag_family, AF_INET);
    EXPECT_EQ(request.id.idiag_sport, htons(8080));
    EXPECT_EQ(request.id.idiag_cookie[0], 7u);
    EXPECT_EQ(request.id.idiag_cookie[1], 0u);
}

TEST(SockDiag, LookupAnswersFoundGoneAndBroken)
{
    const SocketFields found{.localPort = 5000, .cookieLow = 9, .received = 1234, .interface = 2};
    const auto answers = join({diagMessage(found, 5), errorAnswer(-ENOENT, 6), errorAnswer(0, 7),
                               errorAnswer(-ESTALE, 8)});
    std::vector<LookupAnswer> parsed;
    ASSERT_EQ(parseTcpLookupAnswers(answers.data(), answers.size(), parsed), DiagParse::More);
    ASSERT_EQ(parsed.size(), 3u) << "an acknowledgement is no answer";
    EXPECT_EQ(parsed[0].sequence, 5u);
    EXPECT_EQ(parsed[0].error, 0);
    EXPECT_EQ(parsed[0].reading.cookie, 9u);
    EXPECT_EQ(parsed[0].reading.localPort, 5000);
    EXPECT_EQ(parsed[0].reading.interface, 2u) << "a dump's reading keys its later lookups";
    EXPECT_EQ(parsed[0].reading.bytesReceived, 1234u);
    EXPECT_EQ(parsed[1].sequence, 6u);
    EXPECT_EQ(parsed[1].error, ENOENT);
    EXPECT_EQ(parsed[2].sequence, 8u);
    EXPECT_EQ(parsed[2].error, ESTALE);

    // A length past the end, and a message body too short for a socket.
    std::vector<std::uint8_t> cut(answers.begin(), answers.begin() + 40);
    parsed.clear();
    EXPECT_EQ(parseTcpLookupAnswers(cut.data(), cut.size(), parsed), DiagParse::Bad);
    Message shortBody(SOCK_DIAG_BY_FAMILY, 3);
    const std::uint32_t nothing = 0;
    shortBody.append(&nothing, sizeof nothing);
    const auto bytes = shortBody.bytes();
    EXPECT_EQ(parseTcpLookupAnswers(bytes.data(), bytes.size(), parsed), DiagParse::Bad);
}

} // namespace

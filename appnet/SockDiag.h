#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace flowloom::appnet {

// One TCP socket as the kernel's socket diagnostics describe it: from a dump
// (every live socket of the network namespace) or from a destruction message
// (a socket's final counts as it closes; those carry no owner: uid, inode and
// cgroup are zero there).
struct TcpSocketReading
{
    std::uint8_t family = 0;  // AF_INET or AF_INET6
    std::uint8_t state = 0;   // TCP_ESTABLISHED, TCP_LISTEN, ...
    std::uint64_t cookie = 0; // the socket's identity for as long as it lives
    std::uint16_t localPort = 0;
    std::uint16_t remotePort = 0;
    std::array<std::uint8_t, 16> localAddress{}; // IPv4 in the first four bytes
    std::array<std::uint8_t, 16> remoteAddress{};
    std::uint32_t interface = 0; // the interface it is bound to (0: none); part of its lookup key
    std::uint32_t uid = 0;
    std::uint32_t inode = 0;
    std::uint64_t cgroupId = 0; // 0: not reported
    bool hasInfo = false;       // tcp_info with byte counts came with it
    std::uint64_t bytesReceived = 0;
    std::uint64_t bytesSent = 0;

    bool operator==(const TcpSocketReading&) const = default;
};

enum class DiagParse { More, Done, Bad };

// The kernel's TCP states as sock_diag reports them (the kernel's own
// numbering; the user-space headers do not carry all of it).
namespace tcp_state {
constexpr std::uint8_t Established = 1;
constexpr std::uint8_t TimeWait = 6;
constexpr std::uint8_t Listen = 10;
constexpr std::uint8_t NewSynRecv = 12;
} // namespace tcp_state

// Whether a socket talks to this machine itself (its traffic goes over
// loopback): its peer is a loopback address or its own address.
bool isLoopbackSocket(const TcpSocketReading& socket);

// The bytes of one SOCK_DIAG_BY_FAMILY dump request for TCP sockets of one
// family, with tcp_info, in every state but the time-wait and request
// mini-sockets (which have no counts).
std::vector<std::uint8_t> tcpDumpRequest(std::uint8_t family, std::uint32_t sequence);
// The same for both families at once: the older TCPDIAG_GETSOCK request,
// which the kernel answers from one walk of its TCP tables instead of one
// walk per family (the walk is most of a dump's cost on a large machine).
std::vector<std::uint8_t> tcpDumpRequestBothFamilies(std::uint32_t sequence);

// Appends the bytes of one exact lookup of a socket known from a dump: a
// SOCK_DIAG_BY_FAMILY request without NLM_F_DUMP, keyed by the socket's
// family, addresses, ports, interface and cookie, with tcp_info. The kernel
// answers it from one hash lookup instead of a walk of its tables.
void appendTcpLookupRequest(const TcpSocketReading& socket, std::uint32_t sequence,
                            std::vector<std::uint8_t>& out);

// The kernel's answer to one exact lookup: the socket, or the error it
// answered (ENOENT: no such socket any more; ESTALE: its address is another
// socket's now).
struct LookupAnswer
{
    std::uint32_t sequence = 0;
    int error = 0; // 0: found, `reading` holds it; otherwise a positive errno
    TcpSocketReading reading;
};
// Appends every answer in the bytes of one recv(), whatever its sequence;
// Bad on broken framing.
DiagParse parseTcpLookupAnswers(const std::uint8_t* data, std::size_t size,
                                std::vector<LookupAnswer>& answers);

// Pure parsers over the bytes of one recv(); they append what they find.
// A dump's messages with another sequence number are skipped; NLMSG_DONE ends it.
DiagParse parseTcpDump(const std::uint8_t* data, std::size_t size, std::uint32_t sequence,
                       std::vector<TcpSocketReading>& sockets);
// Destruction messages come unasked (sequence 0); every TCP one found is appended.
DiagParse parseTcpDestroyed(const std::uint8_t* data, std::size_t size,
                            std::vector<TcpSocketReading>& sockets);

// One message body (inet_diag_msg and its attributes) to a reading; false
// when it is too short or not TCP.
bool parseDiagMessage(const std::uint8_t* body, std::size_t size, TcpSocketReading& reading);

} // namespace flowloom::appnet

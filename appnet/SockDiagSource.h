#pragma once

#include "appnet/SockDiag.h"
#include "sampling/UniqueFd.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace flowloom::appnet {

// Where the TCP sockets of a tick come from: the kernel, or a script in tests.
class TcpSocketSource
{
public:
    virtual ~TcpSocketSource() = default;
    // Every socket's final reading announced since the previous call.
    virtual void drainClosed(std::vector<TcpSocketReading>& closed) = 0;
    // Whether closes are announced at all (they are from the start). A
    // listener costs every TCP close on the machine a message built for it,
    // so nobody listens while nothing counts. False when that fails.
    virtual bool followCloses(bool /*on*/) { return true; }
    // Every live socket now; false when the dump failed.
    virtual bool poll(std::vector<TcpSocketReading>& live) = 0;
    // The given sockets (known from a dump) read again one by one, without a
    // walk of the kernel's tables: each still alive goes to `found`, the
    // cookie of each gone (closed, or its address now another socket's) to
    // `gone`. False when the lookups failed or are not offered; the caller
    // then dumps.
    virtual bool lookup(const std::vector<TcpSocketReading>& /*known*/,
                        std::vector<TcpSocketReading>& /*found*/,
                        std::vector<std::uint64_t>& /*gone*/)
    {
        return false;
    }
};

// The kernel's socket diagnostics: a dump of the TCP sockets of both
// families, exact lookups of known sockets (batched, many requests per
// send), and the TCP destruction groups for the sockets that close between
// two polls. None needs a privilege.
class SockDiagSource final : public TcpSocketSource
{
public:
    SockDiagSource();
    SockDiagSource(const SockDiagSource&) = delete;
    SockDiagSource& operator=(const SockDiagSource&) = delete;

    // Whether the kernel offers what is needed; when not, why (for the status bar).
    bool available() const { return m_problem.empty(); }
    const std::string& problem() const { return m_problem; }
    // Closing messages the kernel dropped because they came faster than read.
    std::uint64_t lostCloses() const { return m_lostCloses; }

    void drainClosed(std::vector<TcpSocketReading>& closed) override;
    // Off leaves the TCP destruction groups and drops what they announced.
    bool followCloses(bool on) override;
    bool poll(std::vector<TcpSocketReading>& live) override;
    bool lookup(const std::vector<TcpSocketReading>& known, std::vector<TcpSocketReading>& found,
                std::vector<std::uint64_t>& gone) override;

private:
    bool lookupBatch(const TcpSocketReading* known, std::size_t count,
                     std::vector<TcpSocketReading>& found, std::vector<std::uint64_t>& gone);
    // Up to `count` datagrams (at most a lookup batch) into the answer slots;
    // recvmmsg's result.
    int receiveBatch(int socket, std::size_t count);
    bool dump(const std::vector<std::uint8_t>& request, std::uint32_t sequence,
              std::vector<TcpSocketReading>& live);
    bool dumpFamily(std::uint8_t family, std::vector<TcpSocketReading>& live);
    bool dumpBoth(std::vector<TcpSocketReading>& live);
    bool joinCloseGroups(bool join);

    sampling::UniqueFd m_dump;
    sampling::UniqueFd m_closes;
    sampling::UniqueFd m_lookups;
    std::uint32_t m_sequence = 0;
    // Neither buffer is zeroed: a page the kernel never writes into stays
    // out of memory. The answer slots come with the first batch received.
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::string m_problem;
    std::uint64_t m_lostCloses = 0;
    bool m_ipv6 = true;
    bool m_followingCloses = false;
    bool m_bothAtOnce = false;    // the kernel answers the one request for both families
    bool m_lookupsOffered = true; // until the kernel answers a lookup with another error
    std::vector<std::uint8_t> m_requests;
    std::vector<LookupAnswer> m_answers;
    std::unique_ptr<std::uint8_t[]> m_answerBuffers; // one slot per answer of a batch
    std::vector<iovec> m_answerSlices;
    std::vector<mmsghdr> m_answerHeaders;
};

} // namespace flowloom::appnet

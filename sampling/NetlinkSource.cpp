#include "sampling/NetlinkSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>

namespace flowloom::sampling {

namespace {

template <typename T> bool readStruct(const std::uint8_t* data, std::size_t size, T& out)
{
    if (size < sizeof(T))
        return false;
    std::memcpy(&out, data, sizeof(T));
    return true;
}

// Walks the rtattr list of one message body; f(type, payload, length).
template <typename F> void forEachAttribute(const std::uint8_t* data, std::size_t size, F&& f)
{
    std::size_t offset = 0;
    while (offset + sizeof(rtattr) <= size) {
        rtattr attr{};
        std::memcpy(&attr, data + offset, sizeof attr);
        if (attr.rta_len < sizeof(rtattr) || offset + attr.rta_len > size)
            return;
        f(attr.rta_type & NLA_TYPE_MASK, data + offset + RTA_LENGTH(0),
          static_cast<std::size_t>(attr.rta_len) - RTA_LENGTH(0));
        offset += RTA_ALIGN(attr.rta_len);
    }
}

// Walks the netlink messages of one datagram; f(header, body, bodySize) returns
// false to stop. Returns Bad on malformed framing.
template <typename F>
NetlinkParse forEachMessage(const std::uint8_t* data, std::size_t size, std::uint32_t sequence,
                            F&& f)
{
    std::size_t offset = 0;
    while (offset + sizeof(nlmsghdr) <= size) {
        nlmsghdr header{};
        std::memcpy(&header, data + offset, sizeof header);
        if (header.nlmsg_len < sizeof(nlmsghdr) || offset + header.nlmsg_len > size)
            return NetlinkParse::Bad;
        if (header.nlmsg_seq == sequence) {
            if (header.nlmsg_type == NLMSG_DONE)
                return NetlinkParse::Done;
            if (header.nlmsg_type == NLMSG_ERROR)
                return NetlinkParse::Bad;
            f(header, data + offset + NLMSG_HDRLEN, header.nlmsg_len - NLMSG_HDRLEN);
        }
        offset += NLMSG_ALIGN(header.nlmsg_len);
    }
    return NetlinkParse::More;
}

} // namespace

NetlinkParse parseLinkDump(const std::uint8_t* data, std::size_t size, std::uint32_t sequence,
                           std::vector<NetlinkLink>& links)
{
    return forEachMessage(
        data, size, sequence,
        [&](const nlmsghdr& header, const std::uint8_t* body, std::size_t length) {
            if (header.nlmsg_type != RTM_NEWLINK)
                return;
            ifinfomsg info{};
            if (!readStruct(body, length, info))
                return;
            NetlinkLink link;
            link.index = static_cast<std::uint32_t>(info.ifi_index);
            bool haveStats64 = false;
            const std::size_t skip = NLMSG_ALIGN(sizeof(ifinfomsg));
            if (length < skip)
                return;
            forEachAttribute(body + skip, length - skip,
                             [&](unsigned type, const std::uint8_t* payload, std::size_t n) {
                                 switch (type) {
                                 case IFLA_IFNAME:
                                     link.name.assign(
                                         reinterpret_cast<const char*>(payload),
                                         strnlen(reinterpret_cast<const char*>(payload), n));
                                     break;
                                 case IFLA_ADDRESS:
                                     link.address.assign(payload, payload + n);
                                     break;
                                 case IFLA_STATS64: {
                                     rtnl_link_stats64 stats{};
                                     if (readStruct(payload, n, stats)) {
                                         link.rxBytes = stats.rx_bytes;
                                         link.txBytes = stats.tx_bytes;
                                         link.wide = true;
                                         haveStats64 = true;
                                     }
                                     break;
                                 }
                                 case IFLA_STATS: {
                                     rtnl_link_stats stats{};
                                     if (!haveStats64 && readStruct(payload, n, stats)) {
                                         link.rxBytes = stats.rx_bytes;
                                         link.txBytes = stats.tx_bytes;
                                     }
                                     break;
                                 }
                                 default:
                                     break;
                                 }
                             });
            links.push_back(std::move(link));
        });
}

NetlinkParse parseAddressDump(const std::uint8_t* data, std::size_t size, std::uint32_t sequence,
                              TMibIPAddrArray& addresses)
{
    return forEachMessage(
        data, size, sequence,
        [&](const nlmsghdr& header, const std::uint8_t* body, std::size_t length) {
            if (header.nlmsg_type != RTM_NEWADDR)
                return;
            ifaddrmsg info{};
            if (!readStruct(body, length, info) || info.ifa_family != AF_INET)
                return;
            const std::size_t skip = NLMSG_ALIGN(sizeof(ifaddrmsg));
            if (length < skip)
                return;
            bool haveLocal = false;
            TMibIPAddrRow row;
            row.index = info.ifa_index;
            bool found = false;
            forEachAttribute(body + skip, length - skip,
                             [&](unsigned type, const std::uint8_t* payload, std::size_t n) {
                                 // IFA_LOCAL is the interface's own address; IFA_ADDRESS is the
                                 // peer on point-to-point links.
                                 if (n < 4 || (type != IFA_LOCAL && type != IFA_ADDRESS))
                                     return;
                                 if (type == IFA_ADDRESS && haveLocal)
                                     return;
                                 std::memcpy(&row.addr, payload,
                                             4); // network order = first octet lowest
                                 haveLocal = type == IFA_LOCAL;
                                 found = true;
                             });
            if (found)
                addresses.push_back(row);
        });
}

NetlinkParse parseStatsDump(const std::uint8_t* data, std::size_t size, std::uint32_t sequence,
                            std::vector<NetlinkCounters>& counters)
{
    return forEachMessage(
        data, size, sequence,
        [&](const nlmsghdr& header, const std::uint8_t* body, std::size_t length) {
            if (header.nlmsg_type != RTM_NEWSTATS)
                return;
            if_stats_msg info{};
            if (!readStruct(body, length, info))
                return;
            const std::size_t skip = NLMSG_ALIGN(sizeof(if_stats_msg));
            if (length < skip)
                return;
            NetlinkCounters link;
            link.index = static_cast<std::uint32_t>(info.ifindex);
            bool found = false;
            forEachAttribute(body + skip, length - skip,
                             [&](unsigned type, const std::uint8_t* payload, std::size_t n) {
                                 rtnl_link_stats64 stats{};
                                 if (type == IFLA_STATS_LINK_64 && readStruct(payload, n, stats)) {
                                     link.rxBytes = stats.rx_bytes;
                                     link.txBytes = stats.tx_bytes;
                                     found = true;
                                 }
                             });
            // A link without counters makes the list differ: a full dump follows.
            if (found)
                counters.push_back(link);
        });
}

bool takeCounters(std::vector<NetlinkLink>& links, const std::vector<NetlinkCounters>& counters)
{
    if (counters.size() != links.size())
        return false;
    for (std::size_t i = 0; i < links.size(); ++i) {
        // Both dumps walk the links in the same order; any other order is
        // looked up, and a link missing from either list fails.
        const NetlinkCounters* found = counters[i].index == links[i].index ? &counters[i] : nullptr;
        for (std::size_t j = 0; found == nullptr && j < counters.size(); ++j)
            if (counters[j].index == links[i].index)
                found = &counters[j];
        if (found == nullptr || !links[i].wide)
            return false;
        links[i].rxBytes = found->rxBytes;
        links[i].txBytes = found->txBytes;
    }
    return true;
}

TMIBIfArray CounterTracker::toRows(const std::vector<NetlinkLink>& links)
{
    TMIBIfArray rows;
    rows.reserve(links.size());
    for (const NetlinkLink& link : links) {
        TMIBIfRow row;
        row.index = link.index;
        row.name = link.name;
        row.physAddrLen = static_cast<std::uint32_t>(std::min<std::size_t>(link.address.size(), 8));
        std::copy_n(link.address.begin(), row.physAddrLen, row.physAddr.begin());
        row.inOctets = link.rxBytes;
        row.outOctets = link.txBytes;
        row.wideCounters = link.wide;
        // A 32-bit counter that went down has wrapped; only a wide one restarted.
        if (auto it = m_last.find(link.index); link.wide && it != m_last.end()) {
            row.inCounterReset = link.rxBytes < it->second.rx;
            row.outCounterReset = link.txBytes < it->second.tx;
        }
        // Interfaces missing from one snapshot keep their last reading.
        m_last[link.index] = Last{link.rxBytes, link.txBytes};
        rows.push_back(std::move(row));
    }
    return rows;
}

NetlinkSource::NetlinkSource() : m_buffer(32768) {}

NetlinkSource::~NetlinkSource() = default;

bool NetlinkSource::ensureSocket()
{
    if (m_socket.valid())
        return true;
    m_socket.reset(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!m_socket.valid())
        return false;
    timeval timeout{1, 0}; // a kernel that never answers must not hang the tick
    ::setsockopt(m_socket.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    return true;
}

template <typename Parse> bool NetlinkSource::dump(int type, int family, Parse&& parse)
{
    rtgenmsg body{};
    body.rtgen_family = static_cast<unsigned char>(family);
    return request(type, &body, sizeof body, std::forward<Parse>(parse));
}

template <typename Parse>
bool NetlinkSource::request(int type, const void* body, std::size_t bodySize, Parse&& parse)
{
    if (!ensureSocket())
        return false;
    struct
    {
        nlmsghdr header;
        std::uint8_t body[sizeof(if_stats_msg)];
    } request{};
    static_assert(sizeof(if_stats_msg) >= sizeof(rtgenmsg));
    std::memcpy(request.body, body, std::min(bodySize, sizeof request.body));
    request.header.nlmsg_len =
        static_cast<std::uint32_t>(NLMSG_LENGTH(std::min(bodySize, sizeof request.body)));
    request.header.nlmsg_type = static_cast<std::uint16_t>(type);
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = ++m_sequence;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = ::sendto(m_socket.get(), &request, request.header.nlmsg_len, 0,
                        reinterpret_cast<sockaddr*>(&kernel), sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        m_socket.reset();
        return false;
    }
    for (;;) {
        ssize_t got = ::recv(m_socket.get(), m_buffer.data(), m_buffer.size(), 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            // Time-out or error: the socket may hold half a dump; start afresh next time.
            m_socket.reset();
            return false;
        }
        switch (parse(m_buffer.data(), static_cast<std::size_t>(got), m_sequence)) {
        case NetlinkParse::Done:
            return true;
        case NetlinkParse::Bad:
            m_socket.reset();
            return false;
        case NetlinkParse::More:
            break;
        }
    }
}

bool NetlinkSource::linksChanged()
{
    if (!m_linkEvents.valid())
        return true;
    bool changed = false;
    for (;;) {
        const ssize_t got =
            ::recv(m_linkEvents.get(), m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return changed;
        if (got <= 0) { // notifications lost (the queue overflowed): anything may have changed
            if (errno != ENOBUFS)
                m_linkEvents.reset();
            return true;
        }
        changed = true;
    }
}

// The counters alone, for the links of the latest full dump; false when a
// full dump is needed.
bool NetlinkSource::countersOnly()
{
    if (!m_statsDumps || m_links.empty() || linksChanged())
        return false;
    if_stats_msg body{};
    body.family = AF_UNSPEC;
    body.filter_mask = IFLA_STATS_FILTER_BIT(IFLA_STATS_LINK_64);
    m_counterBuffer.clear();
    const bool ok =
        request(RTM_GETSTATS, &body, sizeof body,
                [&](const std::uint8_t* data, std::size_t size, std::uint32_t sequence) {
                    return parseStatsDump(data, size, sequence, m_counterBuffer);
                });
    if (!ok) {
        if (m_counterBuffer.empty())
            m_statsDumps = false; // refused (an old kernel): full dumps from now on
        return false;
    }
    return takeCounters(m_links, m_counterBuffer);
}

TMIBIfArray NetlinkSource::interfaceSnapshot()
{
    if (countersOnly())
        return m_counters.toRows(m_links);
    if (!m_linkEvents.valid() && m_statsDumps) {
        // Listening before the full dump: a change after it is heard.
        m_linkEvents.reset(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
        sockaddr_nl groups{};
        groups.nl_family = AF_NETLINK;
        groups.nl_groups = RTMGRP_LINK;
        if (m_linkEvents.valid() &&
            ::bind(m_linkEvents.get(), reinterpret_cast<sockaddr*>(&groups), sizeof groups) != 0)
            m_linkEvents.reset();
        if (!m_linkEvents.valid())
            m_statsDumps = false; // deaf to link changes: every tick takes the full dump
    }
    std::vector<NetlinkLink> links;
    links.reserve(m_links.size()); // grown once, not doubled over each dump
    const bool ok = dump(RTM_GETLINK, AF_UNSPEC,
                         [&](const std::uint8_t* data, std::size_t size, std::uint32_t sequence) {
                             return parseLinkDump(data, size, sequence, links);
                         });
    if (!ok) {
        m_links.clear();
        return {};
    }
    m_links = std::move(links);
    return m_counters.toRows(m_links);
}

TMibIPAddrArray NetlinkSource::addressSnapshot()
{
    TMibIPAddrArray addresses;
    const bool ok = dump(RTM_GETADDR, AF_INET,
                         [&](const std::uint8_t* data, std::size_t size, std::uint32_t sequence) {
                             return parseAddressDump(data, size, sequence, addresses);
                         });
    if (!ok)
        return {};
    sortAddressTable(addresses);
    return addresses;
}

} // namespace flowloom::sampling

#pragma once

#include "sampling/IPHelper.h"
#include "sampling/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace flowloom::sampling {

// One link as an rtnetlink dump describes it (64-bit kernel counters).
struct NetlinkLink
{
    std::uint32_t index = 0;
    std::string name;
    std::vector<std::uint8_t> address;
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
    bool wide = false; // 64-bit counters; an old kernel's 32-bit ones wrap
};

enum class NetlinkParse { More, Done, Bad };

// Pure parsers over the bytes of one recv(): they append what they find and say
// whether the dump continues. Messages whose sequence number differs are skipped.
NetlinkParse parseLinkDump(const std::uint8_t* data, std::size_t size, std::uint32_t sequence,
                           std::vector<NetlinkLink>& links);
NetlinkParse parseAddressDump(const std::uint8_t* data, std::size_t size, std::uint32_t sequence,
                              TMibIPAddrArray& addresses);

// One link's counters from a statistics dump (RTM_GETSTATS, 64-bit link counters).
struct NetlinkCounters
{
    std::uint32_t index = 0;
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
};
NetlinkParse parseStatsDump(const std::uint8_t* data, std::size_t size, std::uint32_t sequence,
                            std::vector<NetlinkCounters>& counters);
// The links with the counters of a statistics dump; false (links unchanged in
// their counters' meaning) when the dump lists other links than `links`.
bool takeCounters(std::vector<NetlinkLink>& links, const std::vector<NetlinkCounters>& counters);

// Turns links into rows with their 64-bit kernel counters, and marks a counter
// restart (the value went down since the previous snapshot, a driver reload).
class CounterTracker
{
public:
    TMIBIfArray toRows(const std::vector<NetlinkLink>& links);

private:
    struct Last
    {
        std::uint64_t rx;
        std::uint64_t tx;
    };
    std::unordered_map<std::uint32_t, Last> m_last;
};

// The Linux interface table from rtnetlink (one socket, one dump per table).
// Between link notifications a tick asks only for the counters, a dump a
// fraction of the size of the full link dump; names and addresses come from
// the latest full one.
class NetlinkSource final : public InterfaceSource
{
public:
    NetlinkSource();
    ~NetlinkSource() override;
    NetlinkSource(const NetlinkSource&) = delete;
    NetlinkSource& operator=(const NetlinkSource&) = delete;

    TMIBIfArray interfaceSnapshot() override;
    TMibIPAddrArray addressSnapshot() override;

private:
    template <typename Parse> bool dump(int type, int family, Parse&& parse);
    template <typename Parse>
    bool request(int type, const void* body, std::size_t bodySize, Parse&& parse);
    bool ensureSocket();
    // Whether a link came, went or changed since the last look (always, when
    // the kernel's link notifications cannot be listened to).
    bool linksChanged();
    bool countersOnly();

    UniqueFd m_socket;
    // The kernel's link notifications: names and addresses change only then.
    UniqueFd m_linkEvents;
    bool m_statsDumps = true; // the kernel answers statistics dumps
    std::uint32_t m_sequence = 0;
    std::vector<NetlinkLink> m_links; // the latest full link dump, counters updated since
    std::vector<NetlinkCounters> m_counterBuffer;
    std::vector<std::uint8_t> m_buffer;
    CounterTracker m_counters;
};

} // namespace flowloom::sampling

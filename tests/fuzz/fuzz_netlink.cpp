// A netlink dump is outside input: any bytes must parse without reading past
// the buffer, and what is found must fit in the bytes it came from.
#include "sampling/IPHelper.h"
#include "sampling/NetlinkSource.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <set>
#include <vector>

using namespace flowloom::sampling;

namespace {

constexpr std::uint32_t kSequence = 1; // the seeds' requests carry it

void require(bool condition)
{
    if (!condition)
        std::abort();
}

void checkLinks(const std::uint8_t* data, std::size_t size)
{
    std::vector<NetlinkLink> links;
    parseLinkDump(data, size, kSequence, links);
    // Each link is one message at least a header and an ifinfomsg long.
    require(links.size() * (NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ifinfomsg))) <= size);
    std::set<std::uint32_t> indexes;
    for (const NetlinkLink& link : links) {
        require(link.name.size() < size && link.address.size() < size);
        require(link.name.find('\0') == std::string::npos);
        indexes.insert(link.index);
    }

    CounterTracker tracker;
    const TMIBIfArray first = tracker.toRows(links);
    const TMIBIfArray again = tracker.toRows(links);
    require(first.size() == links.size() && again.size() == links.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
        require(first[i].physAddrLen == std::min<std::size_t>(links[i].address.size(), 8));
        // A restart is a counter below the previous reading of its index: none
        // in a first snapshot, none in the same readings again, unless the
        // dump named one index twice.
        if (indexes.size() == links.size()) {
            require(!first[i].inCounterReset && !first[i].outCounterReset);
            require(!again[i].inCounterReset && !again[i].outCounterReset);
        }
        physicalAddressText(first[i].physAddr, first[i].physAddrLen);
    }
}

void checkAddresses(const std::uint8_t* data, std::size_t size)
{
    TMibIPAddrArray addresses;
    parseAddressDump(data, size, kSequence, addresses);
    // Each address is one message with an ifaddrmsg and a four-byte attribute.
    require(addresses.size() * (NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(ifaddrmsg)) + RTA_LENGTH(4)) <=
            size);
    sortAddressTable(addresses);
    for (const TMibIPAddrRow& row : addresses) {
        const std::string text = ipv4AddressText(row.addr);
        require(std::count(text.begin(), text.end(), '.') == 3 && text.size() <= 15);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    checkLinks(data, size);
    checkAddresses(data, size);
    return 0;
}

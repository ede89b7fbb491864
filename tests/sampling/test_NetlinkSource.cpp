#include "sampling/InterfaceTracker.h"
#include "sampling/NetlinkSource.h"
#include "sampling/Statistics.h"
#include "support/LoopbackTraffic.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace flowloom::sampling;

namespace {
int loopbackPosition(const TMIBIfArray& rows)
{
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == "lo")
            return static_cast<int>(i);
    return -1;
}

} // namespace

TEST(NetlinkSource, ListsLoopbackWithItsAddressTexts)
{
    NetlinkSource source;
    const TMIBIfArray rows = source.interfaceSnapshot();
    const int lo = loopbackPosition(rows);
    ASSERT_GE(lo, 0) << "every Linux machine has a loopback interface";
    EXPECT_EQ(physicalAddressText(rows[lo].physAddr, rows[lo].physAddrLen), "00-00-00-00-00-00");
    EXPECT_EQ(GetIPFromIFIndex(source, rows[lo].index), "127.  0.  0.  1");
    const TMibIPAddrArray addresses = source.addressSnapshot();
    for (std::size_t i = 1; i < addresses.size(); ++i)
        EXPECT_LE(ntohl(addresses[i - 1].addr), ntohl(addresses[i].addr)) << "sorted ascending";
}

TEST(NetlinkSource, LoopbackTrafficReachesTheSessionTotal)
{
    NetlinkSource source;
    const TMIBIfArray startup = source.interfaceSnapshot();
    const int lo = loopbackPosition(startup);
    ASSERT_GE(lo, 0);
    InterfaceTracker tracker;
    tracker.reset(startup);
    StatisticsEngine engine;
    engine.InitGrid(startup);
    RunCounters counters;
    counters.WarmUpCount = 2;

    constexpr std::size_t kBytes = 3 * 1024 * 1024;
    ASSERT_EQ(flowloom::testsupport::pushThroughLoopback(kBytes), kBytes);
    const TMIBIfArray tick = source.interfaceSnapshot();
    engine.Data2Grid(tracker.match(tick), lo, counters, kTickIntervalMs);
    EXPECT_GE(engine.record(static_cast<std::size_t>(lo)).SumIn, kBytes);
    EXPECT_GE(engine.record(static_cast<std::size_t>(lo)).SumOut, kBytes);
}

TEST(NetlinkParse, MalformedDumpsAreRejectedWithoutReadingPastTheBuffer)
{
    std::vector<NetlinkLink> links;
    // A header claiming more bytes than the datagram holds.
    std::uint8_t truncated[sizeof(nlmsghdr)]{};
    nlmsghdr h{};
    h.nlmsg_len = 4096;
    h.nlmsg_type = RTM_NEWLINK;
    std::memcpy(truncated, &h, sizeof h);
    EXPECT_EQ(parseLinkDump(truncated, sizeof truncated, 0, links), NetlinkParse::Bad);

    // A link message with an attribute running past its message.
    struct
    {
        nlmsghdr header;
        ifinfomsg info;
        rtattr attr;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = RTM_NEWLINK;
    message.header.nlmsg_seq = 7;
    message.info.ifi_index = 3;
    message.attr.rta_len = 200;
    message.attr.rta_type = IFLA_IFNAME;
    EXPECT_EQ(parseLinkDump(reinterpret_cast<std::uint8_t*>(&message), sizeof message, 7, links),
              NetlinkParse::More);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].index, 3u);
    EXPECT_TRUE(links[0].name.empty());

    // Messages of another request are skipped; DONE of ours ends the dump.
    nlmsghdr done{};
    done.nlmsg_len = sizeof done;
    done.nlmsg_type = NLMSG_DONE;
    done.nlmsg_seq = 8;
    EXPECT_EQ(parseLinkDump(reinterpret_cast<std::uint8_t*>(&done), sizeof done, 7, links),
              NetlinkParse::More);
    EXPECT_EQ(parseLinkDump(reinterpret_cast<std::uint8_t*>(&done), sizeof done, 8, links),
              NetlinkParse::Done);
}

TEST(CounterTracker, TellsARestartFromAWrap)
{
    CounterTracker tracker;
    NetlinkLink link{4, "eth0", {}, 4294967000ull, 10, /*wide=*/true};
    tracker.toRows({link});
    link.rxBytes = 4294967296ull + 200; // past 32 bits, kernel counter still rising
    link.txBytes = 5;                   // kernel counter went down: restart
    TMIBIfArray rows = tracker.toRows({link});
    EXPECT_TRUE(rows[0].wideCounters);
    EXPECT_EQ(rows[0].inOctets, 4294967296ull + 200) << "the full 64-bit reading";
    EXPECT_FALSE(rows[0].inCounterReset);
    EXPECT_TRUE(rows[0].outCounterReset);

    // An old kernel's 32-bit counters wrap: going down is no restart.
    NetlinkLink narrow{5, "eth1", {}, 4294967000ull, 0};
    tracker.toRows({narrow});
    narrow.rxBytes = 200;
    rows = tracker.toRows({narrow});
    EXPECT_FALSE(rows[0].wideCounters);
    EXPECT_FALSE(rows[0].inCounterReset);
}

#include "sampling/InterfaceTracker.h"
#include "sampling/NetlinkSource.h"
#include "sampling/Statistics.h"
#include "support/LoopbackTraffic.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
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

TEST(NetlinkParse, AStatisticsDumpGivesEachLinksCounters)
{
    struct
    {
        nlmsghdr header;
        if_stats_msg info;
        rtattr attr;
        rtnl_link_stats64 stats;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = RTM_NEWSTATS;
    message.header.nlmsg_seq = 5;
    message.info.ifindex = 9;
    message.attr.rta_len = RTA_LENGTH(sizeof message.stats);
    message.attr.rta_type = IFLA_STATS_LINK_64;
    message.stats.rx_bytes = 5'000'000'000ull;
    message.stats.tx_bytes = 77;
    std::vector<NetlinkCounters> counters;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&message);
    EXPECT_EQ(parseStatsDump(bytes, sizeof message, 4, counters), NetlinkParse::More);
    EXPECT_TRUE(counters.empty()) << "another request's message";
    EXPECT_EQ(parseStatsDump(bytes, sizeof message, 5, counters), NetlinkParse::More);
    ASSERT_EQ(counters.size(), 1u);
    EXPECT_EQ(counters[0].index, 9u);
    EXPECT_EQ(counters[0].rxBytes, 5'000'000'000ull);
    EXPECT_EQ(counters[0].txBytes, 77u);
    message.attr.rta_type = IFLA_STATS_LINK_XSTATS; // no link counters in it
    EXPECT_EQ(parseStatsDump(bytes, sizeof message, 5, counters), NetlinkParse::More);
    EXPECT_EQ(counters.size(), 1u);
}

TEST(NetlinkParse, CountersAreTakenOnlyForExactlyTheLinksOfTheFullDump)
{
    const std::vector<NetlinkLink> links{{1, "lo", {}, 10, 20, true},
                                         {2, "eth0", {}, 30, 40, true}};
    const struct
    {
        const char* what;
        std::vector<NetlinkCounters> counters;
        bool taken;
    } cases[] = {
        {"same order", {{1, 11, 21}, {2, 31, 41}}, true},
        {"other order", {{2, 31, 41}, {1, 11, 21}}, true},
        {"one gone", {{1, 11, 21}}, false},
        {"one new", {{1, 11, 21}, {2, 31, 41}, {3, 0, 0}}, false},
        {"one replaced", {{1, 11, 21}, {3, 31, 41}}, false},
    };
    for (const auto& c : cases) {
        std::vector<NetlinkLink> updated = links;
        EXPECT_EQ(takeCounters(updated, c.counters), c.taken) << c.what;
        if (c.taken) {
            EXPECT_EQ(updated[0].rxBytes, 11u) << c.what;
            EXPECT_EQ(updated[1].txBytes, 41u) << c.what;
            EXPECT_EQ(updated[1].name, "eth0") << c.what;
        }
    }
    std::vector<NetlinkLink> narrow = links;
    narrow[1].wide = false; // 32-bit counters: the full dump tells them as they are
    EXPECT_FALSE(takeCounters(narrow, {{1, 11, 21}, {2, 31, 41}}));
}

// Between full dumps only the counters are asked for; a link renamed in
// between is heard of and shows with its new name at the next snapshot.
TEST(NetlinkSource, ARenamedLinkShowsItsNewNameAtTheNextSnapshot)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNET) != 0)
            _exit(77); // not allowed here
        NetlinkSource source;
        const TMIBIfArray first = source.interfaceSnapshot();
        const TMIBIfArray second = source.interfaceSnapshot(); // the counters only
        if (first.size() != 1 || second.size() != 1 || second[0].name != "lo")
            _exit(1);
        if (std::system("ip link set lo name loop0") != 0)
            _exit(2);
        const TMIBIfArray renamed = source.interfaceSnapshot();
        _exit(renamed.size() == 1 && renamed[0].name == "loop0" ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no private network namespace";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not listed, 2: rename failed, 3: old name";
}

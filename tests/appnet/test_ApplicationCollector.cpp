#include "FakeSockets.h"
#include "appnet/ApplicationCollector.h"

#include <gtest/gtest.h>

using namespace flowloom::appnet;

namespace {

const Application kBrowser{IdentifiedBy::Process, "browser"};
const Application kServer{IdentifiedBy::Cgroup, "server"};

ByteCount bytesOf(const std::vector<ApplicationBytes>& list, const Application& application)
{
    for (const ApplicationBytes& a : list)
        if (a.application == application)
            return a.bytes;
    return {};
}

class Collector : public ::testing::Test
{
protected:
    Collector() { owners.byUid = {{1000, kBrowser}, {33, kServer}}; }
    ApplicationTick tick(ByteCount internet = {}, ByteCount loopback = {})
    {
        return collector.tick(InterfaceTraffic{internet, loopback});
    }

    ScriptedSockets source;
    FakeOwners owners;
    ApplicationCollector collector{source, owners};
};

TEST_F(Collector, FirstLookIsTheBaseThenEachTickCountsTheGrowth)
{
    source.steps = {
        {{}, {internetSocket(1, 1000, 5000, 700)}},
        {{}, {internetSocket(1, 1000, 8000, 900)}},
        {{}, {internetSocket(1, 1000, 8000, 900)}},
    };
    const ApplicationTick base = tick({6000, 800});
    EXPECT_FALSE(base.counted);
    EXPECT_TRUE(base.internet.empty()) << "bytes before the first look are not this run's";
    EXPECT_EQ(base.internetOther.in, 6000u);

    const ApplicationTick second = tick({3200, 260});
    EXPECT_TRUE(second.counted);
    ASSERT_EQ(second.internet.size(), 1u);
    EXPECT_EQ(bytesOf(second.internet, kBrowser).in, 3000u);
    EXPECT_EQ(bytesOf(second.internet, kBrowser).out, 200u);
    EXPECT_EQ(second.internetOther.in, 200u);
    EXPECT_EQ(second.internetOther.out, 60u);

    const ApplicationTick third = tick();
    EXPECT_TRUE(third.internet.empty()) << "no growth, nothing counted again";
    EXPECT_EQ(owners.lookups, 1u) << "a socket's owner is found once";
    EXPECT_EQ(owners.ticks, 3u);
}

TEST_F(Collector, NewSocketsCountInFullAndApplicationsAddUp)
{
    source.steps = {
        {{}, {}},
        {{},
         {internetSocket(1, 1000, 100, 10), internetSocket(2, 1000, 50, 5),
          internetSocket(3, 33, 7, 70)}},
    };
    tick();
    const ApplicationTick t = tick({100, 100});
    ASSERT_EQ(t.internet.size(), 2u);
    EXPECT_EQ(bytesOf(t.internet, kBrowser).in, 150u);
    EXPECT_EQ(bytesOf(t.internet, kBrowser).out, 15u);
    EXPECT_EQ(bytesOf(t.internet, kServer).in, 7u);
    EXPECT_EQ(t.attributedInternet().in, 157u);
    // Other never goes below zero when TCP counted more than the interfaces
    // (the interfaces' tick and the sockets' are read moments apart).
    EXPECT_EQ(t.internetOther.in, 0u);
    EXPECT_EQ(t.internetOther.out, 15u);
}

TEST_F(Collector, LoopbackIsKeptApart)
{
    source.steps = {
        {{}, {}},
        {{}, {loopbackSocket(1, 33, 400, 400), internetSocket(2, 33, 10, 20)}},
    };
    tick();
    const ApplicationTick t = tick({30, 30}, {1000, 1000});
    EXPECT_EQ(bytesOf(t.loopback, kServer).in, 400u);
    EXPECT_EQ(bytesOf(t.internet, kServer).in, 10u);
    EXPECT_EQ(t.loopbackOther.in, 600u);
    EXPECT_EQ(t.internetOther.in, 20u);
    EXPECT_EQ(t.internetOther.out, 10u);
}

TEST_F(Collector, ClosedSocketsCountTheirLastGrowthOnce)
{
    source.steps = {
        {{}, {internetSocket(1, 1000, 100, 100)}},
        {{}, {internetSocket(1, 1000, 300, 150)}},
        // Closed: its final counts; the dump of the same moment still lists
        // it (a close announced while the dump ran) and must not add again.
        {{internetSocket(1, 1000, 1000, 160)}, {internetSocket(1, 1000, 1000, 160)}},
        {{}, {internetSocket(1, 1000, 1000, 160)}},
        {{}, {}},
    };
    tick();
    EXPECT_EQ(bytesOf(tick().internet, kBrowser).in, 200u);
    const ApplicationTick closing = tick();
    EXPECT_EQ(closing.socketsClosed, 1u);
    EXPECT_EQ(bytesOf(closing.internet, kBrowser).in, 700u);
    EXPECT_EQ(bytesOf(closing.internet, kBrowser).out, 10u);
    EXPECT_TRUE(tick().internet.empty()) << "a late listing of a closed socket adds nothing";
    EXPECT_TRUE(tick().internet.empty());
    EXPECT_EQ(collector.trackedSockets(), 0u);
}

TEST_F(Collector, SocketClosedBetweenReadingTheClosesAndTheDump)
{
    source.steps = {
        {{}, {internetSocket(1, 1000, 100, 100)}},
        {{}, {}}, // gone from the dump; its close comes with the next tick
        {{internetSocket(1, 1000, 900, 100)}, {}},
    };
    tick();
    EXPECT_TRUE(tick().internet.empty());
    EXPECT_EQ(collector.trackedSockets(), 1u) << "kept a tick for its close";
    const ApplicationTick t = tick();
    EXPECT_EQ(bytesOf(t.internet, kBrowser).in, 800u);
    EXPECT_EQ(t.socketsClosed, 1u);
}

TEST_F(Collector, SocketsGoneWithoutACloseAreForgotten)
{
    source.steps = {
        {{}, {internetSocket(1, 1000, 100, 100)}},
        {{}, {}},
        {{}, {}},
    };
    tick();
    tick();
    tick();
    EXPECT_EQ(collector.trackedSockets(), 0u);
}

TEST_F(Collector, ShortConnectionsGoToTheListenerOfTheirPortOrStayUnattributed)
{
    TcpSocketReading served = loopbackSocket(9, 0, 5000, 0);
    served.localPort = 8080;
    TcpSocketReading client = loopbackSocket(10, 0, 0, 5000);
    client.localPort = 51000;
    client.remotePort = 8080;
    TcpSocketReading empty = internetSocket(11, 0, 0, 0); // a refused connection
    source.steps = {
        {{}, {listener(5, 33, 8080)}},
        {{served, client, empty}, {listener(5, 33, 8080)}},
    };
    tick();
    const ApplicationTick t = tick({}, {5200, 5200});
    EXPECT_EQ(t.socketsClosed, 2u);
    EXPECT_EQ(bytesOf(t.loopback, kServer).in, 5000u);
    EXPECT_EQ(t.loopback.size(), 1u) << "the connecting end's program is unknown";
    EXPECT_EQ(t.loopbackOther.out, 5200u);
    EXPECT_EQ(t.loopbackOther.in, 200u);
    EXPECT_EQ(owners.lookups, 1u) << "closed sockets are never looked up";
}

TEST_F(Collector, AListenerClosingInTheSameTickStillNamesItsLastConnection)
{
    TcpSocketReading served = loopbackSocket(9, 0, 700, 70);
    served.localPort = 8080;
    source.steps = {
        {{}, {listener(5, 33, 8080)}},
        {{listener(5, 33, 8080), served}, {}},
    };
    tick();
    const ApplicationTick t = tick();
    EXPECT_EQ(bytesOf(t.loopback, kServer).in, 700u);
    EXPECT_EQ(bytesOf(t.loopback, kServer).out, 70u);
}

TEST_F(Collector, FailedDumpDefersTheGrowthWithoutLosingOrDoublingIt)
{
    source.steps = {
        {{}, {internetSocket(1, 1000, 100, 100)}},
        {{}, {}, true},
        {{}, {internetSocket(1, 1000, 600, 100)}},
    };
    tick();
    const ApplicationTick failed = tick();
    EXPECT_TRUE(failed.internet.empty());
    EXPECT_EQ(collector.trackedSockets(), 1u);
    EXPECT_EQ(bytesOf(tick().internet, kBrowser).in, 500u);
}

TEST_F(Collector, SocketsWithoutCountsAndResetStartOver)
{
    TcpSocketReading bare = internetSocket(2, 1000, 0, 0);
    bare.hasInfo = false;
    source.steps = {
        {{}, {internetSocket(1, 1000, 100, 100), bare}},
        {{}, {internetSocket(1, 1000, 200, 100), bare}},
        {{}, {internetSocket(1, 1000, 900, 100)}},
        {{}, {internetSocket(1, 1000, 1000, 100)}},
    };
    tick();
    EXPECT_EQ(bytesOf(tick().internet, kBrowser).in, 100u);
    EXPECT_EQ(collector.trackedSockets(), 1u);
    collector.reset();
    EXPECT_FALSE(tick().counted) << "after a reset the next look is a base again";
    EXPECT_EQ(bytesOf(tick().internet, kBrowser).in, 100u);
}

} // namespace

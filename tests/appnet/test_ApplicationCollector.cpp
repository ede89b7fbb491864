#include "FakeSockets.h"
#include "appnet/ApplicationCollector.h"

#include <gtest/gtest.h>

#include <functional>

using namespace flowloom::appnet;
using namespace std::chrono_literals;

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

// Between dumps the active known sockets are read by lookups; a dump comes
// at the first look, every kFullDumpInterval and when lookups fail; when the
// interfaces counted bytes beyond the sockets' growth and the closes, the
// idle sockets are looked up, then a dump follows in the same tick (spaced
// while that finds nothing). Whatever the read,
// every TCP byte made after the first look goes to its program once, and
// "Other" holds exactly what no socket made.
class World
{
public:
    LookupKernel kernel;
    ByteCount moved; // TCP bytes since the previous tick
    ByteCount made;  // TCP bytes since the first look

    void open(std::uint64_t cookie, std::uint64_t in, std::uint64_t out)
    {
        kernel.open(internetSocket(cookie, 1000, in, out));
        count(in, out);
    }
    void grow(std::uint64_t cookie, std::uint64_t in, std::uint64_t out)
    {
        kernel.grow(cookie, in, out);
        count(in, out);
    }

    // Opened, used and closed between two polls: no program is known for it.
    void shortConnection(std::uint64_t cookie, std::uint64_t out)
    {
        kernel.closing.push_back(internetSocket(cookie, 1000, 0, out));
        moved.out += out;
    }

private:
    void count(std::uint64_t in, std::uint64_t out)
    {
        moved = {moved.in + in, moved.out + out};
        made = {made.in + in, made.out + out};
    }
};

using Read = ApplicationCollector::Read;

struct ReadStep
{
    int second; // since the first look
    std::function<void(World&)> act;
    std::uint64_t udp; // bytes each way beside the TCP ones
    Read read;
    int lookups = -1; // sockets looked up (-1: any number)
};

struct ReadCase
{
    const char* name;
    std::vector<ReadStep> steps;
};

TEST(CollectorReads, LookupsBetweenDumpsAndDumpsWhereSomethingMayBeUnknown)
{
    const auto none = [](World&) {};
    const auto growOne = [](World& w) { w.grow(1, 100'000, 5'000); };
    // An active socket, read every 9 s: lookups alone until the quiet period ends.
    const auto quietFiveMinutes = [&] {
        std::vector<ReadStep> steps;
        for (int second = 1; second < 300; second += 9)
            steps.push_back({second, growOne, 0, Read::Lookups});
        steps.push_back({300, growOne, 0, Read::Dump});
        steps.push_back({301, growOne, 0, Read::Lookups});
        return steps;
    };
    const std::vector<ReadCase> cases = {
        {"active known sockets: lookups only, never of the listener",
         {{1, growOne, 0, Read::Lookups, 1},
          {2, growOne, 0, Read::Lookups},
          {3, none, 0, Read::Lookups}}},
        {"idle sockets are not looked up until bytes call for them",
         {{11, none, 0, Read::Lookups, 0},
          {12, growOne, 0, Read::LookupsOfAll, 1},
          {13, growOne, 0, Read::Lookups, 1},
          {22, none, 0, Read::Lookups, 1},
          {23, none, 0, Read::Lookups, 0}}},
        {"headers within the allowance: no dump", {{1, growOne, 4'000, Read::Lookups}}},
        {"a new socket's bytes: dumped in the same tick, counted in full",
         {{1, [](World& w) { w.open(2, 50'000, 2'000); }, 0, Read::LookupsThenDump, 1},
          {2, [](World& w) { w.grow(2, 10, 10); }, 0, Read::Lookups}}},
        {"UDP: dumps spaced 1, 2, 4 s while they find nothing, at once after a quiet tick",
         {{1, none, 50'000, Read::LookupsThenDump},
          {2, none, 50'000, Read::LookupsThenDump},
          {3, none, 50'000, Read::Lookups},
          {4, none, 50'000, Read::LookupsThenDump},
          {5, none, 50'000, Read::Lookups},
          {7, none, 50'000, Read::Lookups},
          {8, none, 50'000, Read::LookupsThenDump},
          {9, growOne, 0, Read::Lookups},
          {10, none, 50'000, Read::LookupsThenDump}}},
        {"a dump that finds a new socket lets the next one come at once",
         {{1, none, 50'000, Read::LookupsThenDump},
          {2, [](World& w) { w.open(3, 70'000, 0); }, 50'000, Read::LookupsThenDump},
          {2, [](World& w) { w.open(4, 70'000, 0); }, 0, Read::LookupsThenDump}}},
        {"a connection closed before any poll saw it is evidence of unseen sockets",
         {{1, [](World& w) { w.shortConnection(7, 60'000); }, 0, Read::LookupsThenDump}}},
        {"every 30 s a dump anyway once a poll was unexplained",
         {{1, none, 50'000, Read::LookupsThenDump},
          {2, growOne, 0, Read::Lookups},
          {10, growOne, 0, Read::Lookups},
          {19, growOne, 0, Read::Lookups},
          {28, growOne, 0, Read::Lookups},
          {31, growOne, 0, Read::Dump},
          {32, growOne, 0, Read::Lookups}}},
        {"every 5 min while every poll was explained", quietFiveMinutes()},
        {"lookups refused: a dump",
         {{1, [](World& w) { w.kernel.lookupsFail = true; }, 0, Read::Dump},
          {2, [](World& w) { w.kernel.lookupsFail = false; }, 0, Read::Lookups}}},
        {"a socket closed between lookups gives its last bytes through its close",
         {{1, growOne, 0, Read::Lookups},
          {2,
           [](World& w) {
               w.grow(1, 700, 70);
               w.kernel.close(1);
           },
           0, Read::Lookups},
          {3, none, 0, Read::Lookups}}},
        {"a socket gone from the lookups waits a tick for its close",
         {{1,
           [](World& w) {
               w.grow(1, 300, 30);
               w.kernel.live.erase(1); // its close is announced a moment later
           },
           0, Read::Lookups},
          {2,
           [](World& w) {
               w.kernel.closing.push_back(internetSocket(1, 1000, 5'000 + 300, 900 + 30));
           },
           0, Read::Lookups}}},
    };
    const Application browser{IdentifiedBy::Process, "browser"};
    const ApplicationCollector::Clock::time_point start{500s};
    for (const ReadCase& c : cases) {
        World world;
        FakeOwners owners;
        owners.byUid = {{1000, browser}};
        ApplicationCollector::Clock::time_point now = start;
        ApplicationCollector collector(world.kernel, owners, [&now] { return now; });
        // Socket 1 was open before the first look: its 5,000/900 bytes are not this run's.
        world.kernel.open(internetSocket(1, 1000, 5'000, 900));
        world.kernel.open(listener(9, 1000, 8080));
        EXPECT_FALSE(collector.tick({}, true)->counted);
        EXPECT_EQ(collector.lastRead(), Read::Dump) << c.name;

        ByteCount credited;
        for (const ReadStep& step : c.steps) {
            now = start + std::chrono::seconds(step.second);
            world.moved = {};
            step.act(world);
            const ByteCount tcp = world.moved;
            const std::optional<ApplicationTick> t =
                collector.tick({{tcp.in + step.udp, tcp.out + step.udp}, {}}, true);
            ASSERT_TRUE(t) << c.name;
            const std::string where =
                std::string(c.name) + ", second " + std::to_string(step.second);
            EXPECT_EQ(collector.lastRead(), step.read) << where;
            if (step.lookups >= 0) {
                EXPECT_EQ(collector.lastLookups(), static_cast<std::size_t>(step.lookups)) << where;
            }
            const ByteCount tickBytes = bytesOf(t->internet, browser);
            credited = {credited.in + tickBytes.in, credited.out + tickBytes.out};
            // "Other" is what no socket made (a close read a tick late
            // credits bytes whose interface bytes went to the tick before).
            const std::uint64_t interfaceIn = tcp.in + step.udp;
            EXPECT_EQ(t->internetOther.in,
                      interfaceIn > tickBytes.in ? interfaceIn - tickBytes.in : 0)
                << where;
        }
        EXPECT_EQ(credited.in, world.made.in) << c.name << ": every TCP byte once";
        EXPECT_EQ(credited.out, world.made.out) << c.name;
        EXPECT_FALSE(world.kernel.askedForListener) << c.name;
    }
}

} // namespace

#include "FakeSockets.h"
#include "appnet/ApplicationTraffic.h"
#include "appnet/PollCadence.h"

#include "usage/UsageRules.h"

#include <gtest/gtest.h>

#include <set>

using namespace flowloom;
using namespace flowloom::appnet;
using namespace std::chrono_literals;

namespace {

using Clock = PollCadence::Clock;

struct CadenceStep
{
    int second; // since the start
    bool shown;
    bool polls;
};

struct CadenceCase
{
    const char* name;
    std::vector<CadenceStep> steps;
};

TEST(PollCadence, ReadsEveryTickWhileShownAndOncePerIntervalWhileHidden)
{
    const int interval = static_cast<int>(kHiddenPollInterval.count());
    const std::vector<CadenceCase> cases = {
        {"the first tick reads even when hidden", {{0, false, true}, {1, false, false}}},
        {"shown: every tick", {{0, true, true}, {1, true, true}, {2, true, true}}},
        {"hidden: once per interval",
         {{0, false, true},
          {1, false, false},
          {interval - 1, false, false},
          {interval, false, true},
          {interval + 1, false, false},
          {2 * interval, false, true}}},
        {"showing reads at once",
         {{0, false, true}, {1, false, false}, {2, true, true}, {3, true, true}}},
        {"hidden again: the interval counts from the last read",
         {{0, true, true},
          {5, true, true},
          {6, false, false},
          {5 + interval - 1, false, false},
          {5 + interval, false, true}}},
        {"a late tick reads when the interval is over",
         {{0, false, true}, {interval + 7, false, true}, {interval + 8, false, false}}},
    };
    for (const CadenceCase& c : cases) {
        PollCadence cadence;
        const Clock::time_point start{100s};
        for (const CadenceStep& step : c.steps)
            EXPECT_EQ(cadence.due(start + std::chrono::seconds(step.second), step.shown),
                      step.polls)
                << c.name << ", second " << step.second;
    }
}

TEST(PollCadence, ForgottenItReadsAtTheNextTick)
{
    PollCadence cadence;
    const Clock::time_point start{100s};
    EXPECT_TRUE(cadence.due(start, false));
    EXPECT_FALSE(cadence.due(start + 1s, false));
    cadence.forget();
    EXPECT_TRUE(cadence.due(start + 2s, false));
    EXPECT_FALSE(cadence.due(start + 3s, false));
}

// A kernel in miniature: sockets live and grow, and their closes wait to be
// read; it counts the reads of each kind.
class LiveSockets final : public TcpSocketSource
{
public:
    std::map<std::uint64_t, TcpSocketReading> live;
    std::vector<TcpSocketReading> closing;
    int polls = 0;
    int drains = 0;

    void drainClosed(std::vector<TcpSocketReading>& closed) override
    {
        ++drains;
        closed.insert(closed.end(), closing.begin(), closing.end());
        closing.clear();
    }
    bool poll(std::vector<TcpSocketReading>& out) override
    {
        ++polls;
        for (const auto& [cookie, socket] : live)
            out.push_back(socket);
        return true;
    }
    void open(std::uint64_t cookie) { live[cookie] = internetSocket(cookie, 1000, 0, 0); }
    void grow(std::uint64_t cookie, std::uint64_t in, std::uint64_t out)
    {
        live.at(cookie).bytesReceived += in;
        live.at(cookie).bytesSent += out;
    }
    void close(std::uint64_t cookie)
    {
        closing.push_back(live.at(cookie));
        live.erase(cookie);
    }
};

class Cadence : public ::testing::Test
{
protected:
    Cadence() { owners.byUid = {{1000, {IdentifiedBy::Process, "browser"}}}; }

    std::vector<usage::ApplicationUsage> on(const sampling::DateTime& day)
    {
        return history.applications(kPhysical, usage::dayKey(day), usage::dayKey(day));
    }
    // One tick a second later; the interface counts what the sockets did
    // plus `udp` in each direction.
    void tick(bool shown, std::uint64_t socketIn, std::uint64_t socketOut, std::uint64_t udp,
              const sampling::DateTime& now)
    {
        now_ += 1s;
        traffic.setShown(shown);
        traffic.tick({{socketIn + udp, socketOut + udp}, {}}, now);
    }

    const sampling::DateTime kDay{2026, 12, 8, 15, 0, 0};
    const usage::InterfaceIdentity kPhysical{":physical", ""};
    LiveSockets sockets;
    FakeOwners owners;
    usage::UtcZone zone;
    usage::UsageHistory history{zone};
    Clock::time_point now_{1000s};
    ApplicationTraffic traffic{sockets, owners, {}, [this] { return now_; }};
};

TEST_F(Cadence, NoByteIsLostOrCountedTwiceAcrossChangesOfCadence)
{
    traffic.attachHistory(&history, kPhysical);
    sockets.open(1);
    sockets.open(2);
    // Seconds 1..101: shown for 3, hidden until 70, shown 71..75, hidden
    // until 100, shown at 101 (which reads what the hidden ticks left).
    auto shownAt = [](int second) {
        return second <= 3 || (second >= 71 && second <= 75) || second == 101;
    };
    ByteCount browser;
    ByteCount other;
    std::set<int> polled;
    for (int second = 1; second <= 101; ++second) {
        std::uint64_t in = 0;
        std::uint64_t out = 0;
        if (second > 1) { // the first tick is the base: its bytes are nobody's
            sockets.grow(1, 100, 10);
            in += 100;
            out += 10;
            if (sockets.live.contains(2)) {
                sockets.grow(2, 7, 3);
                in += 7;
                out += 3;
            }
            browser = {browser.in + in, browser.out + out};
            other = {other.in + 5, other.out + 5};
        }
        // Socket 2 was read at second 33 and closes between two reads; its
        // last bytes come through its close.
        if (second == 40)
            sockets.close(2);
        // Socket 3 opens and closes between two reads: never seen alive, it
        // has no known owner and goes to "Other".
        if (second == 45)
            sockets.open(3);
        if (second == 46) {
            sockets.grow(3, 50, 20);
            in += 50;
            out += 20;
            other = {other.in + 50, other.out + 20};
            sockets.close(3);
        }
        const int pollsBefore = sockets.polls;
        tick(shownAt(second), in, out, 5, kDay);
        if (sockets.polls > pollsBefore)
            polled.insert(second);
        if (second == 71) {
            EXPECT_EQ(traffic.latest().ticks, 71 - 63)
                << "the first poll shown spans the hidden ticks";
        }
    }
    const std::set<int> expectedPolls = {1, 2, 3, 33, 63, 71, 72, 73, 74, 75, 101};
    EXPECT_EQ(polled, expectedPolls);
    EXPECT_EQ(sockets.drains, 101) << "the closes are read every tick";

    const std::vector<usage::ApplicationUsage> expected = {
        {kOtherName, kOtherKind, other.in, other.out},
        {"browser", static_cast<int>(IdentifiedBy::Process), browser.in, browser.out},
    };
    EXPECT_EQ(on(kDay), expected);
}

TEST_F(Cadence, BetweenReadsNothingIsRecordedAndAReadAcrossMidnightGoesToTheNewDay)
{
    traffic.attachHistory(&history, kPhysical);
    sockets.open(1);
    const sampling::DateTime evening{2026, 12, 8, 23, 59, 50};
    const sampling::DateTime morning{2026, 12, 9, 0, 0, 5};
    tick(false, 0, 0, 0, evening); // the base
    for (int i = 0; i < 3; ++i) {
        sockets.grow(1, 1000, 100);
        tick(false, 1000, 100, 0, evening);
    }
    EXPECT_FALSE(history.hasPending()) << "hidden, nothing is read before the interval is over";
    sockets.grow(1, 1000, 100);
    tick(true, 1000, 100, 0, morning);
    EXPECT_EQ(traffic.latest().ticks, 4);
    EXPECT_TRUE(on(evening).empty());
    // "Other" had no bytes: it makes no row.
    const std::vector<usage::ApplicationUsage> expected = {
        {"browser", static_cast<int>(IdentifiedBy::Process), 4000, 400},
    };
    EXPECT_EQ(on(morning), expected);
}

TEST(CadenceCollector, ASocketWhoseCloseWasReadBetweenDumpsIsNotCountedAgainByTheNextDump)
{
    LiveSockets sockets;
    FakeOwners owners;
    owners.byUid = {{1000, {IdentifiedBy::Process, "browser"}}};
    ApplicationCollector collector(sockets, owners);
    sockets.open(1);
    ASSERT_TRUE(collector.tick({}, true)); // the base
    sockets.grow(1, 500, 50);
    // Its close is read at a tick without a dump; the kernel still lists it
    // at the next dump (a closing socket leaves its table a moment later).
    sockets.closing.push_back(sockets.live.at(1));
    EXPECT_FALSE(collector.tick({{500, 50}, {}}, false));
    EXPECT_FALSE(collector.tick({}, false));
    sockets.grow(1, 9, 9); // a reading it cannot have made after its close
    const std::optional<ApplicationTick> polled = collector.tick({}, true);
    ASSERT_TRUE(polled);
    ASSERT_EQ(polled->internet.size(), 1u);
    EXPECT_EQ(polled->internet[0].bytes.in, 500u) << "counted through its close, once";
    EXPECT_EQ(polled->internet[0].bytes.out, 50u);
    EXPECT_EQ(polled->socketsClosed, 1u);
    EXPECT_EQ(polled->ticks, 3);
    EXPECT_EQ(collector.trackedSockets(), 0u);
}

} // namespace

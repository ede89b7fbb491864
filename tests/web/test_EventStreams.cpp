// The event streams' thread over socket pairs: who gets a place, what each
// stream is sent (the prelude, the newest event, never a backlog), and when a
// stream ends (its reader gone, stalled, switched off, the server stopping).
#include "web/server/DescriptorBudget.h"
#include "web/server/EventStreams.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace flowloom;
using namespace flowloom::web;
using namespace std::chrono_literals;
using Refusal = EventStreams::Refusal;

namespace {

constexpr auto kLimit = 10s; // every wait is bounded; none is a timing goal

struct SocketPair
{
    sampling::UniqueFd server; // handed to the streams
    sampling::UniqueFd reader;

    SocketPair()
    {
        int ends[2] = {-1, -1};
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0) {
            server.reset(ends[0]);
            reader.reset(ends[1]);
        }
    }
};

struct Read
{
    std::string bytes;
    bool closed = false;
};

// Reads until `until` is in the bytes, the writer closes, or the limit passes.
Read readUntil(int fd, const std::string& until, std::chrono::milliseconds limit = kLimit)
{
    Read read;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[65536];
    while (until.empty() || read.bytes.find(until) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t count = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (count == 0) {
            read.closed = true;
            break;
        }
        if (count > 0)
            read.bytes.append(buffer, static_cast<std::size_t>(count));
    }
    return read;
}

Read readToEnd(int fd)
{
    return readUntil(fd, {});
}

template <typename Condition> bool eventually(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (!condition() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    return condition();
}

std::shared_ptr<const std::string> event(const std::string& text)
{
    return std::make_shared<const std::string>(text);
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

TEST(EventStreams, PlacesAreBoundedPerClientAndInAll)
{
    EventStreams streams;
    EXPECT_EQ(streams.reserve("127.0.0.1").refusal(), Refusal::NotRunning) << "before the start";
    streams.start({3, 2, 10s});

    struct Step
    {
        const char* peer;
        Refusal expected;
    };
    // Two a client, three in all: each refusal is checked at its bound and
    // one past it.
    const Step steps[] = {
        {"10.0.0.1", Refusal::None},       {"10.0.0.1", Refusal::None},
        {"10.0.0.1", Refusal::ClientFull}, {"10.0.0.2", Refusal::None},
        {"10.0.0.2", Refusal::ServerFull}, {"10.0.0.3", Refusal::ServerFull},
    };
    std::vector<EventStreams::Place> held;
    for (const Step& step : steps) {
        EventStreams::Place place = streams.reserve(step.peer);
        EXPECT_EQ(place.refusal(), step.expected) << step.peer << " after " << held.size();
        EXPECT_EQ(place.held(), step.expected == Refusal::None);
        if (place.held())
            held.push_back(std::move(place));
    }
    EXPECT_EQ(streams.held(), 3u);
    EXPECT_EQ(streams.heldBy("10.0.0.1"), 2u);
    EXPECT_EQ(streams.heldBy("10.0.0.3"), 0u) << "a refusal holds nothing";

    held.erase(held.begin()); // a place never used is given back
    EXPECT_EQ(streams.heldBy("10.0.0.1"), 1u);
    EXPECT_TRUE(streams.reserve("10.0.0.3").held()) << "room again in all";

    streams.stop();
    EXPECT_EQ(streams.reserve("10.0.0.4").refusal(), Refusal::NotRunning) << "after the stop";
}

TEST(EventStreams, AStreamGetsThePreludeTheNewestEventAndEachLaterOne)
{
    EventStreams streams;
    streams.start({8, 8, 10s});
    streams.publish(event("id: 1\n\n"));
    streams.publish(event("id: 2\n\n")); // before the stream: only the newest is sent

    SocketPair pair;
    streams.adopt(streams.reserve("127.0.0.1"), std::move(pair.server), "retry: 2000\n\n");
    EXPECT_EQ(readUntil(pair.reader.get(), "id: 2\n\n").bytes, "retry: 2000\n\nid: 2\n\n");

    streams.publish(event("id: 3\n\n"));
    EXPECT_EQ(readUntil(pair.reader.get(), "id: 3\n\n").bytes, "id: 3\n\n");
    EXPECT_EQ(streams.heldBy("127.0.0.1"), 1u);

    pair.reader.reset(); // the reader goes: the stream ends and gives its place back
    EXPECT_TRUE(eventually([&] { return streams.held() == 0; }));
}

TEST(EventStreams, AStreamBehindFinishesItsEventThenSkipsToTheNewest)
{
    EventStreams streams;
    streams.start({8, 8, 10s});
    // Far more than the socket pair's buffers hold: the stream is left
    // halfway through it until its reader reads.
    const std::string big = "id: 1\ndata: " + std::string(4 << 20, 'x') + "\n\n";
    streams.publish(event(big));
    SocketPair behind;
    streams.adopt(streams.reserve("10.0.0.1"), std::move(behind.server), "");
    pollfd begun{behind.reader.get(), POLLIN, 0}; // its first bytes are there, unread
    ASSERT_EQ(::poll(&begun, 1, 10000), 1);
    for (const char* text : {"id: 2\n\n", "id: 3\n\n", "id: 4\n\n"})
        streams.publish(event(text));
    // A stream started now begins at the newest, so once it has it the
    // thread knows every event published.
    SocketPair witness;
    streams.adopt(streams.reserve("10.0.0.2"), std::move(witness.server), "");
    ASSERT_EQ(readUntil(witness.reader.get(), "id: 4\n\n").bytes, "id: 4\n\n");

    const Read read = readUntil(behind.reader.get(), "id: 4\n\n");
    EXPECT_EQ(read.bytes.size(), big.size() + 7);
    EXPECT_TRUE(read.bytes.starts_with(big)) << "the event begun is finished whole";
    EXPECT_TRUE(read.bytes.ends_with("id: 4\n\n"));
    EXPECT_EQ(occurrences(read.bytes, "id: 2"), 0u);
    EXPECT_EQ(occurrences(read.bytes, "id: 3"), 0u);
}

TEST(EventStreams, StreamsEndWhenStalledFloodedSwitchedOffOrStopped)
{
    EventStreams streams;
    streams.start({16, 16, 200ms});

    // Stalled: a reader that takes nothing while the buffer is full.
    SocketPair stalled;
    streams.adopt(streams.reserve("10.0.0.1"), std::move(stalled.server), "");
    streams.publish(event(std::string(4 << 20, 'x')));
    EXPECT_TRUE(eventually([&] { return streams.heldBy("10.0.0.1") == 0; }));
    EXPECT_TRUE(readToEnd(stalled.reader.get()).closed);
    streams.publish(event("id: 2\n\n")); // the streams below are sent this one

    // Flooded: a reader that sends more than a request once its stream runs.
    SocketPair flooding;
    streams.adopt(streams.reserve("10.0.0.2"), std::move(flooding.server), "");
    const std::string junk(8192, 'j');
    ASSERT_EQ(::send(flooding.reader.get(), junk.data(), junk.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(junk.size()));
    EXPECT_TRUE(eventually([&] { return streams.heldBy("10.0.0.2") == 0; }));

    // Switched off: every stream ends, and new ones are taken again.
    std::vector<SocketPair> readers(3);
    for (SocketPair& pair : readers)
        streams.adopt(streams.reserve("10.0.0.3"), std::move(pair.server), "retry: 2000\n\n");
    streams.endAll();
    for (SocketPair& pair : readers)
        EXPECT_TRUE(readToEnd(pair.reader.get()).closed);
    EXPECT_TRUE(eventually([&] { return streams.held() == 0; }));
    EXPECT_TRUE(streams.reserve("10.0.0.3").held());

    // Stopped: every stream ends before stop() returns; later hand-overs close.
    std::vector<SocketPair> open(5);
    for (SocketPair& pair : open)
        streams.adopt(streams.reserve("10.0.0.4"), std::move(pair.server), "retry: 2000\n\n");
    EventStreams::Place early = streams.reserve("10.0.0.4");
    streams.stop();
    EXPECT_EQ(streams.heldBy("10.0.0.4"), 1u) << "only the place not yet handed over";
    for (SocketPair& pair : open)
        EXPECT_TRUE(readToEnd(pair.reader.get()).closed);
    SocketPair late;
    streams.adopt(std::move(early), std::move(late.server), "retry: 2000\n\n");
    const Read afterStop = readToEnd(late.reader.get());
    EXPECT_TRUE(afterStop.closed);
    EXPECT_EQ(afterStop.bytes, "") << "nothing is sent after the stop";
    EXPECT_EQ(streams.held(), 0u);
}

TEST(DescriptorBudget, StreamsGetWhatLiesAboveTheHttpSide)
{
    struct Case
    {
        std::size_t softLimit;
        std::size_t configured;
        std::size_t expected;
    };
    const std::size_t http = DescriptorBudget::kHttpSide;
    const std::size_t fewest = DescriptorBudget::kFewestStreams;
    const Case cases[] = {
        {DescriptorBudget::kWanted, 1024, 1024}, // the raised limit: all configured
        {http + 1024, 1024, 1024},               // exactly enough
        {http + 1023, 1024, 1023},               // one short
        {http + 300, 1024, 300},
        {http + fewest - 1, 1024, fewest}, // never fewer than a few
        {http, 1024, fewest},              // the usual limit, not raised
        {0, 1024, fewest},
        {DescriptorBudget::kWanted, 10, 10}, // never more than configured
        {http, 10, 10},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DescriptorBudget::streamsWithin(c.softLimit, c.configured), c.expected)
            << c.softLimit << " / " << c.configured;
}

TEST(DescriptorBudget, TheSoftLimitIsRaisedTowardTheHardOneAndNeverLowered)
{
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    if (before.rlim_max != RLIM_INFINITY && before.rlim_max < 300)
        GTEST_SKIP() << "hard descriptor limit below 300";
    rlimit lowered = before;
    lowered.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

    EXPECT_EQ(DescriptorBudget::raiseSoftLimit(300), 300u);
    rlimit now{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &now), 0);
    EXPECT_EQ(now.rlim_cur, 300u);
    EXPECT_EQ(now.rlim_max, before.rlim_max) << "the hard limit stays";
    EXPECT_EQ(DescriptorBudget::raiseSoftLimit(280), 300u) << "never lowered";

    ::setrlimit(RLIMIT_NOFILE, &before);
}

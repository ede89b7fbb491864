#include "FakeSockets.h"
#include "appnet/ApplicationTraffic.h"

#include "usage/UsageRules.h"

#include <gtest/gtest.h>

using namespace flowloom;
using namespace flowloom::appnet;

namespace {

const sampling::DateTime kNow{2026, 12, 8, 15, 0, 0};
const usage::InterfaceIdentity kPhysical{":physical", ""};

class Traffic : public ::testing::Test
{
protected:
    Traffic() { owners.byUid = {{1000, {IdentifiedBy::Process, "browser"}}}; }

    std::vector<usage::ApplicationUsage> today(const usage::InterfaceIdentity& identity)
    {
        return history.applications(identity, usage::dayKey(kNow), usage::dayKey(kNow));
    }

    ScriptedSockets source;
    FakeOwners owners;
    usage::UtcZone zone;
    usage::UsageHistory history{zone};
};

TEST_F(Traffic, EachTickGoesToTheHistoryWithOtherAndLoopbackApart)
{
    ApplicationTraffic traffic(source, owners);
    traffic.attachHistory(&history, kPhysical);
    source.steps = {
        {{}, {internetSocket(1, 1000, 0, 0), loopbackSocket(2, 1000, 0, 0)}},
        {{}, {internetSocket(1, 1000, 900, 90), loopbackSocket(2, 1000, 40, 40)}},
        {{}, {internetSocket(1, 1000, 900, 90), loopbackSocket(2, 1000, 40, 40)}},
    };
    traffic.tick({{5000, 500}, {50, 50}}, kNow); // the base: nothing recorded
    EXPECT_FALSE(history.hasPending());
    traffic.tick({{1000, 100}, {60, 60}}, kNow);
    traffic.tick({{300, 0}, {0, 0}}, kNow); // UDP only
    EXPECT_TRUE(traffic.latest().counted);

    const std::vector<usage::ApplicationUsage> expected = {
        {kOtherName, kOtherKind, 100 + 300, 10},
        {"browser", static_cast<int>(IdentifiedBy::Process), 900, 90},
    };
    EXPECT_EQ(today(kPhysical), expected);
    const std::vector<usage::ApplicationUsage> loopback = {
        {kOtherName, kOtherKind, 20, 20},
        {"browser", static_cast<int>(IdentifiedBy::Process), 40, 40},
    };
    EXPECT_EQ(today(loopbackIdentity()), loopback);
}

TEST_F(Traffic, SwitchedOffItNeitherPollsNorRecordsAndStartsAgainWithABase)
{
    ApplicationTraffic traffic(source, owners);
    traffic.attachHistory(&history, kPhysical);
    source.steps = {
        {{}, {internetSocket(1, 1000, 100, 0)}},
        {{}, {internetSocket(1, 1000, 5000, 0)}}, // read after switching on again: a base
        {{}, {internetSocket(1, 1000, 5100, 0)}},
    };
    traffic.tick({}, kNow);
    traffic.setOn(false);
    EXPECT_FALSE(traffic.counting());
    traffic.tick({{7000, 0}, {}}, kNow);
    EXPECT_EQ(source.steps.size(), 2u) << "no socket was read while off";
    EXPECT_FALSE(traffic.latest().counted);
    traffic.setOn(true);
    traffic.tick({}, kNow);
    EXPECT_FALSE(traffic.latest().counted);
    traffic.tick({{100, 0}, {}}, kNow);
    ASSERT_EQ(traffic.latest().internet.size(), 1u);
    EXPECT_EQ(traffic.latest().internet[0].bytes.in, 100u)
        << "what happened while off is not counted";
}

TEST_F(Traffic, WhereTheKernelOffersNothingItStaysOffAndSaysWhy)
{
    ApplicationTraffic traffic(source, owners, "no socket diagnostics");
    traffic.attachHistory(&history, kPhysical);
    source.steps = {{{}, {internetSocket(1, 1000, 100, 0)}}};
    EXPECT_TRUE(traffic.on());
    EXPECT_FALSE(traffic.available());
    EXPECT_FALSE(traffic.counting());
    EXPECT_EQ(traffic.problem(), "no socket diagnostics");
    traffic.tick({{100, 0}, {}}, kNow);
    EXPECT_EQ(source.steps.size(), 1u);
    EXPECT_FALSE(history.hasPending());
}

TEST(ApplicationNames, LongNamesAreBoundedAtACharacterBoundary)
{
    EXPECT_EQ(boundedName("firefox"), "firefox");
    const std::string exact(kMaxApplicationName, 'a');
    EXPECT_EQ(boundedName(exact), exact);
    EXPECT_EQ(boundedName(exact + "b"), exact);
    // A two-byte character across the limit is left out whole.
    const std::string across = std::string(kMaxApplicationName - 1, 'a') + "\xC3\xA9" + "z";
    EXPECT_EQ(boundedName(across), std::string(kMaxApplicationName - 1, 'a'));
    EXPECT_EQ(identifiedByText(IdentifiedBy::Process), "process");
    EXPECT_EQ(identifiedByText(IdentifiedBy::Cgroup), "cgroup");
    EXPECT_EQ(identifiedByText(IdentifiedBy::User), "user");
}

} // namespace

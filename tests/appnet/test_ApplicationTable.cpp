#include "appnet/ApplicationTable.h"
#include "appnet/ApplicationTraffic.h"

#include <gtest/gtest.h>

using namespace flowloom;
using namespace flowloom::appnet;

namespace {

constexpr int kProcess = static_cast<int>(IdentifiedBy::Process);
constexpr int kCgroup = static_cast<int>(IdentifiedBy::Cgroup);
constexpr int kUser = static_cast<int>(IdentifiedBy::User);

TEST(ApplicationTable, RatesJoinTotalsSortedByRateWithOtherLast)
{
    const std::vector<ApplicationBytes> live = {
        {{IdentifiedBy::Process, "curl"}, {2000, 0}},
        {{IdentifiedBy::Cgroup, "firefox"}, {8000, 2000}},
        {{IdentifiedBy::User, "root"}, {0, 0}},
    };
    const std::vector<usage::ApplicationUsage> today = {
        {"curl", kProcess, 10'000, 100}, {"firefox", kCgroup, 50'000, 5'000},
        {"ssh", kCgroup, 900, 900}, // quiet now, busy earlier today
        {"idle", kCgroup, 10, 10},       {kOtherName, kOtherKind, 7'000, 70},
    };
    const std::vector<usage::ApplicationUsage> period = {
        {"curl", kProcess, 99'000, 990}, {"backup", kUser, 1'000'000, 2'000'000}, // not today
    };
    // Two seconds: rates are half the bytes.
    const ApplicationTable table = applicationTable(live, {1000, 1000}, 2.0, today, period);
    ASSERT_EQ(table.rows.size(), 7u);
    // Quiet ones without bytes today go by name.
    const std::vector<std::string> order = {"firefox", "curl", "ssh",     "idle",
                                            "backup",  "root", kOtherName};
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(table.rows[i].name, order[i]) << i;
    EXPECT_EQ(table.rows[0], (ApplicationRow{"firefox", kCgroup, 4000, 1000, 50'000, 5'000, 0, 0}));
    EXPECT_EQ(table.rows[1], (ApplicationRow{"curl", kProcess, 1000, 0, 10'000, 100, 99'000, 990}));
    EXPECT_EQ(table.rows[6], (ApplicationRow{kOtherName, kOtherKind, 500, 500, 7'000, 70, 0, 0}));
    // 12,000 attributed bytes of 14,000 in all.
    EXPECT_DOUBLE_EQ(table.attributedShare, 12'000.0 / 14'000.0);
}

TEST(ApplicationTable, TheSameNameFoundTwoWaysStaysTwoRowsAndAQuietTickHasNoShare)
{
    const std::vector<usage::ApplicationUsage> today = {{"firefox", kProcess, 5, 5},
                                                        {"firefox", kCgroup, 7, 7}};
    const ApplicationTable table = applicationTable({}, {}, 1.0, today, {});
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[0].kind, kCgroup) << "more bytes today first";
    EXPECT_EQ(table.rows[1].kind, kProcess);
    EXPECT_EQ(table.rows[2].name, kOtherName) << "the Other row is always there";
    EXPECT_LT(table.attributedShare, 0);
    EXPECT_EQ(applicationTable({}, {}, 0.0, {}, {}).rows[0].inRate, 0.0) << "no interval yet";
}

TEST(ApplicationTable, KindTexts)
{
    EXPECT_EQ(kindText(kProcess), "process");
    EXPECT_EQ(kindText(kCgroup), "cgroup");
    EXPECT_EQ(kindText(kUser), "user");
    EXPECT_EQ(kindText(kOtherKind), "");
    EXPECT_EQ(kindText(-1), "");
}

} // namespace

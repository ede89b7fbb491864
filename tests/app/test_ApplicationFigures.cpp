// The figures per application that the documents publish: the history's
// totals of today and of the billing period from its first day, ordered by
// the period's bytes with the Other row last, the two scopes apart. (The
// window's test holds them against the Applications page.)
#include "accounting/AccountingCore.h"
#include "app/publish/ApplicationFigures.h"

#include <gtest/gtest.h>

using namespace flowloom;

namespace {

const sampling::DateTime kNow{2026, 12, 8, 15, 0, 0};

struct NoSockets final : appnet::TcpSocketSource
{
    void drainClosed(std::vector<appnet::TcpSocketReading>&) override {}
    bool poll(std::vector<appnet::TcpSocketReading>&) override { return true; }
};

struct NoOwners final : appnet::SocketOwners
{
    void newTick() override {}
    appnet::Application ownerOf(const appnet::TcpSocketReading&) override { return {}; }
};

struct Recorded
{
    bool loopback;
    const char* name;
    int kind; // IdentifiedBy, or appnet::kOtherKind
    sampling::DateTime day;
    std::uint64_t in;
    std::uint64_t out;
};

TEST(ApplicationFigures, TheDocumentsHoldThePagesTotalsOrderedByThePeriod)
{
    usage::UtcZone zone;
    usage::UsageHistory history{zone};
    usage::BillingRule rule;
    rule.automatic = true;
    rule.dayItem = 4; // the period starts on the 5th at 00:01: its first day is the 5th
    const int process = static_cast<int>(appnet::IdentifiedBy::Process);
    const int cgroup = static_cast<int>(appnet::IdentifiedBy::Cgroup);
    const sampling::DateTime before{2026, 12, 4, 23, 0, 0};
    const sampling::DateTime earlier{2026, 12, 6, 12, 0, 0};
    for (const Recorded& r :
         std::vector<Recorded>{{false, "old", process, before, 900'000, 0}, // the previous period
                               {false, "editor", process, earlier, 5000, 50},
                               {false, "browser", process, kNow, 3000, 300},
                               {false, "browser", process, earlier, 100, 10},
                               {false, appnet::kOtherName, appnet::kOtherKind, kNow, 70, 7},
                               {true, "webserver", cgroup, kNow, 4096, 512},
                               {true, "editor", process, kNow, 1, 1}}) {
        const usage::InterfaceIdentity& identity =
            r.loopback ? appnet::loopbackIdentity() : accounting::physicalSumIdentity();
        history.addApplication(identity, r.name, r.kind, r.day, r.in, r.out);
    }
    const app::ApplicationDays days = app::applicationDaysAt(rule, kNow);
    EXPECT_EQ(days.today, "2026-12-08");
    EXPECT_EQ(days.periodFirstDay, "2026-12-05");

    NoSockets none;
    NoOwners nobody;
    appnet::ApplicationTraffic traffic(none, nobody); // never ticked: the history's totals alone
    const web::ApplicationsFigures figures = app::applicationsFigures(traffic, history, rule, kNow);
    EXPECT_EQ(figures.today, days.today);
    EXPECT_EQ(figures.periodFirstDay, days.periodFirstDay);

    using F = web::ApplicationFigures;
    struct Scope
    {
        const web::ApplicationScopeFigures& figures;
        const char* interface;
        std::vector<F> expected;
    };
    for (const Scope& scope : {
             Scope{figures.internet,
                   web::Figures::kPhysicalSum,
                   {// editor 5050 in the period before browser's 3000 + 300 + 100 + 10
                    F{"editor", "process", 0, 0, 5000, 50},
                    F{"browser", "process", 3000, 300, 3100, 310},
                    F{appnet::kOtherName, "", 70, 7, 70, 7}}},
             Scope{figures.loopback,
                   web::Figures::kLoopbackSum,
                   {F{"webserver", "cgroup", 4096, 512, 4096, 512},
                    F{"editor", "process", 1, 1, 1, 1}, F{appnet::kOtherName, "", 0, 0, 0, 0}}},
         }) {
        EXPECT_EQ(scope.figures.interface, scope.interface);
        EXPECT_EQ(scope.figures.applications, scope.expected) << scope.interface;
    }
}

} // namespace

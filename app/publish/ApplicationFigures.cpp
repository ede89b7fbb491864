#include "app/publish/ApplicationFigures.h"

#include "accounting/AccountingCore.h"

#include <algorithm>
#include <tuple>

namespace flowloom::app {

ApplicationDays applicationDaysAt(const usage::BillingRule& rule, const sampling::DateTime& now)
{
    return {usage::dayKey(now), usage::dayKey(usage::billingPeriodAt(rule, now).start)};
}

appnet::ApplicationTable scopeTable(const appnet::ApplicationTick& latest, bool loopback,
                                    usage::UsageHistory* history, const ApplicationDays& days,
                                    double seconds)
{
    const usage::InterfaceIdentity& identity =
        loopback ? appnet::loopbackIdentity() : accounting::physicalSumIdentity();
    std::vector<usage::ApplicationUsage> today;
    std::vector<usage::ApplicationUsage> period;
    if (history != nullptr) {
        today = history->applications(identity, days.today, days.today);
        period = history->applications(identity, days.periodFirstDay, days.today);
    }
    return appnet::applicationTable(loopback ? latest.loopback : latest.internet,
                                    loopback ? latest.loopbackOther : latest.internetOther, seconds,
                                    today, period);
}

web::ApplicationScopeFigures scopeFigures(std::string interface,
                                          const appnet::ApplicationTable& table)
{
    web::ApplicationScopeFigures scope;
    scope.interface = std::move(interface);
    web::ApplicationFigures other;
    other.name = appnet::kOtherName;
    for (const appnet::ApplicationRow& row : table.rows) {
        web::ApplicationFigures figures{row.name,     appnet::kindText(row.kind),
                                        row.todayIn,  row.todayOut,
                                        row.periodIn, row.periodOut};
        if (row.kind == appnet::kOtherKind)
            other = figures;
        else
            scope.applications.push_back(std::move(figures));
    }
    std::sort(scope.applications.begin(), scope.applications.end(),
              [](const web::ApplicationFigures& a, const web::ApplicationFigures& b) {
                  const std::uint64_t periodA = a.periodReceivedBytes + a.periodSentBytes;
                  const std::uint64_t periodB = b.periodReceivedBytes + b.periodSentBytes;
                  return std::tie(periodB, a.name, a.identifiedBy) <
                         std::tie(periodA, b.name, b.identifiedBy);
              });
    scope.applications.push_back(std::move(other));
    return scope;
}

std::string stateWord(const appnet::ApplicationTraffic& traffic)
{
    return !traffic.available() ? "unavailable" : traffic.on() ? "counting" : "off";
}

web::ApplicationsFigures applicationsFigures(const appnet::ApplicationTraffic& traffic,
                                             usage::UsageHistory& history,
                                             const usage::BillingRule& rule,
                                             const sampling::DateTime& now)
{
    web::ApplicationsFigures figures;
    figures.state = stateWord(traffic);
    const ApplicationDays days = applicationDaysAt(rule, now);
    figures.today = days.today;
    figures.periodFirstDay = days.periodFirstDay;
    // The documents carry totals only: the rates' interval does not matter.
    const appnet::ApplicationTick& latest = traffic.latest();
    figures.internet =
        scopeFigures(web::Figures::kPhysicalSum, scopeTable(latest, false, &history, days, 1.0));
    figures.loopback =
        scopeFigures(web::Figures::kLoopbackSum, scopeTable(latest, true, &history, days, 1.0));
    return figures;
}

} // namespace flowloom::app

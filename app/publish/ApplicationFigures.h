#pragma once

#include "appnet/ApplicationTable.h"
#include "appnet/ApplicationTraffic.h"
#include "usage/UsageHistory.h"
#include "usage/UsageRules.h"
#include "web/documents/Figures.h"

#include <string>

namespace flowloom::app {

// The days the Applications page and the documents total: today, and the
// billing period from its first day (whole) to today.
struct ApplicationDays
{
    std::string today;
    std::string periodFirstDay;
};
ApplicationDays applicationDaysAt(const usage::BillingRule& rule, const sampling::DateTime& now);

// One scope's table as the Applications page shows it: the latest poll's
// rates (its bytes over `seconds`) with today's and the period's totals from
// the history (none: no totals).
appnet::ApplicationTable scopeTable(const appnet::ApplicationTick& latest, bool loopback,
                                    usage::UsageHistory* history, const ApplicationDays& days,
                                    double seconds);

// The table's applications as the documents carry them: by the period's
// bytes, most first, then by name; the Other row last.
web::ApplicationScopeFigures scopeFigures(std::string interface,
                                          const appnet::ApplicationTable& table);

// "counting", "off" (switched off) or "unavailable" (no socket diagnostics).
std::string stateWord(const appnet::ApplicationTraffic& traffic);

// Both scopes' figures of the traffic as it stands after the latest tick.
web::ApplicationsFigures applicationsFigures(const appnet::ApplicationTraffic& traffic,
                                             usage::UsageHistory& history,
                                             const usage::BillingRule& rule,
                                             const sampling::DateTime& now);

} // namespace flowloom::app

#pragma once

#include "usage/UsageRules.h"
#include "usage/UsageStore.h"

#include <string>
#include <vector>

namespace flowloom::usage {

// One row of the History tab's tables and chart.
struct UsageRow
{
    std::string key; // dayKey, or "yyyy-mm" for a month
    std::uint64_t in = 0;
    std::uint64_t out = 0;

    bool operator==(const UsageRow&) const = default;
};

// The `count` days up to and including `today`, oldest first, each one
// present (a day without a record has zero bytes).
std::vector<UsageRow> lastDays(const std::vector<DayUsage>& days, const DateTime& today, int count);
// The `count` calendar months up to and including today's, oldest first.
std::vector<UsageRow> lastMonths(const std::vector<DayUsage>& days, const DateTime& today,
                                 int count);
// Every month that has a day, oldest first.
std::vector<UsageRow> months(const std::vector<DayUsage>& days);

// The History tab's export: "Period,Date,Download bytes,Upload bytes,Total
// bytes", then every day ("day", yyyy-mm-dd) and every month ("month",
// yyyy-mm), oldest first; lines end in CR LF.
std::string exportCsv(const std::vector<DayUsage>& days);

// Table and chart texts: "Sat 15 Feb 2025", "Feb 2025", "15 Feb" and "Feb 25".
std::string dayText(const std::string& dayKey);
std::string monthText(const std::string& monthKey);
std::string shortDayText(const std::string& dayKey);
std::string shortMonthText(const std::string& monthKey);

} // namespace flowloom::usage

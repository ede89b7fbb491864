#pragma once

#include "app/startup/CommandLine.h"
#include "sampling/DateTime.h"
#include "sampling/IPHelper.h"
#include "usage/UsageRules.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace flowloom::app {

// The exit statuses of "flowloom --report".
inline constexpr int kReportDone = 0;
inline constexpr int kReportAlert = 1;  // --alert: the share of the cap is used
inline constexpr int kReportFailed = 2; // no history, a damaged one, no such interface

// What the report reads besides the history.
struct ReportEnvironment
{
    std::filesystem::path settingsFile; // the history lies beside it
    sampling::DateTime now;             // local time
    const usage::LocalZone& zone;
    // The system's interface table, for the selected interface ("URL").
    std::function<sampling::TMIBIfArray()> interfaces;
};

struct ReportResult
{
    int status = kReportDone;
    std::string out; // for standard output
    std::string err; // for standard error: one line, or nothing
};

// The report of the usage history: an aligned table, or the JSON API's
// documents with --json (history.json for --days and --months, the period
// and cap of summary.json for --period). It is about one interface: the
// one --interface names, else the one the data cap measures (the selected
// interface, or the sum of the physical ones). The history file is only
// read: the running program may be writing it meanwhile.
ReportResult usageReport(const ReportOptions& options, const ReportEnvironment& environment);

// A size for people: "512 B", "1.50 KiB", "12.00 MiB", "3.25 GiB", "1.00 TiB".
std::string sizeText(std::uint64_t bytes);

} // namespace flowloom::app

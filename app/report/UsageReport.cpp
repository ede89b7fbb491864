#include "app/report/UsageReport.h"

#include "accounting/AccountingCore.h"
#include "app/ini/SettingsFile.h"
#include "app/publish/FiguresBuilder.h"
#include "usage/CapWarning.h"
#include "usage/InterfaceIdentity.h"
#include "usage/UsageHistory.h"
#include "usage/UsageStore.h"
#include "web/documents/ApiDocuments.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <vector>

namespace flowloom::app {

namespace {

// The settings the report follows: the billing period and the data cap.
struct ReportSettings
{
    usage::BillingRule billing;
    usage::CapRule cap;
    bool physicalScope = false;
    int selected = 0;
};

ReportSettings readSettings(const std::filesystem::path& settingsFile)
{
    const SettingsValues values = SettingsFile::load(settingsFile, RuntimeDefaults{});
    ReportSettings settings;
    const sampling::DateTime& at = values.dateTime(Key::Time);
    settings.billing = {values.boolean(Key::Reset), static_cast<int>(values.integer(Key::Month)),
                        at.hour, at.minute, at.second};
    settings.cap.on = values.boolean(Key::DataCap);
    settings.cap.amount = values.integer(Key::CapSize);
    settings.cap.unitItem = values.integer(Key::CapUnit) == 0 ? 0 : 1;
    const std::int64_t counts = values.integer(Key::CapCounts);
    settings.cap.counts = counts == 1   ? usage::CapCounts::Upload
                          : counts == 2 ? usage::CapCounts::Both
                                        : usage::CapCounts::Download;
    settings.cap.sharePercent = static_cast<int>(values.integer(Key::CapShare));
    settings.physicalScope = values.integer(Key::CapScope) == 1;
    settings.selected = static_cast<int>(values.integer(Key::URL));
    return settings;
}

ReportResult failed(std::string message)
{
    return {kReportFailed, {}, "flowloom: " + message + "\n"};
}

std::string displayName(const usage::InterfaceIdentity& identity)
{
    if (identity == accounting::physicalSumIdentity())
        return "the physical interfaces";
    const std::string address = hardwareAddressOf(identity);
    return address.empty() ? identity.name : identity.name + " (" + address + ")";
}

// One decimal of a share in percent, without the locale: "2.4".
std::string percentText(std::uint64_t used, std::uint64_t cap)
{
    const auto tenths = static_cast<std::uint64_t>(
        (static_cast<long double>(used) * 1000.0L + static_cast<long double>(cap) / 2.0L) /
        static_cast<long double>(cap));
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

// Columns padded to their widest cell: the first to the left, the others to the right.
std::string alignedTable(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string pad(widths[c] - row[c].size(), ' ');
            line += c == 0 ? row[c] + pad : "  " + pad + row[c];
        }
        text += line + "\n";
    }
    return text;
}

std::string firstOfMonthsAgo(const sampling::DateTime& now, int monthsBack)
{
    int year = now.year;
    int month = now.month - monthsBack;
    while (month < 1) {
        month += 12;
        --year;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-01", year, month);
    return text;
}

} // namespace

std::string sizeText(std::uint64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    std::size_t unit = 0;
    std::uint64_t scale = 1024;
    while (unit + 1 < std::size(kUnits) && bytes / 1024 >= scale) {
        scale *= 1024;
        ++unit;
    }
    std::uint64_t whole = bytes / scale;
    // Hundredths of the rest, rounded half up; long double holds them exactly enough.
    auto rest = static_cast<unsigned>(
        static_cast<long double>(bytes % scale) * 100.0L / static_cast<long double>(scale) + 0.5L);
    if (rest == 100) {
        ++whole;
        rest = 0;
    }
    if (whole == 1024 && unit + 1 < std::size(kUnits)) { // rounded up into the next unit
        whole = 1;
        ++unit;
    }
    return std::to_string(whole) + "." + (rest < 10 ? "0" : "") + std::to_string(rest) + " " +
           kUnits[unit];
}

ReportResult usageReport(const ReportOptions& options, const ReportEnvironment& environment)
{
    const std::filesystem::path file = usage::historyPathFor(environment.settingsFile);
    std::string reason;
    const std::unique_ptr<usage::UsageStore> store = usage::UsageStore::openReadOnly(file, reason);
    if (!store)
        return failed("the usage history " + file.string() + " cannot be read: " + reason);
    const ReportSettings settings = readSettings(environment.settingsFile);

    // The interface: named, else the data cap's.
    usage::InterfaceIdentity identity;
    if (!options.interface.empty()) {
        const std::vector<usage::InterfaceIdentity> named =
            store->identitiesNamed(options.interface);
        if (!store->lastReadComplete())
            return failed("the usage history " + file.string() + " cannot be read now");
        if (named.empty())
            return failed("the usage history " + file.string() + " has no interface named " +
                          options.interface);
        identity = named.front();
    } else if (settings.physicalScope) {
        identity = accounting::physicalSumIdentity();
    } else {
        const sampling::TMIBIfArray table =
            environment.interfaces ? environment.interfaces() : sampling::TMIBIfArray{};
        if (settings.selected < 0 || static_cast<std::size_t>(settings.selected) >= table.size())
            return failed("the selected interface is not there now; name one with --interface");
        identity = usage::identityOf(table[static_cast<std::size_t>(settings.selected)]);
    }

    // The billing period, and the cap measured on it.
    const usage::BillingPeriod period = usage::billingPeriodAt(settings.billing, environment.now);
    const std::optional<usage::PeriodUsage> used =
        store->period(identity, usage::momentKey(period.start), {});
    if (!store->lastReadComplete())
        return failed("the usage history " + file.string() + " cannot be read now");
    usage::PeriodStatus status;
    status.period = period;
    status.in = used ? used->in : 0;
    status.out = used ? used->out : 0;
    status.elapsedSeconds = usage::secondsBetween(environment.zone, period.start, environment.now);
    status.lengthSeconds = usage::secondsBetween(environment.zone, period.start, period.end);
    web::PeriodFigures periodFigures{identity.name,
                                     environment.zone.toInstant(period.start),
                                     environment.zone.toInstant(period.end),
                                     status.in,
                                     status.out,
                                     status.projectedIn(),
                                     status.projectedOut()};
    const std::uint64_t capBytes = settings.cap.capBytes();
    const std::uint64_t counted = settings.cap.counted(status.in, status.out);
    std::optional<web::CapFigures> cap;
    if (settings.cap.on)
        cap = web::CapFigures{capBytes, capCountsWord(settings.cap.counts), counted,
                              settings.cap.counted(status.projectedIn(), status.projectedOut()),
                              settings.cap.sharePercent};

    // The rows.
    web::HistoryQuery query;
    query.interface = identity.name;
    std::string firstDay;
    std::string title;
    switch (options.span) {
    case ReportSpan::Days:
        firstDay = usage::dayKey(usage::addDays(environment.now, 1 - options.count));
        query.from = firstDay;
        query.to = usage::dayKey(environment.now);
        title =
            options.count == 1 ? "today" : "the last " + std::to_string(options.count) + " days";
        break;
    case ReportSpan::Months:
        query.granularity = web::Granularity::Month;
        firstDay = firstOfMonthsAgo(environment.now, options.count - 1);
        query.from = firstDay.substr(0, 7);
        query.to = usage::monthKey(usage::dayKey(environment.now));
        title = options.count == 1 ? "this month"
                                   : "the last " + std::to_string(options.count) + " months";
        break;
    case ReportSpan::Period:
        firstDay = usage::dayKey(period.start);
        query.from = firstDay;
        query.to = usage::dayKey(environment.now);
        title = "this billing period";
        break;
    }
    const std::vector<usage::DayUsage> days =
        store->days(identity, firstDay, usage::dayKey(environment.now), {});
    if (!store->lastReadComplete())
        return failed("the usage history " + file.string() + " cannot be read now");
    std::vector<web::HistoryRow> rows;
    for (const usage::DayUsage& day : days)
        rows.push_back({day.day, day.in, day.out});
    if (options.span == ReportSpan::Months)
        rows = web::monthsOf(rows);

    ReportResult result;
    if (options.alertPercent && capBytes > 0) {
        // used / cap >= percent / 100, exactly for every size.
        const long double share = static_cast<long double>(counted) * 100.0L;
        const long double limit =
            static_cast<long double>(capBytes) * static_cast<long double>(*options.alertPercent);
        result.status = share >= limit ? kReportAlert : kReportDone;
    }
    if (options.json) {
        result.out = options.span == ReportSpan::Period
                         ? web::periodJson(versionNumber(), periodFigures, cap)
                         : web::historyJson(versionNumber(), query, hardwareAddressOf(identity), rows);
        return result;
    }

    std::string& out = result.out;
    out = "Usage of " + displayName(identity) + ", " + title + "\n\n";
    std::vector<std::vector<std::string>> table = {
        {options.span == ReportSpan::Months ? "Month" : "Date", "Download", "Upload", "Total"}};
    std::uint64_t totalIn = 0, totalOut = 0;
    for (const web::HistoryRow& row : rows) {
        table.push_back({row.date, sizeText(row.receivedBytes), sizeText(row.sentBytes),
                         sizeText(usage::saturatingAdd(row.receivedBytes, row.sentBytes))});
        totalIn = usage::saturatingAdd(totalIn, row.receivedBytes);
        totalOut = usage::saturatingAdd(totalOut, row.sentBytes);
    }
    table.push_back({"Total", sizeText(totalIn), sizeText(totalOut),
                     sizeText(usage::saturatingAdd(totalIn, totalOut))});
    out += alignedTable(table);
    out += "\nBilling period " + usage::momentKey(period.start) + " to " +
           usage::momentKey(period.end) + "\n";
    out += "  used:      " + sizeText(status.in) + " down, " + sizeText(status.out) + " up\n";
    out += "  projected: " + sizeText(status.projectedIn()) + " down, " +
           sizeText(status.projectedOut()) + " up by its end\n";
    if ((settings.cap.on || options.alertPercent) && capBytes > 0)
        out += "  data cap:  " + sizeText(capBytes) + " of " + capCountsWord(settings.cap.counts) +
               ", " + percentText(counted, capBytes) + " % used\n";
    return result;
}

} // namespace flowloom::app

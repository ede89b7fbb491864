#pragma once

#include "web/documents/Figures.h"
#include "web/documents/JsonWriter.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace flowloom::web {

// The JSON API, version 1: /api/v1/summary.json, /api/v1/history.json and
// /api/v1/applications.json. The command-line report prints the first two.
inline constexpr std::string_view kSummaryPath = "/api/v1/summary.json";
inline constexpr std::string_view kHistoryPath = "/api/v1/history.json";
inline constexpr std::string_view kApplicationsPath = "/api/v1/applications.json";

enum class Granularity { Day, Month };

// One row of the history: a local day "yyyy-mm-dd" or month "yyyy-mm".
struct HistoryRow
{
    std::string date;
    std::uint64_t receivedBytes = 0;
    std::uint64_t sentBytes = 0;

    bool operator==(const HistoryRow&) const = default;
};

// The rows of whole months from rows of days (oldest first, as are the days).
std::vector<HistoryRow> monthsOf(const std::vector<HistoryRow>& days);

// What history.json was asked for. `from` and `to` are in the granularity's
// form and both included; none is open-ended.
struct HistoryQuery
{
    std::string interface;
    Granularity granularity = Granularity::Day;
    std::optional<std::string> from;
    std::optional<std::string> to;

    // The day keys that cover the range ("yyyy-mm-dd", both included).
    std::string firstDay() const;
    std::string lastDay() const;
};

// Reads "interface=NAME&granularity=day|month&from=&to=" (percent-encoded).
// A bad query is a one-line reason: a missing interface, an unknown or
// repeated parameter, a granularity or date that is not one, from after to.
std::variant<HistoryQuery, std::string> parseHistoryQuery(std::string_view query);

// What the history holds of one interface.
struct HistoryAnswer
{
    enum class Outcome {
        Found,
        UnknownInterface, // no interface of that name, now or in the history
        Unavailable,      // the history file cannot be read now
    };
    Outcome outcome = Outcome::Found;
    std::string address;          // the interface's hardware address, if any
    std::vector<HistoryRow> days; // oldest first
};

// The history of the interface of that name from one day key to another.
using HistorySource = std::function<HistoryAnswer(
    const std::string& interface, const std::string& firstDay, const std::string& lastDay)>;

// The documents. Every moment is an ISO 8601 instant in UTC; rates are bytes
// per second; sizes are bytes.
std::string summaryJson(const Figures& figures);
std::string historyJson(const std::string& version, const HistoryQuery& query,
                        const std::string& address, const std::vector<HistoryRow>& rows);
// Today's and the period's bytes per application, the internet-facing
// interfaces and loopback apart: {"version", "time", "state", "today",
// "period_first_day", "internet", "loopback"}; each scope names its
// "interface" and lists its "applications", the Other row last with an
// "identified_by" of null.
std::string applicationsJson(const std::string& version, std::int64_t time,
                             const ApplicationsFigures& applications);
// The billing period and the cap as summaryJson has them, in a document of
// their own: {"version", "period", "cap"}.
std::string periodJson(const std::string& version, const std::optional<PeriodFigures>& period,
                       const std::optional<CapFigures>& cap);

// The members "period" and "cap" (null when there is none).
void writePeriod(JsonWriter& json, const std::optional<PeriodFigures>& period);
void writeCap(JsonWriter& json, const std::optional<CapFigures>& cap);

} // namespace flowloom::web

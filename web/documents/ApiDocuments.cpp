#include "web/documents/ApiDocuments.h"

#include "web/documents/TextForms.h"
#include "web/http/TargetDecoder.h"

#include <algorithm>

namespace flowloom::web {

namespace {

bool digits(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int numberOf(std::string_view text)
{
    int value = 0;
    for (const char c : text)
        value = value * 10 + (c - '0');
    return value;
}

// "yyyy-mm" with a month 01..12.
bool isMonth(std::string_view text)
{
    return text.size() == 7 && text[4] == '-' && digits(text.substr(0, 4)) &&
           digits(text.substr(5, 2)) && numberOf(text.substr(5, 2)) >= 1 &&
           numberOf(text.substr(5, 2)) <= 12;
}

// "yyyy-mm-dd", a day of the calendar.
bool isDay(std::string_view text)
{
    if (text.size() != 10 || text[7] != '-' || !isMonth(text.substr(0, 7)) ||
        !digits(text.substr(8, 2)))
        return false;
    const int year = numberOf(text.substr(0, 4));
    const int month = numberOf(text.substr(5, 2));
    const int day = numberOf(text.substr(8, 2));
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    constexpr int kLength[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int length = month == 2 && leap ? 29 : kLength[month - 1];
    return day >= 1 && day <= length;
}

// A name from the request as a reason shows it: valid UTF-8 on one line.
std::string shownName(std::string_view name)
{
    std::string shown = validUtf8(name.substr(0, 64));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return shown;
}

void writeDirection(JsonWriter& json, const DirectionFigures& d)
{
    json.beginObject();
    json.key("current_bytes_per_second").value(d.currentRate);
    json.key("peak_bytes_per_second").value(d.peakRate);
    json.key("average_bytes_per_second").value(d.averageRate);
    json.key("session_bytes").value(d.sessionBytes);
    json.key("cumulative_bytes").value(d.cumulativeBytes);
    json.key("cumulative_since").value(isoInstant(d.cumulativeSince));
    json.endObject();
}

void writeScope(JsonWriter& json, const ApplicationScopeFigures& scope)
{
    json.beginObject();
    json.key("interface").value(scope.interface);
    json.key("applications").beginArray();
    for (const ApplicationFigures& a : scope.applications) {
        json.beginObject();
        json.key("name").value(a.name);
        json.key("identified_by");
        a.other() ? json.null() : json.value(a.identifiedBy);
        json.key("today_received_bytes").value(a.todayReceivedBytes);
        json.key("today_sent_bytes").value(a.todaySentBytes);
        json.key("period_received_bytes").value(a.periodReceivedBytes);
        json.key("period_sent_bytes").value(a.periodSentBytes);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

} // namespace

std::vector<HistoryRow> monthsOf(const std::vector<HistoryRow>& days)
{
    std::vector<HistoryRow> months;
    for (const HistoryRow& day : days) {
        const std::string month = day.date.substr(0, 7);
        if (months.empty() || months.back().date != month)
            months.push_back({month, 0, 0});
        HistoryRow& row = months.back();
        row.receivedBytes = row.receivedBytes > UINT64_MAX - day.receivedBytes
                                ? UINT64_MAX
                                : row.receivedBytes + day.receivedBytes;
        row.sentBytes =
            row.sentBytes > UINT64_MAX - day.sentBytes ? UINT64_MAX : row.sentBytes + day.sentBytes;
    }
    return months;
}

std::string HistoryQuery::firstDay() const
{
    if (!from)
        return "0000-01-01";
    return granularity == Granularity::Month ? *from + "-01" : *from;
}

std::string HistoryQuery::lastDay() const
{
    if (!to)
        return "9999-12-31";
    // Day keys compare as texts: "-31" closes every month.
    return granularity == Granularity::Month ? *to + "-31" : *to;
}

std::variant<HistoryQuery, std::string> parseHistoryQuery(std::string_view query)
{
    HistoryQuery result;
    std::optional<std::string> interface, granularity, from, to;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty())
            continue;
        const std::size_t equals = pair.find('=');
        const std::string name = percentDecode(pair.substr(0, equals));
        const std::string value = equals == std::string_view::npos
                                      ? std::string()
                                      : percentDecode(pair.substr(equals + 1));
        std::optional<std::string>* slot = name == "interface"     ? &interface
                                           : name == "granularity" ? &granularity
                                           : name == "from"        ? &from
                                           : name == "to"          ? &to
                                                                   : nullptr;
        if (slot == nullptr)
            return "unknown parameter '" + shownName(name) + "'";
        if (*slot)
            return "parameter '" + name + "' given twice";
        *slot = value;
    }
    if (!interface || interface->empty())
        return std::string("parameter 'interface' is missing");
    result.interface = *interface;
    if (granularity && *granularity == "month")
        result.granularity = Granularity::Month;
    else if (granularity && *granularity != "day")
        return std::string("granularity must be 'day' or 'month'");
    const bool months = result.granularity == Granularity::Month;
    for (auto [value, name] : {std::pair{&from, "from"}, std::pair{&to, "to"}}) {
        if (!*value || (*value)->empty())
            continue;
        if (months ? !isMonth(**value) : !isDay(**value))
            return std::string("parameter '") + name + "' must be a " +
                   (months ? "month yyyy-mm" : "date yyyy-mm-dd");
    }
    if (from && !from->empty())
        result.from = *from;
    if (to && !to->empty())
        result.to = *to;
    if (result.from && result.to && *result.from > *result.to)
        return std::string("'from' is after 'to'");
    return result;
}

void writePeriod(JsonWriter& json, const std::optional<PeriodFigures>& period)
{
    json.key("period");
    if (!period) {
        json.null();
        return;
    }
    json.beginObject();
    json.key("interface").value(period->interface);
    json.key("start").value(isoInstant(period->start));
    json.key("end").value(isoInstant(period->end));
    json.key("received_bytes").value(period->receivedBytes);
    json.key("sent_bytes").value(period->sentBytes);
    json.key("projected_received_bytes").value(period->projectedReceivedBytes);
    json.key("projected_sent_bytes").value(period->projectedSentBytes);
    json.endObject();
}

void writeCap(JsonWriter& json, const std::optional<CapFigures>& cap)
{
    json.key("cap");
    if (!cap) {
        json.null();
        return;
    }
    json.beginObject();
    json.key("bytes").value(cap->capBytes);
    json.key("counts").value(cap->counts);
    json.key("used_bytes").value(cap->usedBytes);
    json.key("used_ratio").value(cap->usedRatio());
    json.key("projected_bytes").value(cap->projectedBytes);
    json.key("warning_percent").value(cap->warningPercent);
    json.endObject();
}

std::string summaryJson(const Figures& figures)
{
    JsonWriter json;
    json.beginObject();
    json.key("version").value(figures.version);
    json.key("time").value(isoInstant(figures.time));
    json.key("interface");
    if (figures.selected && *figures.selected < figures.interfaces.size()) {
        const InterfaceFigures& selected = figures.interfaces[*figures.selected];
        json.beginObject();
        json.key("name").value(selected.name);
        json.key("address").value(selected.address);
        json.key("present").value(selected.present);
        json.endObject();
        json.key("received");
        writeDirection(json, figures.received);
        json.key("sent");
        writeDirection(json, figures.sent);
    } else {
        json.null();
        json.key("received").null();
        json.key("sent").null();
    }
    writePeriod(json, figures.period);
    writeCap(json, figures.cap);
    json.endObject();
    return json.take() + "\n";
}

std::string historyJson(const std::string& version, const HistoryQuery& query,
                        const std::string& address, const std::vector<HistoryRow>& rows)
{
    JsonWriter json;
    json.beginObject();
    json.key("version").value(version);
    json.key("interface").value(query.interface);
    json.key("address").value(address);
    json.key("granularity").value(query.granularity == Granularity::Month ? "month" : "day");
    json.key("from");
    query.from ? json.value(*query.from) : json.null();
    json.key("to");
    query.to ? json.value(*query.to) : json.null();
    json.key("rows").beginArray();
    for (const HistoryRow& row : rows) {
        json.beginObject();
        json.key("date").value(row.date);
        json.key("received_bytes").value(row.receivedBytes);
        json.key("sent_bytes").value(row.sentBytes);
        json.endObject();
    }
    json.endArray();
    json.endObject();
    return json.take() + "\n";
}

std::string applicationsJson(const std::string& version, std::int64_t time,
                             const ApplicationsFigures& applications)
{
    JsonWriter json;
    json.beginObject();
    json.key("version").value(version);
    json.key("time").value(isoInstant(time));
    json.key("state").value(applications.state);
    json.key("today").value(applications.today);
    json.key("period_first_day").value(applications.periodFirstDay);
    json.key("internet");
    writeScope(json, applications.internet);
    json.key("loopback");
    writeScope(json, applications.loopback);
    json.endObject();
    return json.take() + "\n";
}

std::string periodJson(const std::string& version, const std::optional<PeriodFigures>& period,
                       const std::optional<CapFigures>& cap)
{
    JsonWriter json;
    json.beginObject();
    json.key("version").value(version);
    writePeriod(json, period);
    writeCap(json, cap);
    json.endObject();
    return json.take() + "\n";
}

} // namespace flowloom::web

#include "web/documents/MetricsDocument.h"

#include "web/documents/TextForms.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

namespace flowloom::web {

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// A quality value "0".."1" with up to three decimals; 1 when it cannot be read.
double quality(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 1)
        return 1;
    return value;
}

// A counter never wraps: past the top of its range it stays there.
std::uint64_t addCapped(std::uint64_t a, std::uint64_t b)
{
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

using Labels = std::vector<std::pair<std::string, std::string>>;

std::string escapedLabelValue(std::string_view value)
{
    std::string out;
    for (const char c : validUtf8(value)) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string labelText(const Labels& labels)
{
    if (labels.empty())
        return {};
    std::string text = "{";
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i > 0)
            text += ',';
        text += labels[i].first + "=\"" + escapedLabelValue(labels[i].second) + "\"";
    }
    return text + "}";
}

std::string number(std::uint64_t value)
{
    return std::to_string(value);
}

std::string number(std::int64_t value)
{
    return std::to_string(value);
}

std::string number(double value)
{
    // Locale-free, and the shortest text that reads back as the same number.
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// One family's lines: HELP and TYPE first, then its samples.
class Exposition
{
public:
    explicit Exposition(MetricsFormat format) : m_format(format) {}

    enum class Type { Counter, Gauge, Info };

    // `name` is the family's name without the "_total" of a counter's samples.
    void family(std::string_view name, Type type, std::string_view help)
    {
        m_sample = std::string(name);
        std::string family(name);
        const char* typeWord = type == Type::Counter ? "counter" : "gauge";
        if (type == Type::Counter)
            m_sample += "_total";
        if (m_format == MetricsFormat::Text) {
            family = m_sample; // the text format names the family as its samples
        } else if (type == Type::Info) {
            family = family.substr(0, family.size() - std::string_view("_info").size());
            typeWord = "info";
        }
        m_text += "# HELP " + family + " " + std::string(help) + "\n";
        m_text += "# TYPE " + family + " " + typeWord + "\n";
    }
    void sample(const Labels& labels, const std::string& value)
    {
        m_text += m_sample + labelText(labels) + " " + value + "\n";
    }
    std::string finish()
    {
        if (m_format == MetricsFormat::OpenMetrics)
            m_text += "# EOF\n";
        return std::move(m_text);
    }

private:
    MetricsFormat m_format;
    std::string m_sample;
    std::string m_text;
};

Labels interfaceLabels(const InterfaceFigures& figures)
{
    Labels labels{{"device", figures.name}};
    if (!figures.address.empty())
        labels.emplace_back("address", figures.address);
    return labels;
}

// One scope's applications as series: the period's top ones, each by its name, then
// one "other" series with the rest and the unattributed bytes.
struct ApplicationSeries
{
    Labels labels;
    std::uint64_t received = 0;
    std::uint64_t sent = 0;
};

std::vector<ApplicationSeries> applicationSeries(const ApplicationScopeFigures& scope)
{
    std::vector<const ApplicationFigures*> ranked;
    ApplicationSeries rest{{{"device", scope.interface},
                            {"application", kOtherApplicationSeries},
                            {"identified_by", kOtherApplicationSeries}}};
    for (const ApplicationFigures& a : scope.applications) {
        if (!a.other()) {
            ranked.push_back(&a);
            continue;
        }
        rest.received = addCapped(rest.received, a.periodReceivedBytes);
        rest.sent = addCapped(rest.sent, a.periodSentBytes);
    }
    // The period's most first; equal ones by name, so that a scrape is stable.
    std::sort(
        ranked.begin(), ranked.end(), [](const ApplicationFigures* a, const ApplicationFigures* b) {
            const std::uint64_t periodA = addCapped(a->periodReceivedBytes, a->periodSentBytes);
            const std::uint64_t periodB = addCapped(b->periodReceivedBytes, b->periodSentBytes);
            return std::tie(periodB, a->name, a->identifiedBy) <
                   std::tie(periodA, b->name, b->identifiedBy);
        });
    std::vector<ApplicationSeries> series;
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        const ApplicationFigures& a = *ranked[i];
        if (i >= kTopApplications) {
            rest.received = addCapped(rest.received, a.periodReceivedBytes);
            rest.sent = addCapped(rest.sent, a.periodSentBytes);
            continue;
        }
        Labels labels{{"device", validUtf8(scope.interface)},
                      {"application", validUtf8(a.name)},
                      {"identified_by", a.identifiedBy}};
        // Names that are not UTF-8 can become one: one series, their bytes added.
        auto same = std::find_if(series.begin(), series.end(),
                                 [&](const ApplicationSeries& s) { return s.labels == labels; });
        if (same == series.end())
            same = series.insert(series.end(), ApplicationSeries{std::move(labels)});
        same->received = addCapped(same->received, a.periodReceivedBytes);
        same->sent = addCapped(same->sent, a.periodSentBytes);
    }
    series.push_back(std::move(rest));
    return series;
}

} // namespace

MetricsFormat metricsFormatFor(std::string_view accept)
{
    double openMetrics = -1, text = -1;
    while (!accept.empty()) {
        const std::size_t comma = accept.find(',');
        std::string_view range = accept.substr(0, comma);
        accept = comma == std::string_view::npos ? std::string_view() : accept.substr(comma + 1);
        const std::size_t semicolon = range.find(';');
        const std::string_view type = trimmed(range.substr(0, semicolon));
        double q = 1;
        bool version1 = true;
        std::string_view parameters =
            semicolon == std::string_view::npos ? std::string_view() : range.substr(semicolon + 1);
        while (!parameters.empty()) {
            const std::size_t next = parameters.find(';');
            const std::string_view parameter = trimmed(parameters.substr(0, next));
            parameters =
                next == std::string_view::npos ? std::string_view() : parameters.substr(next + 1);
            const std::size_t equals = parameter.find('=');
            if (equals == std::string_view::npos)
                continue;
            const std::string_view key = trimmed(parameter.substr(0, equals));
            const std::string_view value = trimmed(parameter.substr(equals + 1));
            if (sameIgnoringCase(key, "q"))
                q = quality(value);
            else if (sameIgnoringCase(key, "version"))
                version1 = value == "1.0.0";
        }
        if (sameIgnoringCase(type, "application/openmetrics-text") && version1)
            openMetrics = std::max(openMetrics, q);
        else if (sameIgnoringCase(type, "text/plain") || type == "*/*")
            text = std::max(text, q);
    }
    return openMetrics > 0 && openMetrics >= text ? MetricsFormat::OpenMetrics
                                                  : MetricsFormat::Text;
}

std::string_view metricsContentType(MetricsFormat format)
{
    return format == MetricsFormat::OpenMetrics
               ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
               : "text/plain; version=0.0.4; charset=utf-8";
}

std::string metricsDocument(const Figures& figures, MetricsFormat format)
{
    using Type = Exposition::Type;
    Exposition out(format);

    out.family("flowloom_build_info", Type::Info, "The running Flowloom's version.");
    out.sample({{"version", figures.version}}, "1");

    // One series per label set, in the order of the positions.
    struct Series
    {
        Labels labels;
        std::uint64_t received = 0;
        std::uint64_t sent = 0;
        bool present = false;
    };
    std::vector<Series> series;
    std::map<Labels, std::size_t> byLabels;
    for (const InterfaceFigures& i : figures.interfaces) {
        Labels labels = interfaceLabels(i);
        // Escaping and UTF-8 repair can make two names one.
        for (auto& [name, value] : labels)
            value = validUtf8(value);
        auto [at, added] = byLabels.emplace(labels, series.size());
        if (added)
            series.push_back({std::move(labels)});
        Series& s = series[at->second];
        s.received = addCapped(s.received, i.receivedBytes);
        s.sent = addCapped(s.sent, i.sentBytes);
        s.present = s.present || i.present;
    }
    out.family("flowloom_interface_receive_bytes", Type::Counter,
               "Bytes received by the interface since Flowloom started.");
    for (const Series& s : series)
        out.sample(s.labels, number(s.received));
    out.family("flowloom_interface_transmit_bytes", Type::Counter,
               "Bytes sent by the interface since Flowloom started.");
    for (const Series& s : series)
        out.sample(s.labels, number(s.sent));
    out.family("flowloom_interface_present", Type::Gauge,
               "1 while the interface exists, 0 once it is gone.");
    for (const Series& s : series)
        out.sample(s.labels, s.present ? "1" : "0");

    if (figures.selected && *figures.selected < figures.interfaces.size()) {
        const Labels selected = {{"device", figures.interfaces[*figures.selected].name}};
        out.family("flowloom_cumulative_receive_bytes", Type::Gauge,
                   "The selected interface's cumulative download total.");
        out.sample(selected, number(figures.received.cumulativeBytes));
        out.family("flowloom_cumulative_transmit_bytes", Type::Gauge,
                   "The selected interface's cumulative upload total.");
        out.sample(selected, number(figures.sent.cumulativeBytes));
        out.family("flowloom_cumulative_receive_reset_timestamp_seconds", Type::Gauge,
                   "When the cumulative download total was last reset.");
        out.sample(selected, number(figures.received.cumulativeSince));
        out.family("flowloom_cumulative_transmit_reset_timestamp_seconds", Type::Gauge,
                   "When the cumulative upload total was last reset.");
        out.sample(selected, number(figures.sent.cumulativeSince));
    }

    if (figures.period) {
        const PeriodFigures& p = *figures.period;
        const Labels measured = {{"device", p.interface}};
        out.family("flowloom_billing_period_receive_bytes", Type::Gauge,
                   "Bytes received in the current billing period.");
        out.sample(measured, number(p.receivedBytes));
        out.family("flowloom_billing_period_transmit_bytes", Type::Gauge,
                   "Bytes sent in the current billing period.");
        out.sample(measured, number(p.sentBytes));
        out.family("flowloom_billing_period_projected_receive_bytes", Type::Gauge,
                   "Bytes received by the period's end at the rate so far.");
        out.sample(measured, number(p.projectedReceivedBytes));
        out.family("flowloom_billing_period_projected_transmit_bytes", Type::Gauge,
                   "Bytes sent by the period's end at the rate so far.");
        out.sample(measured, number(p.projectedSentBytes));
        out.family("flowloom_billing_period_start_timestamp_seconds", Type::Gauge,
                   "When the current billing period began.");
        out.sample(measured, number(p.start));
        out.family("flowloom_billing_period_end_timestamp_seconds", Type::Gauge,
                   "When the current billing period ends.");
        out.sample(measured, number(p.end));
        if (figures.cap) {
            const CapFigures& c = *figures.cap;
            const Labels capped = {{"device", p.interface}, {"counts", c.counts}};
            out.family("flowloom_data_cap_bytes", Type::Gauge,
                       "The data cap of the billing period.");
            out.sample(capped, number(c.capBytes));
            out.family("flowloom_data_cap_used_bytes", Type::Gauge,
                       "What the data cap counts of the billing period so far.");
            out.sample(capped, number(c.usedBytes));
            out.family("flowloom_data_cap_used_ratio", Type::Gauge,
                       "The share of the data cap used so far; 1 at the cap.");
            out.sample(capped, number(c.usedRatio()));
        }
    }
    if (figures.applications) {
        std::vector<ApplicationSeries> applications =
            applicationSeries(figures.applications->internet);
        std::vector<ApplicationSeries> loopback = applicationSeries(figures.applications->loopback);
        applications.insert(applications.end(), loopback.begin(), loopback.end());
        out.family("flowloom_application_receive_bytes", Type::Counter,
                   "Bytes received per application in the current billing period, from 0 at "
                   "its start: its top 10 applications, then the rest with the unattributed "
                   "bytes as application other.");
        for (const ApplicationSeries& a : applications)
            out.sample(a.labels, number(a.received));
        out.family("flowloom_application_transmit_bytes", Type::Counter,
                   "Bytes sent per application in the current billing period, from 0 at its "
                   "start: its top 10 applications, then the rest with the unattributed bytes "
                   "as application other.");
        for (const ApplicationSeries& a : applications)
            out.sample(a.labels, number(a.sent));
    }
    return out.finish();
}

} // namespace flowloom::web

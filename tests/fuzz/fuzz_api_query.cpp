// Feeds arbitrary bytes to what the documents for other programs read from a
// request: the query of history.json and the scraper's "Accept" header; then
// writes the documents with the bytes as an interface's name. Checks that a
// refusal is one line, that what is accepted is in range, and that every
// document is valid UTF-8 with no raw line break inside a label or string.
#include "web/documents/ApiDocuments.h"
#include "web/documents/MetricsDocument.h"
#include "web/documents/TextForms.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace flowloom::web;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const auto query = parseHistoryQuery(bytes);
    if (const auto* reason = std::get_if<std::string>(&query)) {
        check(!reason->empty() && reason->find('\n') == std::string::npos);
        check(validUtf8(*reason) == *reason);
    } else {
        const HistoryQuery& q = std::get<HistoryQuery>(query);
        check(!q.interface.empty());
        check(q.firstDay().size() == 10 && q.lastDay().size() == 10);
        check(q.firstDay() <= q.lastDay());
    }

    const MetricsFormat format = metricsFormatFor(bytes);
    check(format == MetricsFormat::Text || format == MetricsFormat::OpenMetrics);

    Figures figures;
    figures.version = std::string(bytes);
    figures.interfaces = {{std::string(bytes), std::string(bytes), true, size, size}};
    figures.selected = 0;
    figures.period = PeriodFigures{std::string(bytes), 0, 1, 2, 3, 4, 5};
    for (const MetricsFormat form : {MetricsFormat::Text, MetricsFormat::OpenMetrics}) {
        const std::string metrics = metricsDocument(figures, form);
        check(validUtf8(metrics) == metrics);
        // Every line is a comment or a sample of ours: no label broke a line.
        std::size_t start = 0;
        while (start < metrics.size()) {
            const std::size_t end = metrics.find('\n', start);
            check(end != std::string::npos);
            const std::string_view line(metrics.data() + start, end - start);
            check(line.starts_with("# ") || line.starts_with("flowloom_"));
            start = end + 1;
        }
    }
    const std::string summary = summaryJson(figures);
    check(validUtf8(summary) == summary);
    check(summary.find('\n') == summary.size() - 1);
    return 0;
}

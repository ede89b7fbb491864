#pragma once

#include "web/documents/Figures.h"

#include <string>
#include <string_view>

namespace flowloom::web {

// The two forms of the Prometheus exposition.
enum class MetricsFormat {
    Text,        // text format 0.0.4
    OpenMetrics, // OpenMetrics 1.0
};

// The form a scraper's "Accept" header asks for: OpenMetrics when it names
// application/openmetrics-text (version 1.0.0 or none) at least as
// willingly as text/plain; the text format otherwise, and without a header.
MetricsFormat metricsFormatFor(std::string_view accept);
std::string_view metricsContentType(MetricsFormat format);

// Per scope, the applications with the most bytes in the billing period
// that get a series of their own; the rest, with the unattributed bytes, are
// the one series named so.
inline constexpr std::size_t kTopApplications = 10;
inline constexpr const char* kOtherApplicationSeries = "other";

// The /metrics document of one tick's figures. Every family has our prefix,
// one HELP and one TYPE line, and appears once; label values are escaped
// and valid UTF-8. Interfaces that would carry the same labels (two gone
// interfaces of one name) are one series, their bytes added.
std::string metricsDocument(const Figures& figures, MetricsFormat format);

} // namespace flowloom::web

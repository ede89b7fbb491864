// The /metrics document of a machine with 64 interfaces: the time to write
// one scrape and its size ("bytes"), in both exposition forms.
#include "web/documents/MetricsDocument.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

flowloom::web::Figures sixtyFourInterfaces()
{
    flowloom::web::Figures figures;
    figures.version = "1.0";
    for (int i = 0; i < 64; ++i)
        figures.interfaces.push_back({"veth" + std::to_string(i) + "a1b2c3",
                                      "02-42-AC-11-00-" + std::to_string(10 + i), true,
                                      123'456'789'012ull * (i + 1), 9'876'543'210ull * (i + 1)});
    figures.selected = 0;
    figures.received.cumulativeBytes = 5'368'709'120;
    figures.sent.cumulativeBytes = 536'870'912;
    figures.period =
        flowloom::web::PeriodFigures{"veth0a1b2c3", 1796083200,     1798761600,   5'368'709'120,
                                     536'870'912,   20'803'747'840, 2'080'374'784};
    figures.cap =
        flowloom::web::CapFigures{53'687'091'200, "download", 5'368'709'120, 20'803'747'840, 80};
    return figures;
}

void BM_MetricsScrape64(benchmark::State& state)
{
    const auto format = state.range(0) == 0 ? flowloom::web::MetricsFormat::Text
                                            : flowloom::web::MetricsFormat::OpenMetrics;
    const flowloom::web::Figures figures = sixtyFourInterfaces();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string document = flowloom::web::metricsDocument(figures, format);
        bytes = document.size();
        benchmark::DoNotOptimize(document.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
// 0: text format 0.0.4; 1: OpenMetrics.
BENCHMARK(BM_MetricsScrape64)->Arg(0)->Arg(1);

} // namespace

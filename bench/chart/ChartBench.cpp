// Memory and drawing cost of the graph as the history grows.
//
//  BM_StorageBytesPerTick  1,000,000 shown ticks into the four series; bytes
//                          per tick by the engine's own accounting, by the
//                          allocator (mallinfo2) and by resident memory.
//  BM_DrawGraph/<history>  the whole graph, 791 x 385, 400 visible points, with
//                          1,000 and 1,000,000 points held.
//  BM_FloorTwoPolygons     the floor: QPainter filling the same two 400-point
//                          polygons, antialiased, on the same image.
#include "chart/Chart.h"
#include "chart/ChartLayout.h"
#include "graph/PlotFeed.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

using namespace flowloom;

namespace {

constexpr int imageWidth = 791;
constexpr int imageHeight = 385;
constexpr int visiblePoints = 400;

sampling::TStatRec trafficAt(std::int64_t tick)
{
    // Deterministic, busy traffic: every point differs from its neighbours.
    sampling::TStatRec rec;
    const double t = static_cast<double>(tick);
    rec.CurIn = static_cast<std::uint32_t>(330000.0 + 250000.0 * std::sin(t / 13.0) +
                                           80000.0 * std::sin(t * 1.7));
    rec.CurOut = rec.CurIn / 6 + static_cast<std::uint32_t>(tick % 997) * 11;
    return rec;
}

sampling::DateTime timeAt(std::int64_t tick)
{
    const std::int64_t s = (12 * 3600 + tick) % 86400;
    return sampling::DateTime{2024,
                              5,
                              6,
                              static_cast<int>(s / 3600),
                              static_cast<int>((s / 60) % 60),
                              static_cast<int>(s % 60)};
}

// A chart fed like the program feeds it, with its window on the newest points.
struct FedChart
{
    chart::Chart chart;
    graph::PlotFeed feed{chart};
    graph::PlotFeedSettings settings;

    explicit FedChart(std::int64_t ticks)
    {
        settings.pointsPerPage = visiblePoints;
        feed.startUp(settings);
        feed.activateSeriesForStart(settings);
        chart.setTitle(QStringLiteral("Bandwidth graph of 127.0.0.1"));
        chart.leftAxis().setTitle(QStringLiteral("KBytes / sec"));
        for (std::int64_t i = 0; i < ticks; ++i)
            feed.addShownTick(trafficAt(i), settings, "0", "0", timeAt(i));
        const double newest = static_cast<double>(ticks - 1);
        chart.bottomAxis().setRange(newest - visiblePoints, newest);
        chart.leftAxis().setRange(-1.6, 800.0);
    }
};

long residentBytes()
{
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

void BM_StorageBytesPerTick(benchmark::State& state)
{
    constexpr std::int64_t ticks = 1'000'000;
    for (auto _ : state) {
        malloc_trim(0);
        const std::size_t heapBefore = mallinfo2().uordblks;
        const long rssBefore = residentBytes();
        auto fed = std::make_unique<FedChart>(ticks);
        const std::size_t heapAfter = mallinfo2().uordblks;
        const long rssAfter = residentBytes();
        state.counters["engine_B_per_tick"] =
            static_cast<double>(fed->chart.storageBytes()) / static_cast<double>(ticks);
        state.counters["malloc_B_per_tick"] =
            static_cast<double>(heapAfter - heapBefore) / static_cast<double>(ticks);
        state.counters["rss_B_per_tick"] =
            static_cast<double>(rssAfter - rssBefore) / static_cast<double>(ticks);
        benchmark::DoNotOptimize(fed->chart.series(0).size());
    }
}
BENCHMARK(BM_StorageBytesPerTick)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_DrawGraph(benchmark::State& state)
{
    FedChart fed(state.range(0));
    QImage image(imageWidth, imageHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(fed.chart.backgroundColour());
        QPainter painter(&image);
        fed.chart.draw(painter, image.rect());
    }
    state.counters["ms_per_draw"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DrawGraph)->Arg(1000)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_DrawGraph3D(benchmark::State& state)
{
    FedChart fed(state.range(0));
    fed.chart.setThreeD(true);
    for (std::size_t i = 0; i < fed.chart.seriesCount(); ++i)
        fed.chart.series(i).setDividingLines(true);
    QImage image(imageWidth, imageHeight, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(fed.chart.backgroundColour());
        QPainter painter(&image);
        fed.chart.draw(painter, image.rect());
    }
}
BENCHMARK(BM_DrawGraph3D)->Arg(1000)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_FloorTwoPolygons(benchmark::State& state)
{
    // The same two filled areas the graph draws, mapped the same way.
    FedChart fed(1000);
    QImage image(imageWidth, imageHeight, QImage::Format_RGB32);
    const chart::ChartLayout layout = fed.chart.layout(image.rect(), &image);
    const double base = layout.leftScale().toPixel(0.0);
    QPolygonF download;
    QPolygonF upload;
    const std::size_t first = 1000 - visiblePoints - 1;
    for (std::size_t i = first; i < 1000; ++i) {
        const double x = layout.bottomScale().toPixel(static_cast<double>(i));
        download << QPointF(x, layout.leftScale().toPixel(fed.chart.series(0).y(i)));
        upload << QPointF(x, layout.leftScale().toPixel(fed.chart.series(1).y(i)));
    }
    for (QPolygonF* p : {&download, &upload}) {
        *p << QPointF(p->back().x(), base) << QPointF(p->front().x(), base);
    }
    for (auto _ : state) {
        image.fill(Qt::black);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setClipRect(layout.front());
        painter.setBrush(QColor(Qt::green));
        painter.drawPolygon(download);
        painter.setBrush(QColor(Qt::yellow));
        painter.drawPolygon(upload);
    }
    state.counters["ms_per_draw"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-3,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FloorTwoPolygons)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

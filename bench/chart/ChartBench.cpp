// Memory and drawing cost of the graph as the history grows.
//
//  BM_StorageBytesPerTick  1,000,000 shown ticks into the four series; bytes
//                          per tick by the engine's own accounting, by the
//                          allocator (mallinfo2) and by resident memory.
//  BM_DrawGraph/<history>  the whole graph, 791 x 385, 400 visible points, with
//                          1,000 and 1,000,000 points held.
//  BM_DrawOneTickScrolled  one shown tick on the kept drawing: scrolled, the new
//                          strip and the labels painted.
//  BM_FloorTwoPolygons     the floor: QPainter filling the same two 400-point
//                          polygons, antialiased, on the same image.
#include "chart/Chart.h"
#include "chart/ChartLayout.h"
#include "chart/ScrollingCanvas.h"
#include "graph/PlotFeed.h"

#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace flowloom;

namespace {

// On a shared machine the fastest repetition is the best estimate of the cost
// itself; other processes only ever add time.
double fastest(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

constexpr int imageWidth = 791;
constexpr int imageHeight = 385;
constexpr int visiblePoints = 400;

// Deterministic noise in [0, 1) for a tick.
double noise(std::int64_t tick, std::uint64_t salt)
{
    std::uint64_t h = static_cast<std::uint64_t>(tick) * 0x9E3779B97F4A7C15ull + salt;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    return static_cast<double>(h >> 11) / 9007199254740992.0;
}

// Traffic like a desktop's: quiet stretches and minute-long bursts of
// download, upload a fraction of it, every point different from its neighbours.
sampling::TStatRec trafficAt(std::int64_t tick)
{
    sampling::TStatRec rec;
    const double wave = 0.5 + 0.5 * std::sin(static_cast<double>(tick) / 37.0);
    const bool burst = (tick / 60) % 3 == 1;
    const double down =
        (burst ? 420000.0 : 60000.0) * (0.4 + 0.6 * wave) * (0.7 + 0.6 * noise(tick, 1));
    const double up = down * (0.12 + 0.1 * noise(tick, 2)) + 4000.0 * noise(tick, 3);
    rec.CurIn = static_cast<std::uint32_t>(down);
    rec.CurOut = static_cast<std::uint32_t>(up);
    return rec;
}

sampling::DateTime timeAt(std::int64_t tick)
{
    const std::int64_t s = ((12 * 3600 + tick) % 86400 + 86400) % 86400;
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
        // The newest 1,000 ticks are the same whatever the length of the
        // history, so that every size draws the same picture.
        for (std::int64_t i = 0; i < ticks; ++i) {
            const std::int64_t t = i - ticks + 1000;
            feed.addShownTick(trafficAt(t), settings, "0", "0", timeAt(t));
        }
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
}
BENCHMARK(BM_DrawGraph)
    ->Arg(1000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->ComputeStatistics("min", fastest);

// One shown tick as the screen draws it: a point appended, the window moved
// on by one, the kept drawing scrolled and only the new strip, the grid rows
// and the labels painted (beside BM_DrawGraph, the whole graph).
void BM_DrawOneTickScrolled(benchmark::State& state)
{
    FedChart fed(state.range(0));
    chart::ScrollingCanvas canvas;
    const QSize size(imageWidth, imageHeight);
    canvas.render(fed.chart, size);
    std::int64_t tick = 1000;
    std::int64_t scrolled = 0;
    for (auto _ : state) {
        fed.feed.addShownTick(trafficAt(tick), fed.settings, "0", "0", timeAt(tick));
        ++tick;
        fed.chart.bottomAxis().move(1.0);
        scrolled += canvas.render(fed.chart, size) == chart::ScrollingCanvas::Drawing::Scrolled;
    }
    state.counters["scrolled_share"] =
        static_cast<double>(scrolled) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DrawOneTickScrolled)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->ComputeStatistics("min", fastest);

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
BENCHMARK(BM_DrawGraph3D)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->ComputeStatistics("min", fastest);

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
}
BENCHMARK(BM_FloorTwoPolygons)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->ComputeStatistics("min", fastest);

} // namespace

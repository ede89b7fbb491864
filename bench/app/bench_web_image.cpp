// The in-process floor of one "/flowloom.jpg" request: one drawing of a
// 791 x 385 graph (both series filled, 400 points per page) into a fresh
// image, and one JPEG encoding of its pixels at the web image's quality 80.
// The whole-program load test sets the p50 latency of the real server at one
// connection beside this floor (goal: at most 1.5 x).
//
// The argument is the number of points the graph holds:
//   40     a graph about 40 s old, as the running program's is when the load
//          test asks it for images: its first page, one tenth filled
//   1000   a graph in its steady state: the window on the newest 400 points
//
//  BM_WebImageFloor/<points>   draw + encode, as one request does them
//  BM_WebImageDraw/<points>    the drawing alone
//  BM_WebImageEncode/<points>  the encoding alone
#include "chart/Chart.h"
#include "graph/PlotFeed.h"
#include "output/encoders/ImageType.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace flowloom;

namespace {

constexpr int kWidth = 791;
constexpr int kHeight = 385;
constexpr int kPointsPerPage = 400;
constexpr int kWebQuality = 80;

double fastest(const std::vector<double>& v)
{
    return *std::min_element(v.begin(), v.end());
}

// Traffic with quiet stretches and bursts, every point different from its neighbours.
sampling::TStatRec trafficAt(int tick)
{
    sampling::TStatRec rec;
    const double wave = 0.5 + 0.5 * std::sin(tick / 37.0);
    const double jitter = 0.7 + 0.6 * std::fabs(std::sin(tick * 12.9898));
    const bool burst = (tick / 60) % 3 == 1;
    const double down = (burst ? 420000.0 : 60000.0) * (0.4 + 0.6 * wave) * jitter;
    rec.CurIn = static_cast<std::uint32_t>(down);
    rec.CurOut = static_cast<std::uint32_t>(down * 0.15);
    return rec;
}

// The graph as the program feeds it, tick by tick, with the feed's own
// scrolling and vertical axis rules.
struct WebGraph
{
    chart::Chart chart;
    graph::PlotFeed feed{chart};
    graph::PlotFeedSettings settings;
    sampling::RunCounters counters;

    explicit WebGraph(int points)
    {
        settings.pointsPerPage = kPointsPerPage;
        feed.startUp(settings);
        feed.activateSeriesForStart(settings);
        chart.setTitle(QStringLiteral("Bandwidth graph of 127.0.0.1"));
        chart.leftAxis().setTitle(QStringLiteral("KBytes / sec"));
        for (int i = 0; i < points; ++i) {
            const int s = 12 * 3600 + i;
            feed.addShownTick(trafficAt(i), settings, "0", "0",
                              sampling::DateTime{2026, 12, 6, s / 3600, (s / 60) % 60, s % 60});
            counters.raiseAll();
            feed.tickTail(counters, settings, [] { return false; });
        }
    }

    // A fresh image per request, as the server's rendering makes one.
    QImage render() const
    {
        QImage image(kWidth, kHeight, QImage::Format_RGB32);
        image.fill(chart.backgroundColour());
        QPainter painter(&image);
        chart.draw(painter, image.rect());
        return image;
    }
};

output::ImageView viewOf(const QImage& image)
{
    return {image.constBits(), static_cast<std::size_t>(image.width()),
            static_cast<std::size_t>(image.height()),
            static_cast<std::size_t>(image.bytesPerLine()), output::PixelFormat::Bgrx32};
}

void BM_WebImageFloor(benchmark::State& state)
{
    const WebGraph graph(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        const QImage image = graph.render();
        std::vector<std::uint8_t> jpeg;
        if (output::encodeToMemory(viewOf(image), output::ImageType::Jpeg, kWebQuality, jpeg) !=
            output::EncodeError::Ok)
            state.SkipWithError("JPEG encoding failed");
        bytes = jpeg.size();
        benchmark::DoNotOptimize(jpeg.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_WebImageDraw(benchmark::State& state)
{
    const WebGraph graph(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const QImage image = graph.render();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_WebImageEncode(benchmark::State& state)
{
    const WebGraph graph(static_cast<int>(state.range(0)));
    const QImage image = graph.render();
    for (auto _ : state) {
        std::vector<std::uint8_t> jpeg;
        if (output::encodeToMemory(viewOf(image), output::ImageType::Jpeg, kWebQuality, jpeg) !=
            output::EncodeError::Ok)
            state.SkipWithError("JPEG encoding failed");
        benchmark::DoNotOptimize(jpeg.data());
    }
}

} // namespace

BENCHMARK(BM_WebImageFloor)
    ->Arg(40)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_WebImageDraw)
    ->Arg(40)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", fastest);
BENCHMARK(BM_WebImageEncode)
    ->Arg(40)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", fastest);

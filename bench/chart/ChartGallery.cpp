// Writes sample pictures of the graph fed with synthetic traffic, one PNG per
// look (flat and 3-D, filled and line, steps, label orientations), so that a
// change to the drawing can be judged by eye:  chart_gallery <output folder>
#include "chart/Chart.h"
#include "graph/PlotFeed.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

using namespace flowloom;

namespace {

struct Look
{
    const char* name;
    bool filled = true;
    bool steps = false;
    bool threeD = false;
    bool vertical = false;
    bool swapped = false;
    int points = 400;
    int ticks = 700;
    int width = 791;
    int height = 385;
    bool colourChange = false;
    bool bytes = false;
};

// Download in bursts over a quiet background, upload a fraction of it.
sampling::TStatRec trafficAt(std::mt19937& rng, int tick, sampling::TStatRec rec)
{
    std::uniform_real_distribution<double> noise(0.0, 1.0);
    const double wave = 0.5 + 0.5 * std::sin(tick / 37.0);
    const bool burst = (tick / 60) % 3 == 1;
    const double down =
        (burst ? 420000.0 : 60000.0) * (0.4 + 0.6 * wave) * (0.7 + 0.6 * noise(rng));
    const double up = down * (0.12 + 0.1 * noise(rng)) + 4000.0 * noise(rng);
    rec.CurIn = static_cast<std::uint32_t>(down);
    rec.CurOut = static_cast<std::uint32_t>(up);
    rec.PeakIn = std::max(rec.PeakIn, rec.CurIn);
    rec.PeakOut = std::max(rec.PeakOut, rec.CurOut);
    return rec;
}

void render(const Look& look, const QString& folder)
{
    chart::Chart chart;
    graph::PlotFeed feed(chart);
    graph::PlotFeedSettings settings;
    settings.filled = look.filled;
    settings.steps = look.steps;
    settings.pointsPerPage = look.points;
    settings.kiloBytes = !look.bytes;
    feed.startUp(settings);
    feed.activateSeriesForStart(settings);
    chart.setTitle(QStringLiteral("Bandwidth graph of 127.0.0.1"));
    chart.leftAxis().setTitle(QString::fromStdString(graph::PlotFeed::rbBytesClick(settings)));
    chart.setThreeD(look.threeD);
    for (std::size_t i = 0; i < chart.seriesCount(); ++i)
        chart.series(i).setDividingLines(look.threeD);
    if (look.vertical) {
        chart.bottomAxis().setLabelAngle(chart::LabelAngle::Vertical);
        chart::Margins m = chart.margins();
        m.bottom = 1.0;
        chart.setMargins(m);
    }
    if (look.swapped) {
        chart.swapDrawingOrder(0, 1);
        chart.swapDrawingOrder(2, 3);
    }

    std::mt19937 rng(7);
    sampling::RunCounters counters;
    sampling::TStatRec rec;
    int second = 14 * 3600 + 5 * 60;
    for (int tick = 0; tick < look.ticks; ++tick, ++second) {
        counters.raiseAll();
        rec = trafficAt(rng, tick, rec);
        if (counters.WarmUpCount < 3)
            continue;
        if (look.colourChange && tick == look.ticks - 150)
            settings.downloadColour = qRgb(0, 160, 255);
        const sampling::DateTime now{2024,       5, 6, (second / 3600) % 24, (second / 60) % 60,
                                     second % 60};
        feed.addShownTick(rec, settings, "0", "0", now);
        feed.tickTail(counters, settings, [] { return false; });
    }

    QImage image(look.width, look.height, QImage::Format_RGB32);
    image.fill(chart.backgroundColour());
    QPainter painter(&image);
    chart.draw(painter, image.rect());
    painter.end();
    const QString path = folder + QLatin1Char('/') + QString::fromLatin1(look.name) + ".png";
    if (!image.save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: chart_gallery <output folder>\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    render({.name = "flat_filled_ramp"}, folder);
    render({.name = "flat_filled_steps_vertical", .steps = true, .vertical = true}, folder);
    render({.name = "flat_line_ramp", .filled = false}, folder);
    render({.name = "threeD_filled", .threeD = true}, folder);
    render({.name = "threeD_line_steps", .filled = false, .steps = true, .threeD = true}, folder);
    render({.name = "flat_swapped_colour_change", .swapped = true, .colourChange = true}, folder);
    render({.name = "flat_filling_first_page", .ticks = 150}, folder);
    render({.name = "flat_small", .width = 320, .height = 200}, folder);
    render({.name = "flat_bytes_steps", .steps = true, .bytes = true}, folder);
    render({.name = "flat_tiny", .width = 158, .height = 77}, folder);
    render({.name = "threeD_tiny_vertical",
            .threeD = true,
            .vertical = true,
            .width = 150,
            .height = 150},
           folder);
    render({.name = "flat_large_vertical", .vertical = true, .width = 1400, .height = 700}, folder);
    return 0;
}

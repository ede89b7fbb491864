// Growth of the whole program per shown tick: 1,000,000 ticks driven through
// the main window's real tick (Timer1Timer: snapshot, Data2Grid, statistics
// texts, plot feed, tick tail, published web view), window shown on the
// offscreen platform, from an interface table that is generated on the fly
// (a recorded script would itself grow with every tick).
//
// Reported per tick, after a warm-up that lets every one-time allocation
// happen first:
//   heap_B_per_tick  bytes held by the allocator (mallinfo2: small blocks and
//                    mmap'ed blocks), which is everything the program keeps;
//   rss_B_per_tick   growth of resident memory;
//   us_per_tick      CPU time of one tick (without drawing).
// Goal: at most 40 bytes per shown tick, series included.
#include "app/Unit1.h"
#include "graph/PlotFeed.h"
#include "sampling/ScriptedSource.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <unistd.h>

using namespace flowloom;

namespace {

constexpr std::int64_t kTicks = 1'000'000;
constexpr std::int64_t kWarmUpTicks = 20'000;
// Queued work (repaints, the clock's own hand-over) is let through this often,
// as an event loop would between ticks.
constexpr std::int64_t kEventsEvery = 1'000;

// Two interfaces, loopback and an Ethernet card, whose counters move like a
// desktop's traffic and wrap at 2^32 as real ones do. Nothing is stored per
// snapshot.
class GeneratingSource final : public sampling::InterfaceSource
{
public:
    sampling::TMIBIfArray interfaceSnapshot() override
    {
        ++m_tick;
        const double wave = 0.5 + 0.5 * std::sin(static_cast<double>(m_tick) / 37.0);
        const bool burst = (m_tick / 60) % 3 == 1;
        const auto down = static_cast<std::uint32_t>((burst ? 420000.0 : 60000.0) * wave);
        m_in += down + static_cast<std::uint32_t>(m_tick % 977);
        m_out += down / 8 + static_cast<std::uint32_t>(m_tick % 131);
        return {sampling::ScriptedSource::row(1, "lo", m_in / 16, m_out / 16),
                sampling::ScriptedSource::row(2, "eth0", m_in, m_out)};
    }
    sampling::TMibIPAddrArray addressSnapshot() override
    {
        using S = sampling::ScriptedSource;
        return {{S::address(127, 0, 0, 1), 1}, {S::address(192, 168, 1, 10), 2}};
    }

private:
    std::int64_t m_tick = 0;
    std::uint32_t m_in = 1000;
    std::uint32_t m_out = 500;
};

// A wall clock one second further on every tick.
class TickClock final : public sampling::WallClock
{
public:
    sampling::DateTime now() const override
    {
        return sampling::fromSerialSeconds(m_start + m_seconds);
    }
    std::int64_t steadyMilliseconds() const override { return m_seconds * 1000; }
    void advance() { ++m_seconds; }

private:
    std::int64_t m_start = sampling::toSerialSeconds({2026, 12, 6, 19, 44, 3});
    std::int64_t m_seconds = 0;
};

std::size_t heapBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

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

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void BM_TickGrowth(benchmark::State& state)
{
    for (auto _ : state) {
        QTemporaryDir folder;
        {
            // Loopback's neighbour selected, plotting on, no page limit: the
            // series grow for the whole run, as with "Pages" 0 for weeks. The
            // traffic per application is off: this is the tick's own cost,
            // which bench_appnet's collector tick is set beside.
            QFile ini(folder.path() + "/flowloom.ini");
            if (!ini.open(QIODevice::WriteOnly) ||
                ini.write("[Plotter]\r\nFirst=0\r\nURL=1\r\nRun=1\r\nPages=0\r\nAppTraffic=0\r\n") <
                    0) {
                state.SkipWithError("cannot write the settings file");
                return;
            }
        }
        GeneratingSource source;
        TickClock clock;
        auto form = std::make_unique<app::TForm1>(app::Environment{
            source, clock, (folder.path() + "/flowloom").toStdString(), [](const std::string&) {}});
        form->show();
        QApplication::processEvents();

        const auto run = [&](std::int64_t ticks) {
            for (std::int64_t i = 1; i <= ticks; ++i) {
                clock.advance();
                form->Timer1Timer();
                if (i % kEventsEvery == 0)
                    QApplication::processEvents();
            }
        };
        run(kWarmUpTicks);
        malloc_trim(0);
        const std::size_t heapBefore = heapBytes();
        const long rssBefore = residentBytes();
        const double cpuBefore = cpuSeconds();
        run(kTicks);
        const double cpuAfter = cpuSeconds();
        malloc_trim(0);
        const std::size_t heapAfter = heapBytes();
        const long rssAfter = residentBytes();

        const auto perTick = [](double total) { return total / static_cast<double>(kTicks); };
        state.counters["heap_B_per_tick"] =
            perTick(static_cast<double>(heapAfter) - static_cast<double>(heapBefore));
        state.counters["rss_B_per_tick"] =
            perTick(static_cast<double>(rssAfter) - static_cast<double>(rssBefore));
        state.counters["us_per_tick"] = perTick((cpuAfter - cpuBefore) * 1e6);
        // Every shown tick must have become a point, or the growth says nothing.
        state.counters["points"] = static_cast<double>(form->graph().plotFeed().series1().size());
        if (form->graph().plotFeed().series1().size() < static_cast<std::size_t>(kTicks))
            state.SkipWithError("the ticks did not reach the graph");
        if (!form->controls().btnStart->isChecked())
            state.SkipWithError("the run stopped before the last tick");
    }
}
BENCHMARK(BM_TickGrowth)->Iterations(1)->Unit(benchmark::kSecond);

// What a background write of the settings costs the UI thread: gathering every
// value and the totals, and handing them to the writer. The file itself is
// written on the writer's thread, left to finish between two calls as it does
// between two minutes.
void BM_BackgroundSaveOnTheUiThread(benchmark::State& state)
{
    QTemporaryDir folder;
    GeneratingSource source;
    TickClock clock;
    auto form = std::make_unique<app::TForm1>(app::Environment{
        source, clock, (folder.path() + "/flowloom").toStdString(), [](const std::string&) {}});
    form->show();
    form->controls().btnStart->click();
    for (int i = 0; i < 10; ++i) {
        clock.advance();
        form->Timer1Timer();
    }
    QApplication::processEvents();
    for (auto _ : state) {
        form->settings().saveInBackground();
        state.PauseTiming();
        usleep(20'000);
        QApplication::processEvents();
        state.ResumeTiming();
    }
    if (!QFile::exists(folder.path() + "/flowloom.ini"))
        state.SkipWithError("nothing was written");
}
BENCHMARK(BM_BackgroundSaveOnTheUiThread)
    ->Iterations(200)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace

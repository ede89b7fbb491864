// Cost of one tick's sampling: the interface table snapshot (rtnetlink) beside
// getifaddrs(), the address table, and Data2Grid over 64 interfaces.
#include "sampling/InterfaceTracker.h"
#include "sampling/NetlinkSource.h"
#include "sampling/ScriptedSource.h"
#include "sampling/Statistics.h"

#include <benchmark/benchmark.h>
#include <ifaddrs.h>

using namespace flowloom::sampling;

static void BM_NetlinkInterfaceSnapshot(benchmark::State& state)
{
    NetlinkSource source;
    for (auto _ : state) {
        TMIBIfArray rows = source.interfaceSnapshot();
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(BM_NetlinkInterfaceSnapshot)->Unit(benchmark::kMicrosecond);

static void BM_NetlinkAddressSnapshot(benchmark::State& state)
{
    NetlinkSource source;
    for (auto _ : state) {
        TMibIPAddrArray rows = source.addressSnapshot();
        benchmark::DoNotOptimize(rows.data());
    }
}
BENCHMARK(BM_NetlinkAddressSnapshot)->Unit(benchmark::kMicrosecond);

// Reference: the C library's call that returns links with their statistics.
static void BM_Getifaddrs(benchmark::State& state)
{
    for (auto _ : state) {
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) == 0) {
            benchmark::DoNotOptimize(list);
            freeifaddrs(list);
        }
    }
}
BENCHMARK(BM_Getifaddrs)->Unit(benchmark::kMicrosecond);

// Data2Grid for 64 interfaces with the 32nd selected, past the warm-up.
static void BM_Data2Grid64(benchmark::State& state)
{
    constexpr int kInterfaces = 64;
    TMIBIfArray table;
    for (int i = 0; i < kInterfaces; ++i)
        table.push_back(ScriptedSource::row(static_cast<std::uint32_t>(i + 1),
                                            "if" + std::to_string(i), 1000u * i, 500u * i));
    InterfaceTracker tracker;
    tracker.reset(table);
    StatisticsEngine engine;
    engine.InitGrid(table);
    RunCounters counters;
    counters.WarmUpCount = 2;
    std::uint32_t step = 0;
    std::int64_t nowMs = 0;
    for (auto _ : state) {
        nowMs += kTickIntervalMs;
        ++step;
        for (TMIBIfRow& row : table) {
            row.inOctets += 1500 + step;
            row.outOctets += 300;
        }
        const auto rows = tracker.match(table);
        benchmark::DoNotOptimize(engine.Data2Grid(rows, 31, counters, nowMs));
    }
}
BENCHMARK(BM_Data2Grid64)->Unit(benchmark::kMicrosecond);

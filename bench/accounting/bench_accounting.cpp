// The accounting core's cost per tick: every interface differenced, the
// selected one's totals raised, every interface's bytes added to the usage
// history in memory and the data cap checked, for tables of 4 and 64
// interfaces with traffic on each.
#include "accounting/AccountingCore.h"
#include "sampling/ScriptedSource.h"

#include <benchmark/benchmark.h>

using namespace flowloom;

static void BM_AccountingCoreTick(benchmark::State& state)
{
    const auto count = static_cast<std::uint32_t>(state.range(0));
    sampling::TMIBIfArray table;
    for (std::uint32_t i = 0; i < count; ++i)
        table.push_back(sampling::ScriptedSource::row64(i + 1, "eth" + std::to_string(i), 0, 0));
    usage::UtcZone zone;
    usage::UsageHistory history(zone);
    const sampling::DateTime now{2026, 12, 8, 12, 0, 0};
    accounting::AccountingCore core(now);
    core.start(table, {}, now);
    core.attachHistory(&history);
    core.setSelected(0);
    usage::CapRule cap;
    cap.on = true;
    cap.amount = 999999;
    core.setCapRule(cap, accounting::CapScope::Physical);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        bytes += 1500;
        for (sampling::TMIBIfRow& row : table) {
            row.inOctets = bytes;
            row.outOctets = bytes / 2;
        }
        benchmark::DoNotOptimize(core.tick(table, now));
    }
    state.SetLabel(std::to_string(count) + " interfaces");
}
BENCHMARK(BM_AccountingCoreTick)->Arg(4)->Arg(64);

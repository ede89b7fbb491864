// The usage history's file and its costs: a year of days for four interfaces
// written as the program writes them, and the UI thread's part of a tick.
#include "usage/UsageHistory.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <unistd.h>

using namespace flowloom::usage;
namespace fs = std::filesystem;

namespace {
const std::vector<InterfaceIdentity> kInterfaces = {{"eth0", "02-00-00-00-00-01"},
                                                    {"wlan0", "02-00-00-00-00-02"},
                                                    {"tun0", "00-00-00-00-00-00"},
                                                    {"lo", "00-00-00-00-00-00"}};

std::uintmax_t sizeWithCompanions(const fs::path& file)
{
    std::uintmax_t total = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        fs::path path = file;
        path += suffix;
        std::error_code ec;
        const auto size = fs::file_size(path, ec);
        total += ec ? 0 : size;
    }
    return total;
}
} // namespace

// 365 days of traffic on four interfaces, every interface selected for a
// while each day, written in one batch an hour (a year of minute-batches
// would take the benchmark minutes and leaves the same rows). The file is
// measured after the program's connections are closed.
static void BM_HistoryYearOfFourInterfaces(benchmark::State& state)
{
    const fs::path folder =
        fs::temp_directory_path() / ("flowloom-bench-" + std::to_string(getpid()));
    const fs::path file = folder / "flowloom-history.sqlite";
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        const DateTime start{2026, 1, 1, 0, 0, 0};
        UsageStore::prepare(file, start);
        {
            UtcZone zone;
            auto reader = UsageStore::open(file);
            auto writer = UsageStore::open(file);
            UsageHistory history(zone);
            history.attach(reader.get(), writer->writtenSeq());
            history.setBillingRule({true, 14, 0, 1, 0});
            std::string error;
            for (int day = 0; day < 365; ++day) {
                for (int hour = 0; hour < 24; ++hour) {
                    DateTime now = addDays(start, day);
                    now.hour = hour;
                    history.add(kInterfaces[static_cast<std::size_t>(hour % 4)], now,
                                1'000'000'000ULL + static_cast<std::uint64_t>(day) * 12345,
                                200'000'000ULL + static_cast<std::uint64_t>(hour) * 999);
                    const auto batches = history.seal();
                    if (!writer->write(batches, error))
                        state.SkipWithError(error.c_str());
                    history.written(batches.back().seq);
                }
            }
        }
        bytes = sizeWithCompanions(file);
    }
    fs::remove_all(folder);
    state.counters["file_bytes"] = static_cast<double>(bytes);
    state.counters["bytes_per_day_and_interface"] = static_cast<double>(bytes) / (365.0 * 4.0);
}
BENCHMARK(BM_HistoryYearOfFourInterfaces)->Iterations(1)->Unit(benchmark::kMillisecond);

// What every tick adds on the user-interface thread: one addition to the
// pending day and period of the selected interface.
static void BM_HistoryAddOnTheUiThread(benchmark::State& state)
{
    UtcZone zone;
    UsageHistory history(zone);
    DateTime now{2026, 12, 6, 19, 44, 3};
    for (auto _ : state) {
        history.add(kInterfaces[0], now, 1500, 300);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_HistoryAddOnTheUiThread);

// The writer thread's work once a minute: one batch of one day and one period.
static void BM_HistoryMinuteWrite(benchmark::State& state)
{
    const fs::path folder =
        fs::temp_directory_path() / ("flowloom-bench-w-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path file = folder / "flowloom-history.sqlite";
    UsageStore::prepare(file, {2026, 12, 6, 0, 0, 0});
    {
        UtcZone zone;
        auto reader = UsageStore::open(file);
        auto writer = UsageStore::open(file);
        UsageHistory history(zone);
        history.attach(reader.get(), writer->writtenSeq());
        std::string error;
        for (auto _ : state) {
            history.add(kInterfaces[0], {2026, 12, 6, 19, 44, 3}, 1500, 300);
            const auto batches = history.seal();
            writer->write(batches, error);
            history.written(batches.back().seq);
        }
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_HistoryMinuteWrite)->Unit(benchmark::kMicrosecond);

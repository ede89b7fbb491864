// The traffic per application's cost per tick: one look at every TCP socket
// (closes read, the sockets read with tcp_info, each differenced and
// credited to its application), by a full dump of both families and by
// lookups of the known sockets, with 10 and with 1,000 open TCP sockets,
// beside the accounting core's own tick; and, while /metrics or the JSON API
// is on, the tick's figures per application read from the history. Where it may (as root), the
// benchmark runs in a network namespace of its own, so that the sockets
// dumped are exactly its own.
#include "accounting/AccountingCore.h"
#include "app/publish/ApplicationFigures.h"
#include "appnet/ApplicationCollector.h"
#include "sampling/ScriptedSource.h"
#include "sampling/UniqueFd.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <cstring>
#include <filesystem>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace flowloom;
using sampling::UniqueFd;

namespace {

bool g_privateNetwork = false;

// A namespace of its own with loopback up, when allowed.
void enterPrivateNetwork()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return;
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (fd.valid() && ::ioctl(fd.get(), SIOCGIFFLAGS, &request) == 0) {
        request.ifr_flags |= IFF_UP;
        g_privateNetwork = ::ioctl(fd.get(), SIOCSIFFLAGS, &request) == 0;
    }
}

// `count` open TCP sockets: a listener and connected pairs over loopback.
std::vector<UniqueFd> openSockets(std::size_t count)
{
    std::vector<UniqueFd> sockets;
    UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener.get(), 128) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return sockets;
    sockets.push_back(std::move(listener));
    while (sockets.size() + 2 <= count + 1) {
        UniqueFd client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (::connect(client.get(), reinterpret_cast<sockaddr*>(&address), length) != 0)
            break;
        UniqueFd server(::accept4(sockets.front().get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!server.valid())
            break;
        const char byte = 'x';
        (void)::send(client.get(), &byte, 1, 0); // counts to difference
        sockets.push_back(std::move(client));
        sockets.push_back(std::move(server));
    }
    return sockets;
}

void raiseFileLimit(std::size_t count)
{
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < count + 64) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, count + 64);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
}

// One poll of `count` open TCP sockets, read as `expected` says: by a full
// dump (the clock jumps a dump period each poll), or by lookups of the known
// sockets (the clock stands still; the interface bytes are within the
// allowance, so nothing calls for a dump). `idle`: the sockets last grew
// kActiveFor before (they are not looked up then).
void collectorTick(benchmark::State& state, appnet::ApplicationCollector::Read expected,
                   bool idle = false)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    raiseFileLimit(count);
    const std::vector<UniqueFd> sockets = openSockets(count);
    appnet::SockDiagSource source;
    if (!source.available()) {
        state.SkipWithError(source.problem().c_str());
        return;
    }
    appnet::SystemSocketOwners owners;
    appnet::ApplicationCollector::Clock::time_point now{};
    const auto step = expected == appnet::ApplicationCollector::Read::Dump
                          ? appnet::kFullDumpInterval
                          : std::chrono::seconds(0);
    appnet::ApplicationCollector collector(source, owners, [&now] { return now; });
    collector.tick({}); // the first look, and the one scan of /proc
    if (idle)
        now += appnet::kActiveFor;
    for (auto _ : state) {
        now += step;
        benchmark::DoNotOptimize(collector.tick({{1000, 1000}, {1000, 1000}}));
    }
    if (collector.lastRead() != expected) {
        state.SkipWithError("the poll was not read as this row says");
        return;
    }
    state.counters["sockets"] = static_cast<double>(collector.trackedSockets());
    state.counters["looked_up"] = static_cast<double>(collector.lastLookups());
    state.SetLabel(std::to_string(sockets.size()) + " open TCP sockets" +
                   (g_privateNetwork ? "" : " (and the machine's own)"));
}

// A poll by full dump: the first look's, every 30 s, and when the interfaces
// counted bytes that the known sockets do not explain.
void BM_ApplicationCollectorTick(benchmark::State& state)
{
    collectorTick(state, appnet::ApplicationCollector::Read::Dump);
}
BENCHMARK(BM_ApplicationCollectorTick)->Arg(10)->Arg(1000);

// The common poll: the known sockets read by exact lookups, every one of
// them active (grown within kActiveFor): the most a poll without a dump looks up.
void BM_ApplicationCollectorLookupTick(benchmark::State& state)
{
    collectorTick(state, appnet::ApplicationCollector::Read::Lookups);
}
BENCHMARK(BM_ApplicationCollectorLookupTick)->Arg(10)->Arg(1000);

// The common poll with every known socket idle: only the closes are read.
void BM_ApplicationCollectorIdleTick(benchmark::State& state)
{
    collectorTick(state, appnet::ApplicationCollector::Read::Lookups, true);
}
BENCHMARK(BM_ApplicationCollectorIdleTick)->Arg(10)->Arg(1000);

// The tick it runs beside: the accounting core over 4 interfaces.
void BM_CoreTickBeside(benchmark::State& state)
{
    sampling::TMIBIfArray table;
    for (std::uint32_t i = 0; i < 4; ++i)
        table.push_back(sampling::ScriptedSource::row64(i + 1, "eth" + std::to_string(i), 0, 0));
    usage::UtcZone zone;
    usage::UsageHistory history(zone);
    const sampling::DateTime now{2026, 12, 8, 12, 0, 0};
    accounting::AccountingCore core(now);
    core.start(table, {}, now);
    core.attachHistory(&history);
    core.setSelected(0);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        bytes += 1500;
        for (sampling::TMIBIfRow& row : table) {
            row.inOctets = bytes;
            row.outOctets = bytes / 2;
        }
        benchmark::DoNotOptimize(core.tick(table, now));
    }
}
BENCHMARK(BM_CoreTickBeside);

struct NoSockets final : appnet::TcpSocketSource
{
    void drainClosed(std::vector<appnet::TcpSocketReading>&) override {}
    bool poll(std::vector<appnet::TcpSocketReading>&) override { return true; }
};

struct NoOwners final : appnet::SocketOwners
{
    void newTick() override {}
    appnet::Application ownerOf(const appnet::TcpSocketReading&) override { return {}; }
};

// The published figures per application of one tick: today's and the
// period's totals of both scopes from a history file holding 30 days of 20
// applications on each, plus this minute's bytes still in memory.
void BM_PublishedApplicationFigures(benchmark::State& state)
{
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("flowloom-bench-apps-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path file = folder / "flowloom-history.sqlite";
    const sampling::DateTime now{2026, 12, 30, 12, 0, 0};
    usage::UsageStore::prepare(file, now);
    {
        usage::UtcZone zone;
        auto reader = usage::UsageStore::open(file);
        auto writer = usage::UsageStore::open(file);
        usage::UsageHistory history(zone);
        history.attach(reader.get(), writer->writtenSeq());
        for (int day = 1; day <= 30; ++day)
            for (int a = 0; a < 20; ++a)
                for (const usage::InterfaceIdentity* identity :
                     {&accounting::physicalSumIdentity(), &appnet::loopbackIdentity()})
                    history.addApplication(*identity, "application-" + std::to_string(a), 0,
                                           {2026, 12, day, 10, 0, 0}, 1000 * (a + 1), 100);
        std::string error;
        const auto batches = history.seal();
        writer->write(batches, error);
        history.written(batches.back().seq);
        history.addApplication(accounting::physicalSumIdentity(), "application-0", 0, now, 5, 5);
        NoSockets none;
        NoOwners nobody;
        appnet::ApplicationTraffic traffic(none, nobody);
        const usage::BillingRule rule; // the calendar month
        for (auto _ : state)
            benchmark::DoNotOptimize(app::applicationsFigures(traffic, history, rule, now));
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_PublishedApplicationFigures)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    enterPrivateNetwork();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

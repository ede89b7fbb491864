// The traffic per application's cost per tick: one look at every TCP socket
// (closes read, both families dumped with tcp_info, each socket differenced
// and credited to its application) with 10 and with 1,000 open TCP sockets,
// beside the accounting core's own tick. Where it may (as root), the
// benchmark runs in a network namespace of its own, so that the sockets
// dumped are exactly its own.
#include "accounting/AccountingCore.h"
#include "appnet/ApplicationCollector.h"
#include "sampling/ScriptedSource.h"
#include "sampling/UniqueFd.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <cstring>
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

void BM_ApplicationCollectorTick(benchmark::State& state)
{
    const auto count = static_cast<std::size_t>(state.range(0));
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    if (files.rlim_cur < count + 64) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, count + 64);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    const std::vector<UniqueFd> sockets = openSockets(count);
    appnet::SockDiagSource source;
    if (!source.available()) {
        state.SkipWithError(source.problem().c_str());
        return;
    }
    appnet::SystemSocketOwners owners;
    appnet::ApplicationCollector collector(source, owners);
    collector.tick({}); // the first look, and the one scan of /proc
    for (auto _ : state)
        benchmark::DoNotOptimize(collector.tick({{1000, 1000}, {1000, 1000}}));
    state.counters["sockets"] = static_cast<double>(collector.trackedSockets());
    state.SetLabel(std::to_string(sockets.size()) + " open TCP sockets" +
                   (g_privateNetwork ? "" : " (and the machine's own)"));
}
BENCHMARK(BM_ApplicationCollectorTick)->Arg(10)->Arg(1000);

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

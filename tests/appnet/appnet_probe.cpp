// The collector as a program of its own, for the test in a private network
// namespace: it is started as an unprivileged user and ticks when told to.
//   arguments: [--cgroup-root DIR]
//   stdin: "tick" (one tick), "quit"
//   stdout: "ready <cgroup v2: 0|1>", then per tick the lines
//     "tick <counted> <closed sockets> <read>" (read: dump, lookups,
//     lookups-of-all, lookups+dump, none), "app <internet|loopback> <by> <in> <out> <name>",
//     "other <internet|loopback> <in> <out>", "end"
// The interfaces' bytes are read through rtnetlink, as the program does.
#include "appnet/ApplicationCollector.h"
#include "sampling/NetlinkSource.h"

#include <cstdio>
#include <iostream>
#include <string>

using namespace flowloom;

namespace {

struct InterfaceReader
{
    sampling::NetlinkSource source;
    std::vector<std::uint64_t> last; // by row: in, out
    bool first = true;

    appnet::InterfaceTraffic read()
    {
        appnet::InterfaceTraffic traffic;
        const sampling::TMIBIfArray table = source.interfaceSnapshot();
        std::vector<std::uint64_t> now;
        for (const sampling::TMIBIfRow& row : table) {
            now.push_back(row.inOctets);
            now.push_back(row.outOctets);
        }
        if (!first && now.size() == last.size())
            for (std::size_t i = 0; i < table.size(); ++i) {
                appnet::ByteCount& sum =
                    table[i].name == "lo" ? traffic.loopback : traffic.internet;
                sum.in += now[2 * i] - last[2 * i];
                sum.out += now[2 * i + 1] - last[2 * i + 1];
            }
        last = std::move(now);
        first = false;
        return traffic;
    }
};

void print(const char* where, const std::vector<appnet::ApplicationBytes>& list)
{
    for (const appnet::ApplicationBytes& a : list)
        std::printf("app %s %s %llu %llu %s\n", where,
                    std::string(appnet::identifiedByText(a.application.by)).c_str(),
                    static_cast<unsigned long long>(a.bytes.in),
                    static_cast<unsigned long long>(a.bytes.out), a.application.name.c_str());
}

const char* readWord(appnet::ApplicationCollector::Read read)
{
    using Read = appnet::ApplicationCollector::Read;
    switch (read) {
    case Read::Dump:
        return "dump";
    case Read::Lookups:
        return "lookups";
    case Read::LookupsOfAll:
        return "lookups-of-all";
    case Read::LookupsThenDump:
        return "lookups+dump";
    case Read::None:
        break;
    }
    return "none";
}

} // namespace

int main(int argc, char** argv)
{
    // --cgroup-root DIR: where the cgroup v2 tree is (else /sys/fs/cgroup).
    const std::string cgroupRoot =
        argc > 2 && std::string(argv[1]) == "--cgroup-root" ? argv[2] : "/sys/fs/cgroup";
    appnet::SockDiagSource source;
    if (!source.available()) {
        std::printf("unavailable %s\n", source.problem().c_str());
        return 3;
    }
    appnet::SystemSocketOwners owners("/proc", cgroupRoot);
    appnet::ApplicationCollector collector(source, owners);
    InterfaceReader interfaces;
    collector.tick(interfaces.read()); // the first look: the base
    std::printf("ready %d\n", owners.cgroupsKnown() ? 1 : 0);
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line) && line != "quit") {
        if (line != "tick")
            continue;
        const appnet::ApplicationTick tick = collector.tick(interfaces.read());
        std::printf("tick %d %zu %s\n", tick.counted ? 1 : 0, tick.socketsClosed,
                    readWord(collector.lastRead()));
        print("internet", tick.internet);
        print("loopback", tick.loopback);
        std::printf("other internet %llu %llu\n",
                    static_cast<unsigned long long>(tick.internetOther.in),
                    static_cast<unsigned long long>(tick.internetOther.out));
        std::printf("other loopback %llu %llu\nend\n",
                    static_cast<unsigned long long>(tick.loopbackOther.in),
                    static_cast<unsigned long long>(tick.loopbackOther.out));
        std::fflush(stdout);
    }
    return 0;
}

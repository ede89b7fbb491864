// Loopback clients for the whole-program web figures (bench/scripts):
//
//   bench_web_clients images PORT PATH COUNT
//       COUNT simultaneous GET requests for PATH, each read to the end;
//       prints "answered N of COUNT, B bytes, S s".
//   bench_web_clients crowd PORT silent|trickling CROWD_FROM REQUESTS_FROM
//       the crowd of the load test (tests/support/HostileLoad.h): warm-up of
//       256 simultaneous requests, 300 connections from CROWD_FROM that send
//       nothing or trickle a byte a second, meanwhile 50 requests for
//       /formatted.txt from REQUESTS_FROM; prints
//       "answered N p50 P50 p99 P99 max MAX serves-after 0|1" (times in ms).
//
// Every address is on loopback; every wait is bounded; the program ends by itself.
#include "support/HostileLoad.h"
#include "support/LoopbackClient.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

using flowloom::test::LoopbackClient;

int images(std::uint16_t port, const std::string& path, int count)
{
    std::vector<LoopbackClient> clients;
    clients.reserve(static_cast<std::size_t>(count));
    const auto start = std::chrono::steady_clock::now();
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    for (int i = 0; i < count; ++i) {
        clients.emplace_back(port);
        clients.back().send(request);
        if (i % 8 == 7)
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // see HostileLoad.cpp
    }
    // All are read at once, as simultaneous clients would.
    std::vector<std::thread> readers;
    std::vector<std::size_t> bytes(clients.size());
    std::vector<int> ok(clients.size());
    for (std::size_t i = 0; i < clients.size(); ++i)
        readers.emplace_back([&, i] {
            const auto received = clients[i].readUntilClose(std::chrono::seconds(60));
            bytes[i] = received.bytes.size();
            ok[i] = received.end == flowloom::test::ReadEnd::Closed &&
                    received.bytes.rfind("HTTP/1.1 200 OK\r\n", 0) == 0;
        });
    for (auto& reader : readers)
        reader.join();
    std::size_t total = 0;
    int answered = 0;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        total += bytes[i];
        answered += ok[i];
    }
    std::printf("answered %d of %d, %zu bytes, %.2f s\n", answered, count, total,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return answered == count ? 0 : 1;
}

int crowd(std::uint16_t port, const std::string& kind, const std::string& crowdFrom,
          const std::string& requestsFrom)
{
    flowloom::test::HostileLoad load;
    load.port = port;
    load.crowdKind = kind == "trickling" ? flowloom::test::HostileLoad::Crowd::Trickling
                                         : flowloom::test::HostileLoad::Crowd::Silent;
    load.crowdFrom = crowdFrom;
    load.requestsFrom = requestsFrom;
    const auto result = flowloom::test::runHostileLoad(load);
    std::printf("answered %d p50 %.3f p99 %.3f max %.3f serves-after %d warmed %d crowd %d\n",
                result.answered, result.percentile(50), result.percentile(99),
                result.percentile(100), result.servesAfter ? 1 : 0, result.warmedUp,
                result.crowdConnected);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Hundreds of connections at once, both ends in this process for none of them.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 4096) {
        files.rlim_cur = std::min<rlim_t>(4096, files.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "images" && argc == 5)
        return images(static_cast<std::uint16_t>(std::atoi(argv[2])), argv[3],
                      std::min(1024, std::max(1, std::atoi(argv[4]))));
    if (mode == "crowd" && argc == 6)
        return crowd(static_cast<std::uint16_t>(std::atoi(argv[2])), argv[3], argv[4], argv[5]);
    std::fprintf(stderr, "usage: bench_web_clients images PORT PATH COUNT\n"
                         "       bench_web_clients crowd PORT silent|trickling FROM FROM\n");
    return 2;
}

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
//   bench_web_clients streams PORT COUNT SECONDS FROM
//       COUNT event streams (/api/v1/events) from the loopback address FROM,
//       held open and read for SECONDS; prints "open N" once every head has
//       come (flushed, for the script waiting on it), then at the end
//       "streams N of COUNT, events min A max B" (N: streams still open at
//       the end; events: how many each received).
//
// Every address is on loopback; every wait is bounded; the program ends by itself.
#include "support/HostileLoad.h"
#include "support/LoopbackClient.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>

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

std::size_t countOf(const std::string& text, std::string_view part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

int streams(std::uint16_t port, int count, int seconds, const std::string& from)
{
    using Clock = std::chrono::steady_clock;
    const std::string request = "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    std::vector<LoopbackClient> clients;
    clients.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        clients.emplace_back(port, flowloom::test::ConnectMode::Wait, std::chrono::seconds(10),
                             from);
        clients.back().send(request);
    }
    std::vector<std::string> received(clients.size());
    std::vector<bool> open(clients.size(), true);
    std::vector<pollfd> entries(clients.size());
    bool announced = false;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    char buffer[65536];
    while (Clock::now() < end) {
        for (std::size_t i = 0; i < clients.size(); ++i)
            entries[i] = {open[i] ? clients[i].descriptor() : -1, POLLIN, 0};
        if (::poll(entries.data(), entries.size(), 100) < 0 && errno != EINTR)
            break;
        for (std::size_t i = 0; i < clients.size(); ++i) {
            if ((entries[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            const ssize_t got = ::recv(clients[i].descriptor(), buffer, sizeof buffer, 0);
            if (got > 0)
                received[i].append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || (errno != EAGAIN && errno != EINTR))
                open[i] = false;
        }
        if (!announced) {
            std::size_t heads = 0;
            for (const std::string& bytes : received)
                heads += bytes.rfind("HTTP/1.1 200 OK\r\n", 0) == 0 &&
                         bytes.find("\r\n\r\n") != std::string::npos;
            if (heads == clients.size()) {
                std::printf("open %zu\n", heads);
                std::fflush(stdout);
                announced = true;
            }
        }
    }
    std::size_t stillOpen = 0, fewest = SIZE_MAX, most = 0;
    for (std::size_t i = 0; i < clients.size(); ++i) {
        stillOpen += open[i];
        const std::size_t events = countOf(received[i], "\nid: ");
        fewest = std::min(fewest, events);
        most = std::max(most, events);
    }
    std::printf("streams %zu of %d, events min %zu max %zu\n", stillOpen, count,
                clients.empty() ? 0 : fewest, most);
    return stillOpen == clients.size() ? 0 : 1;
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
    if (mode == "streams" && argc == 6)
        return streams(static_cast<std::uint16_t>(std::atoi(argv[2])),
                       std::min(1000, std::max(1, std::atoi(argv[3]))),
                       std::min(120, std::max(1, std::atoi(argv[4]))), argv[5]);
    if (mode == "crowd" && argc == 6)
        return crowd(static_cast<std::uint16_t>(std::atoi(argv[2])), argv[3], argv[4], argv[5]);
    std::fprintf(stderr, "usage: bench_web_clients images PORT PATH COUNT\n"
                         "       bench_web_clients crowd PORT silent|trickling FROM FROM\n"
                         "       bench_web_clients streams PORT COUNT SECONDS FROM\n");
    return 2;
}

#include "support/HostileLoad.h"

#include "support/LoopbackClient.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace flowloom::test {

namespace {

using Clock = std::chrono::steady_clock;

bool isOk(const Received& received)
{
    return received.end == ReadEnd::Closed && received.bytes.rfind("HTTP/1.1 200 OK\r\n", 0) == 0;
}

// Connections from `from`, opened a few at a time. On loopback the handshake
// completes inside connect(), so a client that connects without pause can
// fill the listen queue before the server's thread gets the processor;
// the system then turns connections away and retries them a second or more
// later, which would measure the scheduler rather than the server. Counts
// those established.
int connectAll(std::vector<LoopbackClient>& clients, int count, std::uint16_t port,
               const std::string& from)
{
    constexpr int kBurst = 8;
    int connected = 0;
    clients.reserve(clients.size() + static_cast<std::size_t>(count));
    for (int done = 0; done < count; done += kBurst) {
        const std::size_t first = clients.size();
        for (int i = done; i < count && i < done + kBurst; ++i) {
            clients.emplace_back(port, ConnectMode::NoWait, std::chrono::seconds(5), from);
        }
        for (std::size_t i = first; i < clients.size(); ++i) {
            connected += clients[i].waitConnected(std::chrono::seconds(10)) ? 1 : 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // the server's turn
    }
    return connected;
}

std::string requestFor(const std::string& path)
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

} // namespace

double HostileLoadResult::percentile(double p) const
{
    if (milliseconds.empty()) {
        return 0;
    }
    std::vector<double> sorted = milliseconds;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * sorted.size()));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

HostileLoadResult runHostileLoad(const HostileLoad& load)
{
    HostileLoadResult result;
    const std::string request = requestFor(load.path);

    {
        std::vector<LoopbackClient> warm;
        connectAll(warm, load.warmUp, load.port, "127.0.0.1");
        for (LoopbackClient& client : warm) {
            client.send(request);
        }
        for (LoopbackClient& client : warm) {
            result.warmedUp += isOk(client.readUntilClose(load.requestLimit)) ? 1 : 0;
        }
    }

    std::vector<LoopbackClient> crowd;
    result.crowdConnected = connectAll(crowd, load.crowd, load.port, load.crowdFrom);
    // Trickling: one more byte of a head on every connection each second.
    std::atomic<bool> leaving{false};
    std::thread trickle;
    if (load.crowdKind == HostileLoad::Crowd::Trickling) {
        trickle = std::thread([&] {
            const std::string head = "GET /slow HTTP/1.1\r\nX-Filler: ";
            for (std::size_t i = 0; !leaving; ++i) {
                const char byte[1] = {i < head.size() ? head[i] : 'x'};
                for (LoopbackClient& client : crowd) {
                    client.trySend({byte, 1});
                }
                const auto next = Clock::now() + std::chrono::seconds(1);
                while (!leaving && Clock::now() < next) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            }
        });
    }

    auto next = Clock::now();
    for (int i = 0; i < load.requests; ++i) {
        std::this_thread::sleep_until(next);
        next += load.spacing;
        const auto start = Clock::now();
        LoopbackClient client(load.port, ConnectMode::Wait, load.requestLimit, load.requestsFrom);
        client.send(request);
        if (isOk(client.readUntilClose(load.requestLimit))) {
            ++result.answered;
            result.milliseconds.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }

    leaving = true;
    if (trickle.joinable()) {
        trickle.join();
    }
    crowd.clear();
    result.servesAfter = isOk(LoopbackClient::exchange(load.port, request, load.requestLimit));
    return result;
}

} // namespace flowloom::test

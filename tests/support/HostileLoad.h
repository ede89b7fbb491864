#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace flowloom::test {

// One client crowding an HTTP server on 127.0.0.1 while another makes
// ordinary requests, all over loopback, bounded in count and time:
//   1. warm-up: `warmUp` simultaneous requests from 127.0.0.1;
//   2. the crowd: `crowd` connections from `crowdFrom` that send nothing, or
//      that trickle a request head one byte a second;
//   3. meanwhile `requests` requests for `path`, one after another, from
//      `requestsFrom`, `spacing` apart;
//   4. the crowd leaves; one more request shows whether the server still serves.
struct HostileLoad
{
    enum class Crowd { Silent, Trickling };

    std::uint16_t port = 0;
    std::string path = "/formatted.txt";
    int warmUp = 256;
    int crowd = 300;
    Crowd crowdKind = Crowd::Silent;
    std::string crowdFrom = "127.0.0.2";
    int requests = 50;
    std::string requestsFrom = "127.0.0.3";
    std::chrono::milliseconds spacing{30};
    // A request not answered within this counts as unanswered.
    std::chrono::milliseconds requestLimit{15000};
};

struct HostileLoadResult
{
    int warmedUp = 0;                 // warm-up requests answered with 200
    int crowdConnected = 0;           // crowd connections established
    int answered = 0;                 // of the requests, answered with 200 and closed
    std::vector<double> milliseconds; // time to the full reply of each answered request
    bool servesAfter = false;

    // The p-th percentile (0..100) of the answered requests' times, nearest rank.
    double percentile(double p) const;
};

HostileLoadResult runHostileLoad(const HostileLoad& load);

} // namespace flowloom::test

#pragma once

#include <cstdint>
#include <vector>

namespace flowloom::sampling {

// Per-interface statistics since start-up. A difference is measured on the
// counters as wide as the source delivers them (64-bit from the kernel), so
// more than 4 GiB between two samples is still counted exactly.
struct TStatRec
{
    std::uint32_t InCount = 0;  // seconds with download traffic, behind the average
    std::uint32_t OutCount = 0; // seconds with upload traffic
    std::uint64_t LastIn = 0;   // received-octet counter at the previous sample
    std::uint64_t LastOut = 0;  // sent-octet counter at the previous sample
    std::uint64_t SumIn = 0;    // "Total this session", download
    std::uint64_t SumOut = 0;
    std::uint64_t CurIn = 0; // bytes per second over the last difference
    std::uint64_t CurOut = 0;
    std::uint64_t PeakIn = 0;
    std::uint64_t PeakOut = 0;

    // Truncated averages over the seconds that had traffic; 0 before any.
    std::uint64_t averageIn() const { return InCount == 0 ? 0 : SumIn / InCount; }
    std::uint64_t averageOut() const { return OutCount == 0 ? 0 : SumOut / OutCount; }
};

using TStatArr = std::vector<TStatRec>;

// Tick counters of a run, raised together on every tick that processes the
// selected interface (warm-up ticks included).
struct RunCounters
{
    std::int32_t StopCount = 0;    // page limit
    std::int32_t ScrollCount = 0;  // ticks since the graph was last cleared or restarted
    std::int32_t CaptureCount = 0; // ticks since the last page capture or clear
    std::int32_t WarmUpCount = 0;  // the first two ticks after a pause are not shown

    void raiseAll()
    {
        ++StopCount;
        ++ScrollCount;
        ++CaptureCount;
        ++WarmUpCount;
    }
};

// Addition that stops at the largest value instead of wrapping.
inline std::uint64_t saturatingAdd(std::uint64_t a, std::uint64_t b)
{
    const std::uint64_t sum = a + b;
    return sum < a ? UINT64_MAX : sum;
}

} // namespace flowloom::sampling

#pragma once

#include <cstdint>
#include <vector>

namespace flowloom::sampling {

// Per-interface statistics since start-up. Per-tick differences are 32-bit
// (one counter wrap between ticks is still exact); the session sums are 64-bit
// so that a long session never wraps.
struct TStatRec
{
    std::uint32_t InCount = 0;  // ticks on which CurIn was non-zero
    std::uint32_t OutCount = 0; // ticks on which CurOut was non-zero
    std::uint32_t LastIn = 0;   // received-octet counter at the previous sample
    std::uint32_t LastOut = 0;  // sent-octet counter at the previous sample
    std::uint64_t SumIn = 0;    // "Total this session", download
    std::uint64_t SumOut = 0;
    std::uint32_t CurIn = 0; // bytes over the last tick
    std::uint32_t CurOut = 0;
    std::uint32_t PeakIn = 0;
    std::uint32_t PeakOut = 0;

    // Truncated averages over the ticks that had traffic; 0 before any.
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

} // namespace flowloom::sampling

#pragma once

#include "sampling/IPHelper.h"
#include "sampling/StatRec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace flowloom::sampling {

// What a tick did for the selected interface.
enum class TickOutcome {
    NoSelection,     // nothing selected: the tick does nothing more
    SelectedMissing, // the selected interface is absent from this tick's table
    WarmUp,          // counted but not shown; the whole tick ends here
    Shown,           // figures are shown, totals raised and the graph fed
};

// The outcome of a tick, and the selected interface's bytes that belong in its
// cumulative totals (on warm-up ticks too: no byte is lost to a pause).
struct TickResult
{
    TickOutcome outcome = TickOutcome::NoSelection;
    std::uint64_t totalIn = 0;
    std::uint64_t totalOut = 0;
};

// The sampling interval: a difference is presented as bytes per second on its
// strength alone, unless it spans a pause.
inline constexpr std::int64_t kTickIntervalMs = 1000;

// Rates, counts, sums and peaks of every interface, updated once per tick.
//
// A difference that spans a pause (the warm-up ticks after the start-up
// snapshot, after Stop/Start or after the graph was held, and any tick that
// comes more than two intervals after the interface's previous sample) counts
// its bytes in full and its real duration, in whole seconds from the clock, in
// the count behind the average; only its average rate over that duration may
// become a peak. Peak and average thus stay per-second figures. A difference
// that spans a sleep of the machine is a pause too, but it has no rate: its
// bytes go into the sum, its current rate reads 0 and it makes no peak.
class StatisticsEngine
{
public:
    // Records for the start-up table, taken at `nowMs` on a steady clock; the
    // first differences are measured from it. `selected` is the position
    // selected then (-1 for none).
    void InitGrid(const TMIBIfArray& startupTable, std::int64_t nowMs = 0, int selected = -1);

    // One tick at `nowMs`: rows by start-up position (nullptr where an
    // interface is missing), the selected position (-1 for none). Rows after
    // the selected one are not processed on a warm-up tick; their next
    // difference then spans two ticks. acrossSleep: the machine slept since
    // the previous tick.
    TickResult Data2Grid(const std::vector<const TMIBIfRow*>& rowsByPosition, int selected,
                         RunCounters& counters, std::int64_t nowMs, bool acrossSleep = false);

    // An interface that appeared during the run (at the next position), or
    // came back with fresh counters: its next difference is measured from
    // this reading.
    void rebase(std::size_t position, const TMIBIfRow& row, std::int64_t nowMs);

    const TStatArr& records() const { return m_records; }
    const TStatRec& record(std::size_t position) const { return m_records.at(position); }
    std::size_t size() const { return m_records.size(); }

private:
    struct Sample
    {
        std::int64_t takenMs = 0;
        // A restart seen on a tick that did not process the row.
        bool inRestartPending = false;
        bool outRestartPending = false;
    };
    struct Difference
    {
        std::uint64_t in = 0;
        std::uint64_t out = 0;
        bool spansPause = false;
    };

    Difference update(std::size_t position, const TMIBIfRow& row, bool warmUpTick, bool acrossSleep,
                      std::int64_t nowMs);

    TStatArr m_records;
    std::vector<Sample> m_samples;
    // The position whose cumulative totals took the previous difference: a
    // difference that spans a pause counts in the totals only when the same
    // interface was selected before it.
    int m_countingPosition = -1;
};

// The difference of one counter between two samples. A 32-bit counter is
// taken modulo 2^32, so one wrap still gives the true difference; a 64-bit
// counter that went down counts its new reading as the traffic since a
// restart, unless it came down from the upper half of its range: then it
// wrapped.
std::uint64_t counterDifference(std::uint64_t now, std::uint64_t before, bool wide, bool restarted);

} // namespace flowloom::sampling

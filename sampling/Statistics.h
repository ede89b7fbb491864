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

// Cumulative totals per start-up position. 64-bit: a user passes 2 GiB in a
// day, and a 32-bit total would turn negative.
struct CumulativeTotals
{
    std::vector<std::int64_t> LastTotalIn;
    std::vector<std::int64_t> LastTotalOut;
    std::vector<std::string> LastInReset; // date-time texts
    std::vector<std::string> LastOutReset;

    void resize(std::size_t n);
    std::size_t size() const { return LastTotalIn.size(); }
};

// Rates, counts, sums and peaks of every interface, updated once per tick.
class StatisticsEngine
{
public:
    // Records for the start-up table; the first differences are measured from it.
    void InitGrid(const TMIBIfArray& startupTable);

    // One tick: rows by start-up position (nullptr where an interface is
    // missing), the selected position (-1 for none). Rows after the selected
    // one are not processed on a warm-up tick; their next difference then spans
    // two ticks.
    TickOutcome Data2Grid(const std::vector<const TMIBIfRow*>& rowsByPosition, int selected,
                          RunCounters& counters);

    const TStatArr& records() const { return m_records; }
    const TStatRec& record(std::size_t position) const { return m_records.at(position); }
    std::size_t size() const { return m_records.size(); }

private:
    static void update(TStatRec& rec, const TMIBIfRow& row);

    TStatArr m_records;
};

// The tick's difference of one counter: modulo 2^32, so one wrap between two
// ticks still gives the true difference; after a counter restart the new
// reading itself is the traffic since the restart.
std::uint32_t counterDifference(std::uint32_t now, std::uint32_t before, bool restarted);

} // namespace flowloom::sampling

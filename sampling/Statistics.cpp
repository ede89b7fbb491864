#include "sampling/Statistics.h"

#include <algorithm>

namespace flowloom::sampling {

void CumulativeTotals::resize(std::size_t n)
{
    LastTotalIn.resize(n);
    LastTotalOut.resize(n);
    LastInReset.resize(n);
    LastOutReset.resize(n);
}

std::uint32_t counterDifference(std::uint32_t now, std::uint32_t before, bool restarted)
{
    if (restarted)
        return now;
    return static_cast<std::uint32_t>(now - before);
}

void StatisticsEngine::InitGrid(const TMIBIfArray& startupTable)
{
    m_records.assign(startupTable.size(), TStatRec{});
    for (std::size_t i = 0; i < startupTable.size(); ++i) {
        m_records[i].LastIn = startupTable[i].inOctets;
        m_records[i].LastOut = startupTable[i].outOctets;
    }
}

void StatisticsEngine::update(TStatRec& rec, const TMIBIfRow& row)
{
    rec.CurIn = counterDifference(row.inOctets, rec.LastIn, row.inCounterReset);
    rec.SumIn += rec.CurIn;
    if (rec.CurIn != 0)
        ++rec.InCount;
    rec.LastIn = row.inOctets;

    rec.CurOut = counterDifference(row.outOctets, rec.LastOut, row.outCounterReset);
    rec.SumOut += rec.CurOut;
    if (rec.CurOut != 0)
        ++rec.OutCount;
    rec.LastOut = row.outOctets;

    if (rec.CurIn > rec.PeakIn)
        rec.PeakIn = rec.CurIn;
    if (rec.CurOut > rec.PeakOut)
        rec.PeakOut = rec.CurOut;
}

TickOutcome StatisticsEngine::Data2Grid(const std::vector<const TMIBIfRow*>& rowsByPosition,
                                        int selected, RunCounters& counters)
{
    if (selected < 0)
        return TickOutcome::NoSelection;
    TickOutcome outcome = TickOutcome::SelectedMissing;
    const std::size_t count = std::min(rowsByPosition.size(), m_records.size());
    for (std::size_t i = 0; i < count; ++i) {
        const TMIBIfRow* row = rowsByPosition[i];
        if (row == nullptr)
            continue;
        update(m_records[i], *row);
        if (static_cast<int>(i) == selected) {
            counters.raiseAll();
            if (counters.WarmUpCount < 3)
                return TickOutcome::WarmUp;
            outcome = TickOutcome::Shown;
        }
    }
    return outcome;
}

} // namespace flowloom::sampling

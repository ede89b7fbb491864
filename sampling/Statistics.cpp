#include "sampling/Statistics.h"

#include <algorithm>

namespace flowloom::sampling {

std::uint64_t counterDifference(std::uint64_t now, std::uint64_t before, bool wide, bool restarted)
{
    if (wide) {
        if (now >= before && !restarted)
            return now - before;
        // Only a counter in the upper half of its range can have wrapped
        // (2^63 bytes is centuries of traffic); lower down it restarted.
        if (now < before && before >= (std::uint64_t{1} << 63))
            return now - before;
        return now;
    }
    if (restarted)
        return static_cast<std::uint32_t>(now);
    return static_cast<std::uint32_t>(now - before);
}

void StatisticsEngine::InitGrid(const TMIBIfArray& startupTable, std::int64_t nowMs, int selected)
{
    m_records.assign(startupTable.size(), TStatRec{});
    m_samples.assign(startupTable.size(), Sample{nowMs});
    for (std::size_t i = 0; i < startupTable.size(); ++i) {
        m_records[i].LastIn = startupTable[i].inOctets;
        m_records[i].LastOut = startupTable[i].outOctets;
    }
    m_countingPosition = selected;
}

void StatisticsEngine::rebase(std::size_t position, const TMIBIfRow& row, std::int64_t nowMs)
{
    if (position >= m_records.size()) {
        m_records.resize(position + 1);
        m_samples.resize(position + 1, Sample{nowMs});
    }
    m_records[position].LastIn = row.inOctets;
    m_records[position].LastOut = row.outOctets;
    m_samples[position] = Sample{nowMs};
}

namespace {
// Adds one direction's difference that covered `seconds` to the record's
// fields; one across a sleep has no rate.
void count(std::uint64_t difference, std::uint64_t seconds, bool hasRate, std::uint64_t& cur,
           std::uint64_t& sum, std::uint32_t& count, std::uint64_t& peak)
{
    cur = hasRate ? difference / seconds : 0;
    sum = saturatingAdd(sum, difference);
    if (difference != 0)
        count = static_cast<std::uint32_t>(std::min<std::uint64_t>(UINT32_MAX, count + seconds));
    peak = std::max(peak, cur);
}
} // namespace

StatisticsEngine::Difference StatisticsEngine::update(std::size_t position, const TMIBIfRow& row,
                                                      bool warmUpTick, bool acrossSleep,
                                                      std::int64_t nowMs)
{
    TStatRec& rec = m_records[position];
    Sample& sample = m_samples[position];
    const std::int64_t elapsedMs = std::max<std::int64_t>(0, nowMs - sample.takenMs);

    Difference d;
    d.spansPause = warmUpTick || acrossSleep || elapsedMs > 2 * kTickIntervalMs;
    d.in = counterDifference(row.inOctets, rec.LastIn, row.wideCounters,
                             row.inCounterReset || sample.inRestartPending);
    d.out = counterDifference(row.outOctets, rec.LastOut, row.wideCounters,
                              row.outCounterReset || sample.outRestartPending);
    // A tick is a second on the strength of the interval; a pause is as long
    // as the clock says, in whole seconds.
    const std::uint64_t seconds = d.spansPause
                                      ? static_cast<std::uint64_t>(std::max<std::int64_t>(
                                            1, (elapsedMs + kTickIntervalMs / 2) / kTickIntervalMs))
                                      : 1;
    count(d.in, seconds, !acrossSleep, rec.CurIn, rec.SumIn, rec.InCount, rec.PeakIn);
    count(d.out, seconds, !acrossSleep, rec.CurOut, rec.SumOut, rec.OutCount, rec.PeakOut);
    rec.LastIn = row.inOctets;
    rec.LastOut = row.outOctets;
    sample = Sample{nowMs};
    return d;
}

TickResult StatisticsEngine::Data2Grid(const std::vector<const TMIBIfRow*>& rowsByPosition,
                                       int selected, RunCounters& counters, std::int64_t nowMs,
                                       bool acrossSleep)
{
    TickResult result;
    if (selected < 0)
        return result;
    result.outcome = TickOutcome::SelectedMissing;
    const std::size_t count = std::min(rowsByPosition.size(), m_records.size());
    const auto selectedAt = static_cast<std::size_t>(selected);
    const bool warmUpTick =
        selectedAt < count && rowsByPosition[selectedAt] != nullptr && counters.WarmUpCount + 1 < 3;
    for (std::size_t i = 0; i < count; ++i) {
        const TMIBIfRow* row = rowsByPosition[i];
        if (row == nullptr)
            continue;
        const Difference d = update(i, *row, warmUpTick, acrossSleep, nowMs);
        if (i != selectedAt)
            continue;
        counters.raiseAll();
        // A difference over a pause belongs to the totals of the interface
        // that was selected before it; a plain tick's to the selected one.
        if (!d.spansPause || m_countingPosition == selected) {
            result.totalIn = d.in;
            result.totalOut = d.out;
        }
        m_countingPosition = selected;
        if (counters.WarmUpCount < 3) {
            result.outcome = TickOutcome::WarmUp;
            // The rest of the rows wait a tick; a restart their table shows
            // now must not come back as a 2^32 difference on the next one.
            for (std::size_t rest = i + 1; rest < count; ++rest) {
                if (const TMIBIfRow* skipped = rowsByPosition[rest]) {
                    m_samples[rest].inRestartPending |= skipped->inCounterReset;
                    m_samples[rest].outRestartPending |= skipped->outCounterReset;
                }
            }
            return result;
        }
        result.outcome = TickOutcome::Shown;
    }
    return result;
}

} // namespace flowloom::sampling

#pragma once

#include "sampling/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace flowloom::sampling {

// One interface's cumulative totals and when each was last reset.
struct InterfaceTotals
{
    std::uint64_t totalIn = 0;
    DateTime inReset;
    std::uint64_t totalOut = 0;
    DateTime outReset;

    bool operator==(const InterfaceTotals&) const = default;
};

// The cumulative totals of every start-up position: unsigned 64-bit and
// saturating, with their reset moments, and a count of changes that tells a
// writer whether there is anything new to save.
class TotalsModel
{
public:
    // Start-up: one row per position, taken from what was stored.
    void load(std::vector<InterfaceTotals> rows);
    // A position for an interface that appeared during the run.
    void append(const InterfaceTotals& row);
    std::size_t size() const { return m_rows.size(); }
    const std::vector<InterfaceTotals>& rows() const { return m_rows; }
    const InterfaceTotals& at(std::size_t position) const { return m_rows.at(position); }
    bool has(int position) const;

    // Adds to both totals of a position; false when nothing changed.
    bool add(int position, std::uint64_t in, std::uint64_t out);
    // A reset by hand or by the month: the total restarts from zero at `now`.
    bool resetIn(int position, const DateTime& now);
    bool resetOut(int position, const DateTime& now);

    // Which totals of a position a monthly reset at `moment`, come by `now`,
    // still has to reset: one already reset between the moment and now stays
    // (resetCovers), so a clock stepped back and forward again, or a restart,
    // never resets a period twice; one stamped after now is reset.
    struct Due
    {
        bool in = false;
        bool out = false;
    };
    Due dueAt(int position, const DateTime& moment, const DateTime& now) const;

    // Raised by every change of a total or a reset moment.
    std::uint64_t changes() const { return m_changes; }

private:
    bool reset(int position, const DateTime& now, std::uint64_t InterfaceTotals::*total,
               DateTime InterfaceTotals::*moment);

    std::vector<InterfaceTotals> m_rows;
    std::uint64_t m_changes = 0;
};

} // namespace flowloom::sampling

#include "sampling/TotalsModel.h"

#include "sampling/RunControl.h"
#include "sampling/StatRec.h"

#include <utility>

namespace flowloom::sampling {

void TotalsModel::load(std::vector<InterfaceTotals> rows)
{
    m_rows = std::move(rows);
}

void TotalsModel::append(const InterfaceTotals& row)
{
    m_rows.push_back(row);
    ++m_changes;
}

bool TotalsModel::has(int position) const
{
    return position >= 0 && static_cast<std::size_t>(position) < m_rows.size();
}

bool TotalsModel::add(int position, std::uint64_t in, std::uint64_t out)
{
    if (!has(position) || (in == 0 && out == 0))
        return false;
    InterfaceTotals& row = m_rows[static_cast<std::size_t>(position)];
    row.totalIn = saturatingAdd(row.totalIn, in);
    row.totalOut = saturatingAdd(row.totalOut, out);
    ++m_changes;
    return true;
}

bool TotalsModel::reset(int position, const DateTime& now, std::uint64_t InterfaceTotals::*total,
                        DateTime InterfaceTotals::*moment)
{
    if (!has(position))
        return false;
    InterfaceTotals& row = m_rows[static_cast<std::size_t>(position)];
    row.*total = 0;
    row.*moment = now;
    ++m_changes;
    return true;
}

bool TotalsModel::resetIn(int position, const DateTime& now)
{
    return reset(position, now, &InterfaceTotals::totalIn, &InterfaceTotals::inReset);
}

bool TotalsModel::resetOut(int position, const DateTime& now)
{
    return reset(position, now, &InterfaceTotals::totalOut, &InterfaceTotals::outReset);
}

TotalsModel::Due TotalsModel::dueAt(int position, const DateTime& moment, const DateTime& now) const
{
    if (!has(position))
        return {};
    const InterfaceTotals& row = m_rows[static_cast<std::size_t>(position)];
    return {!resetCovers(row.inReset, moment, now), !resetCovers(row.outReset, moment, now)};
}

} // namespace flowloom::sampling

#include "accounting/InterfaceBook.h"

#include "sampling/Statistics.h"
#include "usage/UsageRules.h"

#include <algorithm>
#include <filesystem>

namespace flowloom::accounting {

using sampling::TMIBIfRow;

bool InterfaceBook::hasHardwareAddress(const TMIBIfRow& row)
{
    const auto end = row.physAddr.begin() + std::min<std::uint32_t>(row.physAddrLen, 8);
    return row.name != "lo" &&
           std::any_of(row.physAddr.begin(), end, [](auto b) { return b != 0; });
}

bool isPhysicalInterface(const TMIBIfRow& row)
{
    namespace fs = std::filesystem;
    if (row.name.empty() || row.name.find('/') != std::string::npos || row.name == "." ||
        row.name == "..")
        return false;
    const fs::path listed = fs::path("/sys/class/net") / row.name;
    std::error_code error;
    if (!fs::exists(listed, error))
        return InterfaceBook::hasHardwareAddress(row);
    return fs::exists(listed / "device", error);
}

InterfaceBook::InterfaceBook(Classifier physical) : m_physical(std::move(physical)) {}

void InterfaceBook::start(const sampling::TMIBIfArray& table)
{
    m_entries.clear();
    m_byIndex.clear();
    for (const TMIBIfRow& row : table)
        add(row);
    m_deltas.assign(m_entries.size(), CounterDelta{});
    m_sinceStart.assign(m_entries.size(), CounterDelta{});
    m_lastTableEmpty = table.empty();
}

std::size_t InterfaceBook::add(const TMIBIfRow& row)
{
    BookEntry entry{row, usage::identityOf(row), true, m_physical && m_physical(row)};
    m_entries.push_back(std::move(entry));
    m_byIndex[row.index] = m_entries.size() - 1;
    return m_entries.size() - 1;
}

// The first reading of an interface made during the run.
CounterDelta InterfaceBook::firstReading(const TMIBIfRow& row) const
{
    if (m_lastTableEmpty)
        return {};
    return {row.wideCounters ? row.inOctets : static_cast<std::uint32_t>(row.inOctets),
            row.wideCounters ? row.outOctets : static_cast<std::uint32_t>(row.outOctets)};
}

// Takes a row at its position; true when the name or address changed.
bool InterfaceBook::take(std::size_t position, const TMIBIfRow& row, bool sameCounters)
{
    BookEntry& entry = m_entries[position];
    CounterDelta& delta = m_deltas[position];
    if (sameCounters) {
        delta.in = sampling::counterDifference(row.inOctets, entry.row.inOctets, row.wideCounters,
                                               row.inCounterReset);
        delta.out = sampling::counterDifference(row.outOctets, entry.row.outOctets,
                                                row.wideCounters, row.outCounterReset);
    } else {
        delta = firstReading(row);
    }
    const bool renamed = entry.row.name != row.name || entry.row.physAddrLen != row.physAddrLen ||
                         entry.row.physAddr != row.physAddr;
    if (entry.row.index != row.index) {
        m_byIndex.erase(entry.row.index);
        m_byIndex[row.index] = position;
    }
    entry.row = row;
    entry.present = true;
    if (renamed) {
        entry.identity = usage::identityOf(row);
        entry.physical = m_physical && m_physical(row);
    }
    m_seen[position] = true;
    return renamed;
}

const BookChanges& InterfaceBook::tick(const sampling::TMIBIfArray& table)
{
    m_changes = BookChanges{};
    m_deltas.assign(m_entries.size(), CounterDelta{});
    m_seen.assign(m_entries.size(), false);
    std::vector<const TMIBIfRow*> unmatched;
    for (const TMIBIfRow& row : table) {
        const auto known = m_byIndex.find(row.index);
        if (known == m_byIndex.end() || m_seen[known->second]) {
            unmatched.push_back(&row);
            continue;
        }
        const std::size_t position = known->second;
        const BookEntry& entry = m_entries[position];
        // A gone interface's index taken by another interface is not a return.
        if (!entry.present && entry.row.name != row.name) {
            unmatched.push_back(&row);
            continue;
        }
        const bool wasPresent = entry.present;
        if (take(position, row, true) && wasPresent)
            m_changes.renamed.push_back(position);
        if (!wasPresent)
            m_changes.returned.push_back(position);
    }
    for (const TMIBIfRow* row : unmatched) {
        const usage::InterfaceIdentity identity = usage::identityOf(*row);
        const auto back = std::find_if(m_entries.begin(), m_entries.end(), [&](const BookEntry& e) {
            return !e.present && e.identity == identity &&
                   !m_seen[static_cast<std::size_t>(&e - m_entries.data())];
        });
        if (back != m_entries.end()) {
            const auto position = static_cast<std::size_t>(back - m_entries.begin());
            take(position, *row, false); // fresh counters: made during the run
            m_changes.returned.push_back(position);
            continue;
        }
        const std::size_t position = add(*row);
        m_deltas.push_back(firstReading(*row));
        m_seen.push_back(true);
        m_changes.appeared.push_back(position);
    }
    for (std::size_t p = 0; p < m_entries.size(); ++p) {
        if (m_entries[p].present && !m_seen[p]) {
            m_entries[p].present = false;
            m_changes.vanished.push_back(p);
        }
    }
    m_sinceStart.resize(m_entries.size());
    for (std::size_t p = 0; p < m_entries.size(); ++p) {
        m_sinceStart[p].in = usage::saturatingAdd(m_sinceStart[p].in, m_deltas[p].in);
        m_sinceStart[p].out = usage::saturatingAdd(m_sinceStart[p].out, m_deltas[p].out);
    }
    m_lastTableEmpty = table.empty();
    return m_changes;
}

std::vector<const TMIBIfRow*> InterfaceBook::rowsByPosition() const
{
    std::vector<const TMIBIfRow*> rows(m_entries.size(), nullptr);
    for (std::size_t p = 0; p < m_entries.size(); ++p) {
        if (m_entries[p].present)
            rows[p] = &m_entries[p].row;
    }
    return rows;
}

} // namespace flowloom::accounting

#pragma once

#include "sampling/IPHelper.h"
#include "usage/InterfaceIdentity.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace flowloom::accounting {

// Bytes one interface received and sent since the previous tick.
struct CounterDelta
{
    std::uint64_t in = 0;
    std::uint64_t out = 0;
};

// One interface of the run, at its position: the start-up table's rows first,
// in their order, then every interface that appears later, in order of
// appearance. A position never changes its meaning during a run.
struct BookEntry
{
    sampling::TMIBIfRow row; // the latest reading
    usage::InterfaceIdentity identity;
    bool present = true;
    bool physical = false; // neither loopback nor virtual
};

// The system's own word on whether an interface is physical: one the kernel
// lists with a device behind it. An interface the system does not list (a
// scripted table) is judged by its hardware address.
bool isPhysicalInterface(const sampling::TMIBIfRow& row);

// What a tick changed in the book, by position.
struct BookChanges
{
    std::vector<std::size_t> appeared; // new positions at the end
    std::vector<std::size_t> returned; // back after being gone
    std::vector<std::size_t> renamed;  // same interface, another name or address
    std::vector<std::size_t> vanished; // gone from this tick's table

    bool any() const
    {
        return !appeared.empty() || !returned.empty() || !renamed.empty() || !vanished.empty();
    }
};

// Every interface of the system, every tick: matches each table row to its
// position and takes its counters' difference since the previous tick.
//
// A row is matched by its kernel index, which names one interface for as long
// as it exists (a rename keeps it). An interface that was gone and comes back
// under a new index (a re-plugged adapter, a VPN started again) takes its old
// position when its identity (name and hardware address) matches. Either way
// such an interface was made during the run, so its counters hold only
// traffic since then: its first reading counts in full. Only after a table
// that came back empty (a failed snapshot) is a first reading just the base of
// the next difference, since the interface may have been there all along.
class InterfaceBook
{
public:
    // Whether a row is a physical interface: the default takes every
    // interface with a hardware address other than loopback; the program
    // asks the system.
    using Classifier = std::function<bool(const sampling::TMIBIfRow&)>;
    static bool hasHardwareAddress(const sampling::TMIBIfRow& row);

    explicit InterfaceBook(Classifier physical = &hasHardwareAddress);

    void start(const sampling::TMIBIfArray& table);
    // One tick's table; the differences are then in deltas(), by position.
    const BookChanges& tick(const sampling::TMIBIfArray& table);

    std::size_t size() const { return m_entries.size(); }
    const BookEntry& at(std::size_t position) const { return m_entries.at(position); }
    const std::vector<CounterDelta>& deltas() const { return m_deltas; }
    // Each position's bytes since start(): the sum of its differences, which
    // only grows (a counter for other programs to take rates of).
    const std::vector<CounterDelta>& sinceStart() const { return m_sinceStart; }
    // The latest row of each position, or nullptr where the interface is gone.
    std::vector<const sampling::TMIBIfRow*> rowsByPosition() const;

private:
    std::size_t add(const sampling::TMIBIfRow& row);
    bool take(std::size_t position, const sampling::TMIBIfRow& row, bool sameCounters);
    CounterDelta firstReading(const sampling::TMIBIfRow& row) const;

    Classifier m_physical;
    std::vector<BookEntry> m_entries;
    std::unordered_map<std::uint32_t, std::size_t> m_byIndex;
    std::vector<CounterDelta> m_deltas;
    std::vector<CounterDelta> m_sinceStart;
    std::vector<bool> m_seen; // per position, within one tick
    bool m_lastTableEmpty = false;
    BookChanges m_changes;
};

} // namespace flowloom::accounting

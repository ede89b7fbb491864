#pragma once

#include "sampling/IPHelper.h"

#include <cstddef>
#include <vector>

namespace flowloom::sampling {

// Keeps each interface at the position it had in the start-up table. Interfaces
// come and go during a run (VPNs, USB adapters, docks); pairing rows by their
// place in each new table would hand one interface's counters to another.
// A tick's rows are matched by identity (index and name); a vanished interface's
// position gets no row, and interfaces that appear later have no position.
class InterfaceTracker
{
public:
    void reset(const TMIBIfArray& startupTable);
    std::size_t positions() const { return m_identities.size(); }

    // Row for each start-up position, or nullptr where the interface is missing.
    // The pointers refer into `table`.
    std::vector<const TMIBIfRow*> match(const TMIBIfArray& table) const;

private:
    struct Identity
    {
        std::uint32_t index;
        std::string name;
    };
    std::vector<Identity> m_identities;
};

} // namespace flowloom::sampling

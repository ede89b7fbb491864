#include "sampling/InterfaceTracker.h"

namespace flowloom::sampling {

void InterfaceTracker::reset(const TMIBIfArray& startupTable)
{
    m_identities.clear();
    m_identities.reserve(startupTable.size());
    for (const TMIBIfRow& row : startupTable)
        m_identities.push_back({row.index, row.name});
}

std::vector<const TMIBIfRow*> InterfaceTracker::match(const TMIBIfArray& table) const
{
    std::vector<const TMIBIfRow*> byPosition(m_identities.size(), nullptr);
    // Tables are small and usually unchanged: try the same place first.
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TMIBIfRow& row = table[i];
        auto same = [&](std::size_t p) {
            return m_identities[p].index == row.index && m_identities[p].name == row.name;
        };
        if (i < m_identities.size() && same(i)) {
            byPosition[i] = &row;
            continue;
        }
        for (std::size_t p = 0; p < m_identities.size(); ++p) {
            if (same(p) && byPosition[p] == nullptr) {
                byPosition[p] = &row;
                break;
            }
        }
    }
    return byPosition;
}

} // namespace flowloom::sampling

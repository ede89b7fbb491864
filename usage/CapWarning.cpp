#include "usage/CapWarning.h"

#include "usage/UsageRules.h"

#include "sampling/ByteUnits.h"

namespace flowloom::usage {

std::uint64_t CapRule::capBytes() const
{
    if (amount <= 0)
        return 0;
    const std::uint64_t unit = unitItem == 0 ? sampling::kMiB : sampling::kGiB;
    const auto value = static_cast<std::uint64_t>(amount);
    return value > UINT64_MAX / unit ? UINT64_MAX : value * unit;
}

std::uint64_t CapRule::counted(std::uint64_t in, std::uint64_t out) const
{
    switch (counts) {
    case CapCounts::Download:
        return in;
    case CapCounts::Upload:
        return out;
    case CapCounts::Both:
        return saturatingAdd(in, out);
    }
    return in;
}

CapLevel capLevelOf(const CapRule& rule, std::uint64_t used)
{
    const std::uint64_t cap = rule.capBytes();
    if (!rule.on || cap == 0)
        return CapLevel::None;
    if (used >= cap)
        return CapLevel::Full;
    const int share =
        rule.sharePercent < 1 ? 1 : (rule.sharePercent > 100 ? 100 : rule.sharePercent);
    // used / cap >= share / 100; long double holds every product exactly up to 2^64.
    const long double lhs = static_cast<long double>(used) * 100.0L;
    const long double rhs = static_cast<long double>(cap) * share;
    return lhs >= rhs ? CapLevel::Share : CapLevel::None;
}

void CapWarnings::enterPeriod(const std::string& periodStart, CapLevel shown)
{
    m_known = true;
    m_periodStart = periodStart;
    m_shown = shown;
}

CapLevel CapWarnings::check(const CapRule& rule, std::uint64_t used)
{
    // No cap at all says nothing about the levels shown under the last one.
    if (!m_known || !rule.on || rule.capBytes() == 0)
        return CapLevel::None;
    const CapLevel reached = capLevelOf(rule, used);
    if (static_cast<int>(reached) < static_cast<int>(m_shown)) {
        // A raised cap: what lies above the usage now is due again, silently.
        m_shown = reached;
        return CapLevel::None;
    }
    if (reached == m_shown)
        return CapLevel::None;
    m_shown = reached;
    return reached;
}

} // namespace flowloom::usage

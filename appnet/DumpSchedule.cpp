#include "appnet/DumpSchedule.h"

#include <algorithm>

namespace flowloom::appnet {

namespace {
constexpr std::uint64_t kAllowancePerTick = 4096;
constexpr std::uint64_t kAllowanceShareDivisor = 8;
} // namespace

std::uint64_t unexplainedAllowance(std::uint64_t explainedBytes, int ticks)
{
    return explainedBytes / kAllowanceShareDivisor +
           kAllowancePerTick * static_cast<std::uint64_t>(std::max(ticks, 1));
}

bool beyondAllowance(std::uint64_t interfaceBytes, std::uint64_t explainedBytes, int ticks)
{
    return interfaceBytes > explainedBytes &&
           interfaceBytes - explainedBytes > unexplainedAllowance(explainedBytes, ticks);
}

bool DumpSchedule::dueBeforeLookups(Clock::time_point now) const
{
    // A clock that went back (it should not) counts as a period over.
    const Clock::duration period =
        m_unexplainedSinceDump ? Clock::duration(kFullDumpInterval) : kQuietDumpInterval;
    return !m_lastDump || now < *m_lastDump || now - *m_lastDump >= period;
}

bool DumpSchedule::dueOnEvidence(Clock::time_point now, std::uint64_t interfaceBytes,
                                 std::uint64_t explainedBytes, int ticks) const
{
    if (!beyondAllowance(interfaceBytes, explainedBytes, ticks))
        return false;
    return !m_lastFurther || now < *m_lastFurther || now - *m_lastFurther >= m_spacing;
}

void DumpSchedule::lookedFurther(Clock::time_point now, bool foundBytes)
{
    if (foundBytes)
        m_spacing = Clock::duration::zero();
    else
        m_spacing =
            std::clamp<Clock::duration>(2 * m_spacing, kFirstEvidenceSpacing, kFullDumpInterval);
    m_lastFurther = now;
    m_unexplainedSinceDump = true;
}

void DumpSchedule::forget()
{
    m_lastDump.reset();
    m_lastFurther.reset();
    m_spacing = Clock::duration::zero();
    m_unexplainedSinceDump = false;
}

} // namespace flowloom::appnet

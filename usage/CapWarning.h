#pragma once

#include <cstdint>
#include <string>

namespace flowloom::usage {

// What a data cap counts.
enum class CapCounts : int { Download = 0, Upload = 1, Both = 2 };

// The data-cap warning's settings. Megabytes and gigabytes are the program's
// own (sampling::kMiB, kGiB), as the Statistics page shows them.
struct CapRule
{
    bool on = false;
    std::int64_t amount = 50;
    int unitItem = 1; // 0 MB, 1 GB
    CapCounts counts = CapCounts::Download;
    int sharePercent = 80; // the early warning, 1..100

    std::uint64_t capBytes() const;
    std::uint64_t counted(std::uint64_t in, std::uint64_t out) const;
};

// How far a period's usage has come; stored with the period as a number.
enum class CapLevel : int { None = 0, Share = 1, Full = 2 };

CapLevel capLevelOf(const CapRule& rule, std::uint64_t used);

// Each warning once per billing period: the share, then the full cap. A jump
// past both at once shows only the full one. The level already shown is kept
// with the period, so a restart within it does not warn again, and a new
// period starts from none. A cap raised (or a share, or what is counted,
// changed) so that the usage now lies below a level already shown makes that
// level due again: the new cap warns when it is crossed in its turn. Usage
// only grows within a period, so a restart that finds the stored level above
// the usage can only be such a change.
class CapWarnings
{
public:
    // The period's start and the level shown in it so far (from the store).
    void enterPeriod(const std::string& periodStart, CapLevel shown);
    bool inPeriod(const std::string& periodStart) const
    {
        return m_known && m_periodStart == periodStart;
    }
    CapLevel shown() const { return m_shown; }

    // The warning to show now, or None; the level shown is raised to it, or
    // lowered to the level the usage reaches under a changed rule.
    CapLevel check(const CapRule& rule, std::uint64_t used);

private:
    bool m_known = false;
    std::string m_periodStart;
    CapLevel m_shown = CapLevel::None;
};

} // namespace flowloom::usage

#pragma once

#include "appnet/Application.h"
#include "usage/UsageStore.h"

#include <cstdint>
#include <string>
#include <vector>

namespace flowloom::appnet {

// One row of the Applications page.
struct ApplicationRow
{
    std::string name;
    int kind = 0;      // IdentifiedBy, or kOtherKind
    double inRate = 0; // bytes per second, this tick
    double outRate = 0;
    std::uint64_t todayIn = 0;
    std::uint64_t todayOut = 0;
    std::uint64_t periodIn = 0;
    std::uint64_t periodOut = 0;

    bool operator==(const ApplicationRow&) const = default;
};

struct ApplicationTable
{
    std::vector<ApplicationRow> rows; // the Other row last
    // Attributed bytes over all bytes of the tick, 0..1; below 0 when the
    // tick moved nothing.
    double attributedShare = -1;
};

// What the kind of a row says ("process", "cgroup", "user", or nothing for Other).
std::string kindText(int kind);

// The page's rows: this tick's rates (bytes over `seconds`) joined with the
// history's totals of today and of the period, by name and kind. Applications
// sort by their current rate (download and upload), then by today's bytes,
// then by name; "Other (UDP and unattributed)" comes last, always.
ApplicationTable applicationTable(const std::vector<ApplicationBytes>& live, const ByteCount& other,
                                  double seconds, const std::vector<usage::ApplicationUsage>& today,
                                  const std::vector<usage::ApplicationUsage>& period);

} // namespace flowloom::appnet

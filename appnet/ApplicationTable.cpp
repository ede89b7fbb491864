#include "appnet/ApplicationTable.h"

#include "appnet/ApplicationTraffic.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace flowloom::appnet {

std::string kindText(int kind)
{
    if (kind < 0 || kind > static_cast<int>(IdentifiedBy::User))
        return {};
    return std::string(identifiedByText(static_cast<IdentifiedBy>(kind)));
}

ApplicationTable applicationTable(const std::vector<ApplicationBytes>& live, const ByteCount& other,
                                  double seconds, const std::vector<usage::ApplicationUsage>& today,
                                  const std::vector<usage::ApplicationUsage>& period)
{
    std::map<std::pair<std::string, int>, ApplicationRow> rows;
    auto rowOf = [&](const std::string& name, int kind) -> ApplicationRow& {
        ApplicationRow& row = rows[{name, kind}];
        row.name = name;
        row.kind = kind;
        return row;
    };
    const double perSecond = seconds > 0 ? 1.0 / seconds : 0.0;
    std::uint64_t attributed = 0;
    for (const ApplicationBytes& a : live) {
        ApplicationRow& row = rowOf(a.application.name, static_cast<int>(a.application.by));
        row.inRate = static_cast<double>(a.bytes.in) * perSecond;
        row.outRate = static_cast<double>(a.bytes.out) * perSecond;
        attributed += a.bytes.in + a.bytes.out;
    }
    ApplicationRow& otherRow = rowOf(kOtherName, kOtherKind);
    otherRow.inRate = static_cast<double>(other.in) * perSecond;
    otherRow.outRate = static_cast<double>(other.out) * perSecond;
    for (const usage::ApplicationUsage& u : today) {
        ApplicationRow& row = rowOf(u.application, u.kind);
        row.todayIn = u.in;
        row.todayOut = u.out;
    }
    for (const usage::ApplicationUsage& u : period) {
        ApplicationRow& row = rowOf(u.application, u.kind);
        row.periodIn = u.in;
        row.periodOut = u.out;
    }

    ApplicationTable table;
    ApplicationRow last;
    for (auto& [key, row] : rows) {
        if (row.kind == kOtherKind)
            last = row;
        else
            table.rows.push_back(row);
    }
    std::sort(table.rows.begin(), table.rows.end(),
              [](const ApplicationRow& a, const ApplicationRow& b) {
                  const double rateA = a.inRate + a.outRate;
                  const double rateB = b.inRate + b.outRate;
                  const std::uint64_t todayA = a.todayIn + a.todayOut;
                  const std::uint64_t todayB = b.todayIn + b.todayOut;
                  return std::tie(rateB, todayB, a.name, a.kind) <
                         std::tie(rateA, todayA, b.name, b.kind);
              });
    table.rows.push_back(last);
    const std::uint64_t all = attributed + other.in + other.out;
    if (all > 0)
        table.attributedShare = static_cast<double>(attributed) / static_cast<double>(all);
    return table;
}

} // namespace flowloom::appnet

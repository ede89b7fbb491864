#pragma once

#include "accounting/InterfaceBook.h"
#include "sampling/DateTime.h"
#include "sampling/RunControl.h"
#include "sampling/TotalsModel.h"
#include "usage/CapWarning.h"
#include "usage/UsageHistory.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace flowloom::accounting {

// What the data cap is measured on: the selected interface, or the sum of
// the physical interfaces (neither loopback nor virtual).
enum class CapScope { Selected = 0, Physical = 1 };

// The identity under which the sum of the physical interfaces is kept in the
// history. No interface can be named so: a colon is not allowed in a name.
const usage::InterfaceIdentity& physicalSumIdentity();

// One tick's bytes summed as the counting beside the interfaces wants them:
// the physical interfaces (the internet-facing ones) and loopback.
struct TickTraffic
{
    CounterDelta physical;
    CounterDelta loopback;
};

// What one tick did, for the faces that show it.
struct TickReport
{
    BookChanges changes;
    // The totals of the selected interface that the monthly reset reset now.
    sampling::TotalsModel::Due monthlyReset;
    // A data-cap warning to show now (at most one per level and period).
    usage::CapLevel cap = usage::CapLevel::None;
    usage::PeriodStatus capStatus;
    std::string capInterface;
    TickTraffic traffic;
};

// The counting of a run, whatever the window does: every tick it takes the
// differences of every interface and adds them to each interface's usage
// history, adds the selected interface's to its cumulative totals, resets
// those totals on the monthly moment, and checks the data cap. Plotting,
// the page limit, a held graph or a hidden window change none of it.
class AccountingCore
{
public:
    explicit AccountingCore(
        const sampling::DateTime& startedAt,
        InterfaceBook::Classifier physical = &InterfaceBook::hasHardwareAddress);

    // Start-up: the first table is the base of the first differences; the
    // stored totals are by position (missing positions start from zero now).
    void start(const sampling::TMIBIfArray& table, std::vector<sampling::InterfaceTotals> stored,
               const sampling::DateTime& now);
    // The history that every tick's bytes go to; none keeps no history.
    void attachHistory(usage::UsageHistory* history);

    void setSelected(int position) { m_selected = position; }
    int selected() const { return m_selected; }
    // The monthly reset of the totals, which is also the billing period.
    void setResetRule(const usage::BillingRule& rule);
    const usage::BillingRule& resetRule() const { return m_resetRule; }
    void setCapRule(const usage::CapRule& rule, CapScope scope);
    CapScope capScope() const { return m_capScope; }
    const usage::CapRule& capRule() const { return m_capRule; }

    TickReport tick(const sampling::TMIBIfArray& table, const sampling::DateTime& now);
    // Counting that runs in every tick beside the interfaces' (the traffic
    // per application): called after the tick's bytes are recorded.
    using TickHook = std::function<void(const TickTraffic&, const sampling::DateTime&)>;
    void setTickHook(TickHook hook) { m_tickHook = std::move(hook); }

    // Resets by hand of the selected interface's totals; false when nothing changed.
    bool resetIn(const sampling::DateTime& now);
    bool resetOut(const sampling::DateTime& now);

    const InterfaceBook& interfaces() const { return m_book; }
    const sampling::TotalsModel& totals() const { return m_totals; }
    // The history the ticks go to, or none.
    usage::UsageHistory* history() const { return m_history; }
    // The identity the data cap and the billing period are measured on.
    std::optional<usage::InterfaceIdentity> capIdentity() const;
    // The billing period as the last tick left it, on the tick's capIdentity();
    // none without a history or an interface to measure. Worked out when first
    // asked for after a tick: it takes a few time-zone conversions, and with
    // nobody asking (the web server off) a tick then spends nothing on it.
    const std::optional<usage::PeriodStatus>& billing() const;

private:
    void record(const sampling::DateTime& now);
    void checkCap(TickReport& report, const sampling::DateTime& now);
    TickTraffic sumTraffic() const;

    InterfaceBook m_book;
    sampling::TotalsModel m_totals;
    sampling::MonthlyReset m_monthlyReset;
    usage::UsageHistory* m_history = nullptr;
    usage::BillingRule m_resetRule;
    usage::CapRule m_capRule;
    CapScope m_capScope = CapScope::Selected;
    int m_selected = -1;
    mutable std::optional<usage::PeriodStatus> m_billing;
    // The tick whose billing period is still to be worked out, and its identity.
    struct BillingDue
    {
        usage::InterfaceIdentity identity;
        sampling::DateTime at;
    };
    mutable std::optional<BillingDue> m_billingDue;
    TickHook m_tickHook;
};

} // namespace flowloom::accounting

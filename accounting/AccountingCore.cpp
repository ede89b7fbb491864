#include "accounting/AccountingCore.h"

#include "sampling/StatRec.h"

namespace flowloom::accounting {

const usage::InterfaceIdentity& physicalSumIdentity()
{
    static const usage::InterfaceIdentity sum{":physical", ""};
    return sum;
}

AccountingCore::AccountingCore(const sampling::DateTime& startedAt,
                               InterfaceBook::Classifier physical)
    : m_book(std::move(physical)), m_monthlyReset(startedAt)
{}

void AccountingCore::start(const sampling::TMIBIfArray& table,
                           std::vector<sampling::InterfaceTotals> stored,
                           const sampling::DateTime& now)
{
    m_book.start(table);
    stored.resize(table.size(), sampling::InterfaceTotals{0, now, 0, now});
    m_totals.load(std::move(stored));
}

void AccountingCore::attachHistory(usage::UsageHistory* history)
{
    m_history = history;
    if (m_history != nullptr)
        m_history->setBillingRule(m_resetRule);
}

void AccountingCore::setResetRule(const usage::BillingRule& rule)
{
    m_resetRule = rule;
    if (m_history != nullptr)
        m_history->setBillingRule(rule);
}

void AccountingCore::setCapRule(const usage::CapRule& rule, CapScope scope)
{
    m_capRule = rule;
    m_capScope = scope;
}

std::optional<usage::InterfaceIdentity> AccountingCore::capIdentity() const
{
    if (m_capScope == CapScope::Physical)
        return physicalSumIdentity();
    if (m_selected < 0 || static_cast<std::size_t>(m_selected) >= m_book.size())
        return std::nullopt;
    return m_book.at(static_cast<std::size_t>(m_selected)).identity;
}

TickReport AccountingCore::tick(const sampling::TMIBIfArray& table, const sampling::DateTime& now)
{
    TickReport report;
    // The reset comes first: the bytes of the tick that reaches the moment
    // belong to the new period.
    if (const auto moment =
            m_monthlyReset.tick(m_resetRule.automatic, m_resetRule.dayItem, m_resetRule.hour,
                                m_resetRule.minute, m_resetRule.second, now)) {
        report.monthlyReset = m_totals.dueAt(m_selected, *moment, now);
        if (report.monthlyReset.in)
            m_totals.resetIn(m_selected, now);
        if (report.monthlyReset.out)
            m_totals.resetOut(m_selected, now);
    }
    report.changes = m_book.tick(table);
    for (const std::size_t position : report.changes.appeared) {
        (void)position;
        m_totals.append(sampling::InterfaceTotals{0, now, 0, now});
    }
    const std::vector<CounterDelta>& deltas = m_book.deltas();
    if (m_selected >= 0 && static_cast<std::size_t>(m_selected) < deltas.size()) {
        const CounterDelta& d = deltas[static_cast<std::size_t>(m_selected)];
        m_totals.add(m_selected, d.in, d.out);
    }
    record(now);
    checkCap(report, now);
    m_billing.reset();
    m_billingDue.reset();
    if (const auto identity = capIdentity(); identity && m_history != nullptr)
        m_billingDue = BillingDue{*identity, now};
    report.traffic = sumTraffic();
    if (m_tickHook)
        m_tickHook(report.traffic, now);
    return report;
}

const std::optional<usage::PeriodStatus>& AccountingCore::billing() const
{
    if (m_billingDue && m_history != nullptr)
        m_billing = m_history->periodStatus(m_billingDue->identity, m_billingDue->at);
    m_billingDue.reset();
    return m_billing;
}

void AccountingCore::record(const sampling::DateTime& now)
{
    if (m_history == nullptr)
        return;
    const std::vector<CounterDelta>& deltas = m_book.deltas();
    CounterDelta physical;
    for (std::size_t p = 0; p < deltas.size(); ++p) {
        const CounterDelta& d = deltas[p];
        if (d.in == 0 && d.out == 0)
            continue;
        const BookEntry& entry = m_book.at(p);
        m_history->add(entry.identity, now, d.in, d.out);
        if (entry.physical) {
            physical.in = sampling::saturatingAdd(physical.in, d.in);
            physical.out = sampling::saturatingAdd(physical.out, d.out);
        }
    }
    m_history->add(physicalSumIdentity(), now, physical.in, physical.out);
}

TickTraffic AccountingCore::sumTraffic() const
{
    TickTraffic traffic;
    const std::vector<CounterDelta>& deltas = m_book.deltas();
    for (std::size_t p = 0; p < deltas.size(); ++p) {
        const BookEntry& entry = m_book.at(p);
        CounterDelta* sum = entry.physical           ? &traffic.physical
                            : entry.row.name == "lo" ? &traffic.loopback
                                                     : nullptr;
        if (sum == nullptr)
            continue;
        sum->in = sampling::saturatingAdd(sum->in, deltas[p].in);
        sum->out = sampling::saturatingAdd(sum->out, deltas[p].out);
    }
    return traffic;
}

void AccountingCore::checkCap(TickReport& report, const sampling::DateTime& now)
{
    if (m_history == nullptr || !m_capRule.on)
        return;
    const std::optional<usage::InterfaceIdentity> identity = capIdentity();
    if (!identity)
        return;
    report.cap = m_history->checkCap(*identity, now, m_capRule);
    if (report.cap == usage::CapLevel::None)
        return;
    report.capStatus = m_history->periodStatus(*identity, now);
    report.capInterface =
        m_capScope == CapScope::Physical ? std::string("the physical interfaces") : identity->name;
}

bool AccountingCore::resetIn(const sampling::DateTime& now)
{
    return m_totals.resetIn(m_selected, now);
}

bool AccountingCore::resetOut(const sampling::DateTime& now)
{
    return m_totals.resetOut(m_selected, now);
}

} // namespace flowloom::accounting

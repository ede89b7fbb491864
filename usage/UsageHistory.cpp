#include "usage/UsageHistory.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace flowloom::usage {

void UsageHistory::attach(UsageStore* reader, std::uint64_t writtenSeq)
{
    m_reader = reader;
    m_nextSeq = writtenSeq + 1;
    m_pending.seq = m_nextSeq;
    forgetTracked();
}

void UsageHistory::forgetTracked()
{
    m_tracked.clear();
    m_trackedAt.clear();
}

void UsageHistory::setBillingRule(const BillingRule& rule)
{
    if (rule == m_rule)
        return;
    m_rule = rule;
    forgetTracked();
}

UsageHistory::Tracked& UsageHistory::current(const InterfaceIdentity& identity, const DateTime& now)
{
    const auto [at, added] = m_trackedAt.try_emplace(identity, m_tracked.size());
    if (added) {
        m_tracked.emplace_back();
        m_tracked.back().identity = identity;
        discover(m_tracked.back(), now);
        return m_tracked.back();
    }
    Tracked& tracked = m_tracked[at->second];
    if (!tracked.period.contains(now))
        discover(tracked, now);
    return tracked;
}

// Looks up the period `now` falls in. A period without a record whose
// predecessor has none either was not followed under this rule (the rule
// changed, or the history is new): its usage so far is estimated from the
// days, counting the first day from the period's start on.
void UsageHistory::discover(Tracked& tracked, const DateTime& now)
{
    tracked.period = billingPeriodAt(m_rule, now);
    tracked.in = tracked.out = 0;
    tracked.startKey = momentKey(tracked.period.start);
    const std::string& start = tracked.startKey;
    if (m_reader == nullptr) {
        tracked.warnings.enterPeriod(start, CapLevel::None);
        return;
    }
    const std::vector<UsageBatch> held = unsaved();
    if (const auto known = m_reader->period(tracked.identity, start, held)) {
        tracked.in = known->in;
        tracked.out = known->out;
        tracked.warnings.enterPeriod(start, static_cast<CapLevel>(std::clamp(known->warned, 0, 2)));
        return;
    }
    tracked.warnings.enterPeriod(start, CapLevel::None);
    const BillingPeriod before = previousPeriod(m_rule, tracked.period);
    if (m_reader->period(tracked.identity, momentKey(before.start), held))
        return; // followed until the period began: it starts from nothing
    const std::string firstDay = dayKey(tracked.period.start);
    const double share = shareOfDayFrom(m_zone, tracked.period.start);
    for (const DayUsage& day : m_reader->days(tracked.identity, firstDay, dayKey(now), held)) {
        const double part = day.day == firstDay ? share : 1.0;
        tracked.in = saturatingAdd(tracked.in, static_cast<std::uint64_t>(std::llround(
                                                   static_cast<double>(day.in) * part)));
        tracked.out = saturatingAdd(tracked.out, static_cast<std::uint64_t>(std::llround(
                                                     static_cast<double>(day.out) * part)));
    }
    PeriodDelta& seed = pendingPeriod(tracked);
    seed.in = saturatingAdd(seed.in, tracked.in);
    seed.out = saturatingAdd(seed.out, tracked.out);
}

PeriodDelta& UsageHistory::pendingPeriod(Tracked& tracked)
{
    auto& periods = m_pending.periods;
    if (tracked.periodAt < periods.size() && periods[tracked.periodAt].start == tracked.startKey &&
        periods[tracked.periodAt].identity == tracked.identity)
        return periods[tracked.periodAt];
    for (std::size_t i = 0; i < periods.size(); ++i) {
        if (periods[i].start == tracked.startKey && periods[i].identity == tracked.identity) {
            tracked.periodAt = i;
            return periods[i];
        }
    }
    periods.push_back(PeriodDelta{tracked.identity, tracked.startKey, 0, 0, 0});
    tracked.periodAt = periods.size() - 1;
    return periods.back();
}

void UsageHistory::add(const InterfaceIdentity& identity, const DateTime& now, std::uint64_t in,
                       std::uint64_t out)
{
    if (in == 0 && out == 0)
        return;
    Tracked& tracked = current(identity, now);
    tracked.in = saturatingAdd(tracked.in, in);
    tracked.out = saturatingAdd(tracked.out, out);
    PeriodDelta& period = pendingPeriod(tracked);
    period.in = saturatingAdd(period.in, in);
    period.out = saturatingAdd(period.out, out);

    if (tracked.dayKey.empty() || tracked.keyDate.year != now.year ||
        tracked.keyDate.month != now.month || tracked.keyDate.day != now.day) {
        tracked.dayKey = dayKey(now);
        tracked.keyDate = now;
    }
    const std::string& day = tracked.dayKey;
    auto& days = m_pending.days;
    auto sameDay = [&](const DayDelta& delta) {
        return delta.day == day && delta.identity == identity;
    };
    if (tracked.dayAt >= days.size() || !sameDay(days[tracked.dayAt])) {
        const auto found = std::find_if(days.begin(), days.end(), sameDay);
        tracked.dayAt = static_cast<std::size_t>(found - days.begin());
        if (found == days.end())
            days.push_back(DayDelta{identity, day, 0, 0});
    }
    DayDelta& delta = days[tracked.dayAt];
    delta.in = saturatingAdd(delta.in, in);
    delta.out = saturatingAdd(delta.out, out);
}

void UsageHistory::addApplication(const InterfaceIdentity& identity, const std::string& application,
                                  int kind, const DateTime& now, std::uint64_t in,
                                  std::uint64_t out)
{
    if (in == 0 && out == 0)
        return;
    const std::string day = dayKey(now);
    for (ApplicationDayDelta& delta : m_pending.applications) {
        if (delta.day == day && delta.kind == kind && delta.application == application &&
            delta.identity == identity) {
            delta.in = saturatingAdd(delta.in, in);
            delta.out = saturatingAdd(delta.out, out);
            return;
        }
    }
    m_pending.applications.push_back(
        ApplicationDayDelta{identity, application, kind, day, in, out});
}

std::vector<ApplicationUsage> UsageHistory::applications(const InterfaceIdentity& identity,
                                                         const std::string& from,
                                                         const std::string& to)
{
    if (m_reader != nullptr)
        return m_reader->applications(identity, from, to, unsaved());
    // Kept in memory only: what this run recorded.
    std::vector<ApplicationUsage> result;
    for (const UsageBatch& batch : unsaved()) {
        for (const ApplicationDayDelta& a : batch.applications) {
            if (a.identity != identity || a.day < from || a.day > to)
                continue;
            auto at = std::find_if(result.begin(), result.end(), [&](const ApplicationUsage& u) {
                return u.application == a.application && u.kind == a.kind;
            });
            if (at == result.end())
                at = result.insert(result.end(), ApplicationUsage{a.application, a.kind, 0, 0});
            at->in = saturatingAdd(at->in, a.in);
            at->out = saturatingAdd(at->out, a.out);
        }
    }
    std::sort(result.begin(), result.end(),
              [](const ApplicationUsage& a, const ApplicationUsage& b) {
                  return std::tie(a.application, a.kind) < std::tie(b.application, b.kind);
              });
    return result;
}

PeriodStatus UsageHistory::periodStatus(const InterfaceIdentity& identity, const DateTime& now)
{
    const Tracked& tracked = current(identity, now);
    PeriodStatus status;
    status.period = tracked.period;
    status.in = tracked.in;
    status.out = tracked.out;
    status.elapsedSeconds = secondsBetween(m_zone, tracked.period.start, now);
    status.lengthSeconds = secondsBetween(m_zone, tracked.period.start, tracked.period.end);
    return status;
}

CapLevel UsageHistory::checkCap(const InterfaceIdentity& identity, const DateTime& now,
                                const CapRule& rule)
{
    Tracked& tracked = current(identity, now);
    const CapLevel show = tracked.warnings.check(rule, rule.counted(tracked.in, tracked.out));
    if (show != CapLevel::None) {
        PeriodDelta& mark = pendingPeriod(tracked);
        mark.warned = std::max(mark.warned, static_cast<int>(show));
    }
    return show;
}

std::vector<DayUsage> UsageHistory::days(const InterfaceIdentity& identity, const std::string& from,
                                         const std::string& to)
{
    if (m_reader != nullptr)
        return m_reader->days(identity, from, to, unsaved());
    // Kept in memory only: what this run recorded.
    std::vector<DayUsage> result;
    for (const UsageBatch& batch : unsaved()) {
        for (const DayDelta& d : batch.days) {
            if (d.identity != identity || d.day < from || d.day > to)
                continue;
            auto at = std::find_if(result.begin(), result.end(),
                                   [&](const DayUsage& u) { return u.day == d.day; });
            if (at == result.end())
                at = result.insert(std::upper_bound(result.begin(), result.end(), d.day,
                                                    [](const std::string& key, const DayUsage& u) {
                                                        return key < u.day;
                                                    }),
                                   DayUsage{d.day, 0, 0});
            at->in = saturatingAdd(at->in, d.in);
            at->out = saturatingAdd(at->out, d.out);
        }
    }
    return result;
}

std::vector<UsageBatch> UsageHistory::seal()
{
    if (!m_pending.empty()) {
        m_sealed.push_back(std::move(m_pending));
        m_pending = UsageBatch{};
        m_pending.seq = ++m_nextSeq;
    }
    return m_sealed;
}

void UsageHistory::written(std::uint64_t seq)
{
    std::erase_if(m_sealed, [seq](const UsageBatch& batch) { return batch.seq <= seq; });
}

std::vector<UsageBatch> UsageHistory::unsaved() const
{
    std::vector<UsageBatch> batches = m_sealed;
    if (!m_pending.empty())
        batches.push_back(m_pending);
    return batches;
}

std::string historyCsv(const std::vector<DayUsage>& days)
{
    std::string text = "Date,Download bytes,Upload bytes\r\n";
    text.reserve(text.size() + days.size() * 40);
    for (const DayUsage& day : days)
        text += day.day + "," + std::to_string(day.in) + "," + std::to_string(day.out) + "\r\n";
    return text;
}

} // namespace flowloom::usage

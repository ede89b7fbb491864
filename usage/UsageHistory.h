#pragma once

#include "usage/CapWarning.h"
#include "usage/UsageBatch.h"
#include "usage/UsageRules.h"
#include "usage/UsageStore.h"

#include <cstdint>
#include <map>
#include <vector>

namespace flowloom::usage {

// A billing period's usage as far as it is known, with the projection.
struct PeriodStatus
{
    BillingPeriod period;
    std::uint64_t in = 0;
    std::uint64_t out = 0;
    std::int64_t elapsedSeconds = 0;
    std::int64_t lengthSeconds = 0;

    std::uint64_t projectedIn() const { return projectToEnd(in, elapsedSeconds, lengthSeconds); }
    std::uint64_t projectedOut() const { return projectToEnd(out, elapsedSeconds, lengthSeconds); }
};

// The usage history as the user-interface thread keeps it: every addition to
// a cumulative total goes into the pending batch (for its interface's day and
// billing period) at once, in memory; a background writer takes sealed
// batches to the database. Reads combine the database with what is still in
// memory. Plain C++: the window owns the clock, the writer and the messages.
class UsageHistory
{
public:
    explicit UsageHistory(const LocalZone& zone) : m_zone(zone) {}

    // The reading connection, or none when the history is kept in memory only;
    // writtenSeq: the number of the last batch in the database.
    void attach(UsageStore* reader, std::uint64_t writtenSeq);
    // Periods are looked up again under the new rule.
    void setBillingRule(const BillingRule& rule);
    const BillingRule& billingRule() const { return m_rule; }

    // Bytes that entered the interface's cumulative total at local time `now`.
    void add(const InterfaceIdentity& identity, const DateTime& now, std::uint64_t in,
             std::uint64_t out);

    // Bytes of one application on an interface at local time `now`.
    void addApplication(const InterfaceIdentity& identity, const std::string& application, int kind,
                        const DateTime& now, std::uint64_t in, std::uint64_t out);
    // Every application's bytes on an interface from `from` to `to` (day keys).
    std::vector<ApplicationUsage> applications(const InterfaceIdentity& identity,
                                               const std::string& from, const std::string& to);

    PeriodStatus periodStatus(const InterfaceIdentity& identity, const DateTime& now);
    // The cap warning to show now for this interface, or None. A warning shown
    // is remembered with the period (and so in the database).
    CapLevel checkCap(const InterfaceIdentity& identity, const DateTime& now, const CapRule& rule);

    // Days with a record from `from` to `to` (day keys), oldest first.
    std::vector<DayUsage> days(const InterfaceIdentity& identity, const std::string& from,
                               const std::string& to);

    // --- the background writer's side ---------------------------------------
    bool hasPending() const { return !m_pending.empty(); }
    // Numbers the pending batch and holds it until it is written; returns every
    // batch held (a write that failed is part of the next one).
    std::vector<UsageBatch> seal();
    // The database holds every batch up to `seq`.
    void written(std::uint64_t seq);
    // Batches not known to be in the database, the pending one last.
    std::vector<UsageBatch> unsaved() const;

private:
    struct Tracked
    {
        InterfaceIdentity identity;
        BillingPeriod period;
        std::string startKey; // momentKey(period.start)
        std::uint64_t in = 0;
        std::uint64_t out = 0;
        CapWarnings warnings;
        // Where this interface's bytes went last in the pending batch, and
        // that day's key: every tick adds to the same two places, so they are
        // checked first (the batch is new after each seal).
        std::size_t periodAt = SIZE_MAX;
        std::size_t dayAt = SIZE_MAX;
        DateTime keyDate;
        std::string dayKey;
    };
    Tracked& current(const InterfaceIdentity& identity, const DateTime& now);
    void discover(Tracked& tracked, const DateTime& now);
    PeriodDelta& pendingPeriod(Tracked& tracked);
    void forgetTracked();

    const LocalZone& m_zone;
    UsageStore* m_reader = nullptr;
    BillingRule m_rule;
    std::vector<Tracked> m_tracked;
    std::map<InterfaceIdentity, std::size_t> m_trackedAt; // index into m_tracked
    UsageBatch m_pending;
    std::vector<UsageBatch> m_sealed;
    std::uint64_t m_nextSeq = 1;
};

// The history document: "Date,Download bytes,Upload bytes", then one line per
// day, oldest first; lines end in CR LF.
std::string historyCsv(const std::vector<DayUsage>& days);

} // namespace flowloom::usage

#include "app/publish/FiguresBuilder.h"

namespace flowloom::app {

std::string hardwareAddressOf(const usage::InterfaceIdentity& identity)
{
    const bool none = identity.address.find_first_not_of("0-") == std::string::npos;
    return none ? std::string() : identity.address;
}

std::string capCountsWord(usage::CapCounts counts)
{
    switch (counts) {
    case usage::CapCounts::Upload:
        return "upload";
    case usage::CapCounts::Both:
        return "both";
    case usage::CapCounts::Download:
        break;
    }
    return "download";
}

web::Figures figuresOf(const accounting::AccountingCore& core,
                       const sampling::TStatRec* selectedStatistics, const usage::LocalZone& zone,
                       const sampling::DateTime& now, const std::string& version)
{
    web::Figures figures;
    figures.version = version;
    figures.time = zone.toInstant(now);
    const accounting::InterfaceBook& book = core.interfaces();
    figures.interfaces.reserve(book.size());
    for (std::size_t p = 0; p < book.size(); ++p) {
        const accounting::BookEntry& entry = book.at(p);
        const accounting::CounterDelta since =
            p < book.sinceStart().size() ? book.sinceStart()[p] : accounting::CounterDelta{};
        figures.interfaces.push_back({entry.row.name, hardwareAddressOf(entry.identity),
                                      entry.present, since.in, since.out});
    }

    const int selected = core.selected();
    if (selected >= 0 && static_cast<std::size_t>(selected) < book.size()) {
        figures.selected = static_cast<std::size_t>(selected);
        if (core.totals().has(selected)) {
            const sampling::InterfaceTotals& totals =
                core.totals().at(static_cast<std::size_t>(selected));
            figures.received.cumulativeBytes = totals.totalIn;
            figures.received.cumulativeSince = zone.toInstant(totals.inReset);
            figures.sent.cumulativeBytes = totals.totalOut;
            figures.sent.cumulativeSince = zone.toInstant(totals.outReset);
        }
        if (selectedStatistics != nullptr) {
            const sampling::TStatRec& rec = *selectedStatistics;
            figures.received.currentRate = rec.CurIn;
            figures.received.peakRate = rec.PeakIn;
            figures.received.averageRate = rec.averageIn();
            figures.received.sessionBytes = rec.SumIn;
            figures.sent.currentRate = rec.CurOut;
            figures.sent.peakRate = rec.PeakOut;
            figures.sent.averageRate = rec.averageOut();
            figures.sent.sessionBytes = rec.SumOut;
        }
    }

    if (const auto& billing = core.billing()) {
        const auto identity = core.capIdentity();
        web::PeriodFigures period;
        period.interface = identity ? identity->name : std::string();
        period.start = zone.toInstant(billing->period.start);
        period.end = zone.toInstant(billing->period.end);
        period.receivedBytes = billing->in;
        period.sentBytes = billing->out;
        period.projectedReceivedBytes = billing->projectedIn();
        period.projectedSentBytes = billing->projectedOut();
        figures.period = period;
        const usage::CapRule& rule = core.capRule();
        if (rule.on) {
            web::CapFigures cap;
            cap.capBytes = rule.capBytes();
            cap.counts = capCountsWord(rule.counts);
            cap.usedBytes = rule.counted(billing->in, billing->out);
            cap.projectedBytes = rule.counted(billing->projectedIn(), billing->projectedOut());
            cap.warningPercent = rule.sharePercent;
            figures.cap = cap;
        }
    }
    return figures;
}

} // namespace flowloom::app

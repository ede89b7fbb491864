#pragma once

#include "app/Environment.h"
#include "app/FigureBoard.h"
#include "app/MainControls.h"
#include "app/ProgramVariables.h"
#ifndef Q_MOC_RUN
#include "accounting/AccountingCore.h"
#include "sampling/RateUnit.h"
#include "sampling/RunControl.h"
#include "sampling/SleepDetector.h"
#include "sampling/Statistics.h"
#include "sampling/ThdTimer.h"
#include "sampling/TotalsModel.h"
#include "sampling/UnseenSampler.h"
#include "usage/UsageRules.h"
#include "web/documents/Figures.h"
#endif

#include <QObject>
#include <QString>

class QLabel;
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace flowloom::app {

class GraphController;

// The run: the sampling clock, Start and Stop, each tick's statistics and
// figures, the cumulative totals and their resets by hand or by the month.
// The clock runs for as long as the program does: every tick the accounting
// core counts every interface; Start and Stop (and the page limit) start and
// stop only the plot and the session's statistics.
class RunController
{
public:
    // What a tick tells the rest of the window.
    struct Links
    {
        std::function<void()> publishWebView;
        // Opens the history for the start-up table; the history the core feeds, or none.
        std::function<usage::UsageHistory*(const sampling::TMIBIfArray&)> openHistory;
        // Before each tick (the rules the core reads from the settings), and after it.
        std::function<void(accounting::AccountingCore&)> beforeTick;
        std::function<void(const accounting::TickReport&)> afterTick;
        // A tick's page capture, named after the tick's moment.
        std::function<bool(const sampling::DateTime&)> captureTrigger;
        std::function<void()> totalsReset; // written at once, not at the next minute
        // Something reads every tick's figures as it comes (the web server):
        // then the window's thread works out each tick, seen or not.
        std::function<bool()> publishesEveryTick = {};
    };

    RunController(const MainControls& ui, const Environment& env, const FileLocations& files,
                  const ProgramVariables& vars, FigureBoard& figures,
                  sampling::RunCounters& counters, GraphController& graph, Links links);
    ~RunController();

    void btnStartClick();
    void btnStopClick();
    void Timer1Timer();
    // Sampling: one snapshot handed to InitGrid (start-up) or Data2Grid (tick).
    void CaptureMIBData(bool initial);
    void InitGrid(const sampling::TMIBIfArray& snapshot);
    void Data2Grid(const sampling::TMIBIfArray& snapshot);
    void btnResetInClick();
    void btnResetOutClick();
    void showSinceTexts(int position);

    // The machine is about to sleep: a last reading is counted now, and the
    // ticks until the wake-up span the sleep (a gap in the graph, no peak).
    void takeReadingBeforeSleep();
    void wokeUp();

    // The graph held with the mouse stops the clock; letting go runs it again
    // as "Start Plot" says.
    void holdClock();
    void releaseClock();
    void setInterval(int milliseconds);

    // While the window is unseen (or there is none: headless) and nothing
    // reads every tick, the interface table is read on a thread of its own
    // and the ticks are worked out ten at a time, so that the window's thread
    // sleeps (where the environment allows it). catchUp() works out the
    // readings taken so far; stopReadingUnseen() also takes the clock back to
    // the window's thread (the window is seen again, the machine goes to
    // sleep, the program ends).
    void catchUp();
    void stopReadingUnseen();
    bool readingUnseen() const { return m_unseen && m_unseen->running(); }

    const sampling::TThreadedTimer& ThreadedTimer1() const { return *m_timer; }
    // Plotting: started, and the graph not held with the mouse.
    bool plotting() const;
    const accounting::AccountingCore& core() const { return m_core; }
    // Counting beside the interfaces in every tick (traffic per application).
    void setTickHook(accounting::AccountingCore::TickHook hook)
    {
        m_core.setTickHook(std::move(hook));
    }
    // Adds to each tick's figures for other programs (traffic per application).
    void setFiguresHook(std::function<void(web::Figures&)> hook)
    {
        m_figuresHook = std::move(hook);
    }
    const sampling::TotalsModel& totals() const { return m_core.totals(); }
    const sampling::RunCounters& counters() const { return m_counters; }
    // The figures of the latest tick for other programs; null before the start.
    // Built when first asked for after a tick: with the web server off nobody
    // asks, and a tick then spends nothing on them.
    std::shared_ptr<const web::Figures> figures();
    // How many times the figures were built (they are built at most once a tick).
    int figuresBuilt() const { return m_figuresBuilt; }
    // How many times the statistics panels' texts were formed: every shown
    // tick while they can be seen; otherwise only when read or shown.
    int figuresFormed() const { return m_figuresFormed; }
    // The notification-area hint text ("Flowloom", then the download total in GB).
    const QString& trayHint() const { return m_trayHint; }

private:
    // The counting of a tick, plotting or not; returns the selected position.
    int countTick(const sampling::TMIBIfArray& snapshot, const sampling::DateTime& now,
                  std::int64_t steadyMs);
    // A reading of the table with the clocks, taken now.
    sampling::TimedReading readingNow(sampling::TMIBIfArray rows) const;
    // A tick at the moment of its reading: counting, and the plot while plotting.
    void tickAt(const sampling::TimedReading& reading);
    // Readings taken unseen, worked out in the order they were taken.
    void tickReadings(const std::vector<sampling::TimedReading>& readings);
    void unseenBatchReady();
    bool mayReadUnseen() const;
    // After a tick on the window's thread: the next one there, or unseen.
    void runClockOn();
    void showFigures(std::size_t position, const sampling::TMIBIfRow& row, bool acrossSleep,
                     const sampling::DateTime& now);
    // The monthly reset rule from its controls, kept for the ticks.
    void readResetRule();
    void showTotals(int position);
    // Writes the panels of the newest tick not written yet (on the board).
    void formUnshown();
    // Whether the statistics panels can be seen: their texts are formed at once.
    bool panelsInView() const;
    void showRates(const sampling::TStatRec& rec, sampling::RateUnit unit);
    void showStopped();
    void followInterfaces(const accounting::BookChanges& changes, std::int64_t steadyMs);
    void tickTail(const sampling::DateTime& now);
    // The latest tick's moment, from which figures() builds when asked.
    void figuresDue(const sampling::DateTime& at);
    void showSince(QLabel* label, const sampling::DateTime& reset);
    void totalReset(QLabel* since, const sampling::DateTime& moment);

    const MainControls& m_ui;
    const Environment& m_env;
    const FileLocations& m_files;
    const ProgramVariables& m_vars;
    FigureBoard& m_figures;
    sampling::RunCounters& m_counters;
    GraphController& m_graph;
    Links m_links;
    std::unique_ptr<sampling::TThreadedTimer> m_timer;
    accounting::AccountingCore m_core;
    sampling::StatisticsEngine m_statistics;
    usage::SystemZone m_zone;
    std::shared_ptr<const web::Figures> m_published;
    std::function<void(web::Figures&)> m_figuresHook;
    std::optional<sampling::DateTime> m_figuresDueAt; // a tick whose figures are not built yet
    int m_figuresBuilt = 0;
    // The newest tick's numbers whose texts are not formed yet.
    struct UnshownFigures
    {
        sampling::TStatRec rec;
        std::array<std::uint8_t, 8> physAddr;
        std::uint32_t physAddrLen;
        sampling::RateUnit unit;
    };
    std::optional<UnshownFigures> m_unshownFigures;
    std::optional<sampling::InterfaceTotals> m_unshownTotals;
    int m_figuresFormed = 0;
    sampling::SystemSleepClocks m_systemSleepClocks;
    const sampling::SleepClocks& m_sleepClocks;
    sampling::SleepDetector m_sleep;
    std::int64_t m_lastReadingMs = 0; // on the steady clock
    bool m_held = false;              // the graph is held with the mouse
    usage::BillingRule m_resetRule;
    QString m_trayHint = QStringLiteral("Flowloom");
    // What the tray hint was last formed from (rates only with a bit unit).
    struct TrayHintInputs
    {
        std::uint64_t totalIn;
        sampling::RateUnit unit;
        std::uint64_t curIn;
        std::uint64_t curOut;
        bool operator==(const TrayHintInputs&) const = default;
    };
    std::optional<TrayHintInputs> m_trayHintInputs;
    // The rates the status bar shows: an idle link's tick forms no text.
    struct RateInputs
    {
        std::uint64_t curIn;
        std::uint64_t curOut;
        sampling::RateUnit unit;
        bool operator==(const RateInputs&) const = default;
    };
    std::optional<RateInputs> m_rateInputs;
    // Read by the window's thread and the unseen sampler's, one at a time.
    sampling::SerialSource m_source;
    QObject m_postTarget; // calls posted by the sampler die with it
    // Last: its thread ends before anything it reads goes.
    std::unique_ptr<sampling::UnseenSampler> m_unseen;
};

} // namespace flowloom::app

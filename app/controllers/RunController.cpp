#include "app/controllers/RunController.h"

#include "app/InterfaceItems.h"
#include "app/NumberBox.h"
#include "app/controllers/GraphController.h"
#include "app/ini/SettingsFile.h"
#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "app/publish/FiguresBuilder.h"
#include "app/shell/Tray.h"
#include "app/shell/UiTimerWait.h"
#include "app/startup/CommandLine.h"
#include "graph/ChartWidget.h"
#include "sampling/ByteUnits.h"
#include "sampling/DateTimeText.h"
#include "sampling/InterfaceList.h"
#include "sampling/NumberFormat.h"
#include "sampling/RateUnit.h"
#include "sampling/UnexpectedException.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimeEdit>
#include <QToolButton>

#include <algorithm>

namespace flowloom::app {

using sampling::DateTimeText;
using sampling::fmt;
using sampling::kGiB;
using sampling::kKiB;
using sampling::kMiB;

namespace {
// Readings taken unseen before the window's thread works them out: ten
// seconds at the usual interval, a tenth of its wake-ups.
constexpr std::size_t kUnseenBatch = 10;
} // namespace

RunController::RunController(const MainControls& ui, const Environment& env,
                             const FileLocations& files, const ProgramVariables& vars,
                             FigureBoard& figures, sampling::RunCounters& counters,
                             GraphController& graph, Links links)
    : m_ui(ui), m_env(env), m_files(files), m_vars(vars), m_figures(figures), m_counters(counters),
      m_graph(graph), m_links(std::move(links)),
      m_timer(std::make_unique<sampling::TThreadedTimer>(std::make_unique<UiTimerWait>())),
      m_core(env.clock.now(), &accounting::isPhysicalInterface),
      m_sleepClocks(env.sleepClocks != nullptr ? *env.sleepClocks : m_systemSleepClocks),
      m_sleep(m_sleepClocks), m_source(env.interfaces)
{
    if (env.readsUnseenOnThread)
        m_unseen = std::make_unique<sampling::UnseenSampler>(
            [this] { return readingNow(m_source.interfaceSnapshot()); },
            [this] {
                QMetaObject::invokeMethod(
                    &m_postTarget, [this] { unseenBatchReady(); }, Qt::QueuedConnection);
            },
            kUnseenBatch);
    m_timer->OnTimer = [this](sampling::TThreadedTimer&) { Timer1Timer(); };
    m_figures.setFormer([this] { formUnshown(); });
    QObject::connect(ui.btnStart, &QToolButton::clicked, ui.btnStart, [this] { btnStartClick(); });
    QObject::connect(ui.btnStop, &QToolButton::clicked, ui.btnStop, [this] { btnStopClick(); });
    QObject::connect(ui.Statistics->btnResetIn, &QPushButton::clicked, ui.Statistics,
                     [this] { btnResetInClick(); });
    QObject::connect(ui.Statistics->btnResetOut, &QPushButton::clicked, ui.Statistics,
                     [this] { btnResetOutClick(); });
    // The monthly reset rule is read when its controls change, not every tick.
    StatisticsPage& s = *ui.Statistics;
    QObject::connect(s.cbReset, &QCheckBox::toggled, &s, [this] { readResetRule(); });
    QObject::connect(s.cbMonth, &QComboBox::currentIndexChanged, &s, [this] { readResetRule(); });
    QObject::connect(s.DateTimePicker1, &QTimeEdit::timeChanged, &s, [this] { readResetRule(); });
    readResetRule();
}

// The clock's worker must be gone before the controls it would touch.
RunController::~RunController()
{
    m_figures.setFormer(nullptr);
}

void RunController::setInterval(int milliseconds)
{
    stopReadingUnseen();
    m_timer->setInterval(milliseconds);
}

bool RunController::plotting() const
{
    return m_ui.btnStart->isChecked() && !m_held;
}

// Holding the graph holds the plot still; counting goes on.
void RunController::holdClock()
{
    m_held = true;
}

void RunController::releaseClock()
{
    m_held = false;
}

void RunController::btnStartClick()
{
    m_graph.startPlot();
    m_ui.PageControl1->setCurrentWidget(m_ui.TabSheet1);
    m_ui.Label13->hide();
    if (!readingUnseen())
        m_timer->setEnabled(true);
    m_counters.StopCount = 0;
    m_ui.btnStart->setChecked(true);
    m_ui.StatusPanel[0]->setText(QStringLiteral("Plot Started: ") +
                                 QString::fromStdString(DateTimeText::dayMonth(m_env.clock.now())));
    m_counters.WarmUpCount = 0;
}

void RunController::btnStopClick()
{
    m_ui.btnStop->setChecked(true);
    m_ui.cbURL->setEnabled(true);
    showStopped();
}

// A stopped plot shows no rate at all rather than the last one as if current.
void RunController::showStopped()
{
    m_figures.formDue(); // the last tick's figures stay beside "Stopped"
    m_figures.set(m_ui.StatusPanel[1], QStringLiteral("Stopped"));
    m_figures.set(m_ui.StatusPanel[2], QString());
    m_trayHint = QStringLiteral("Flowloom - Stopped");
    m_trayHintInputs.reset();
    m_rateInputs.reset();
    m_ui.tray->setToolTip(m_trayHint);
}

void RunController::readResetRule()
{
    const StatisticsPage& s = *m_ui.Statistics;
    const QTime at = s.DateTimePicker1->time();
    m_resetRule = {s.cbReset->isChecked(), s.cbMonth->currentIndex(), at.hour(), at.minute(),
                   at.second()};
}

void RunController::Timer1Timer()
{
    m_timer->setEnabled(false);
    // The clock runs again for as long as the program does, also when the
    // tick's work fails: counting never stops.
    struct Reenable
    {
        RunController& run;
        ~Reenable() { run.runClockOn(); }
    } reenable{*this};

    // One reading of the clocks serves the whole tick.
    const sampling::TimedReading reading = readingNow(m_source.interfaceSnapshot());
    tickAt(reading);
    figuresDue(reading.wall);
    m_links.publishWebView();
}

sampling::TimedReading RunController::readingNow(sampling::TMIBIfArray rows) const
{
    return {std::move(rows), m_env.clock.now(), m_env.clock.steadyMilliseconds(),
            sampling::bootAheadMs(m_sleepClocks)};
}

// --- Ticks while the window is unseen ----------------------------------------

bool RunController::mayReadUnseen() const
{
    // Headless, the window is never seen, though it never hides either.
    return m_unseen && (!m_figures.seen() || m_env.headless) && m_timer->Interval() != 0 &&
           !(m_links.publishesEveryTick && m_links.publishesEveryTick());
}

void RunController::runClockOn()
{
    if (!mayReadUnseen()) {
        m_timer->setEnabled(true);
        return;
    }
    const std::chrono::milliseconds interval(m_timer->Interval());
    m_unseen->start(interval, interval);
}

void RunController::unseenBatchReady()
{
    if (!readingUnseen())
        return; // caught up and stopped meanwhile
    if (mayReadUnseen())
        catchUp();
    else
        stopReadingUnseen(); // the window is seen, or the web server started
}

void RunController::catchUp()
{
    if (m_unseen)
        tickReadings(m_unseen->takeReadings());
}

void RunController::stopReadingUnseen()
{
    if (!readingUnseen())
        return;
    m_unseen->stop();
    catchUp();
    // The window's clock goes on one interval after the last reading.
    const std::int64_t interval = m_timer->Interval();
    const std::int64_t since = m_env.clock.steadyMilliseconds() - m_lastReadingMs;
    m_timer->enableAfter(
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(interval - since, 0, interval)));
}

void RunController::tickReadings(const std::vector<sampling::TimedReading>& readings)
{
    if (readings.empty())
        return;
    for (const sampling::TimedReading& reading : readings) {
        try {
            tickAt(reading);
        } catch (...) {
            // As a failing tick on the window's thread: dropped, the next one runs.
            sampling::traceUnexpectedException("RunController::tickReadings");
        }
    }
    figuresDue(readings.back().wall);
    m_links.publishWebView();
}

void RunController::figuresDue(const sampling::DateTime& at)
{
    m_figuresDueAt = at;
}

std::shared_ptr<const web::Figures> RunController::figures()
{
    if (!m_figuresDueAt)
        return m_published;
    const int selected = m_core.selected();
    const sampling::TStatRec* statistics =
        selected >= 0 && static_cast<std::size_t>(selected) < m_statistics.size()
            ? &m_statistics.record(static_cast<std::size_t>(selected))
            : nullptr;
    web::Figures figures = figuresOf(m_core, statistics, m_zone, *m_figuresDueAt, versionNumber());
    if (m_figuresHook)
        m_figuresHook(figures);
    m_published = std::make_shared<const web::Figures>(std::move(figures));
    m_figuresDueAt.reset();
    ++m_figuresBuilt;
    return m_published;
}

// --- Sampling ----------------------------------------------------------------

void RunController::CaptureMIBData(bool initial)
{
    const sampling::TMIBIfArray snapshot = m_source.interfaceSnapshot();
    if (initial)
        InitGrid(snapshot);
    else
        Data2Grid(snapshot);
}

void RunController::Data2Grid(const sampling::TMIBIfArray& snapshot)
{
    tickAt(readingNow(snapshot));
}

void RunController::InitGrid(const sampling::TMIBIfArray& snapshot)
{
    readResetRule(); // the settings were put into its controls without signals
    QComboBox& list = *m_ui.cbURL;
    const sampling::InterfaceList interfaces =
        sampling::buildInterfaceList(snapshot, m_source.addressSnapshot(), m_vars.URL);
    {
        const QSignalBlocker blocker(list);
        list.clear();
        for (std::size_t i = 0; i < interfaces.items.size(); ++i)
            addInterfaceItem(list, QString::fromStdString(interfaces.items[i]),
                             QString::fromStdString(interfaces.names[i]));
        list.setCurrentIndex(-1);
    }

    m_lastReadingMs = m_env.clock.steadyMilliseconds();
    m_statistics.InitGrid(snapshot, m_lastReadingMs, interfaces.selected);
    const sampling::DateTime now = m_env.clock.now();
    m_core.start(snapshot, SettingsFile::loadTotals(m_files.settingsFile, snapshot.size(), now),
                 now);
    m_core.setSelected(interfaces.selected);

    {
        const QSignalBlocker blocker(list);
        list.setCurrentIndex(interfaces.selected);
    }
    showNameOfCurrent(list);
    m_ui.btnStart->setEnabled(list.currentIndex() >= 0);
    m_core.attachHistory(m_links.openHistory(snapshot));
    figuresDue(m_env.clock.now());
    // Counting starts now, whether plotting does or not.
    m_timer->setEnabled(true);
}

void RunController::tickAt(const sampling::TimedReading& reading)
{
    const sampling::DateTime& now = reading.wall;
    m_lastReadingMs = reading.steadyMs;
    const bool acrossSleep = m_sleep.tick(reading.sleepAheadMs);
    const int selected = countTick(reading.rows, now, reading.steadyMs);
    if (!plotting())
        return;

    const std::vector<const sampling::TMIBIfRow*> rows = m_core.interfaces().rowsByPosition();
    const sampling::TickResult result =
        m_statistics.Data2Grid(rows, selected, m_counters, reading.steadyMs, acrossSleep);
    switch (result.outcome) {
    case sampling::TickOutcome::NoSelection:
    case sampling::TickOutcome::WarmUp:
        return;
    case sampling::TickOutcome::Shown:
        showFigures(static_cast<std::size_t>(selected), *rows[static_cast<std::size_t>(selected)],
                    acrossSleep, now);
        break;
    case sampling::TickOutcome::SelectedMissing:
        break;
    }
    tickTail(now);
}

void RunController::takeReadingBeforeSleep()
{
    stopReadingUnseen();
    const sampling::TimedReading reading = readingNow(m_source.interfaceSnapshot());
    m_lastReadingMs = reading.steadyMs;
    countTick(reading.rows, reading.wall, reading.steadyMs);
    figuresDue(reading.wall);
    m_links.publishWebView();
    m_sleep.sleepAnnounced();
}

void RunController::wokeUp()
{
    m_sleep.resumed();
}

int RunController::countTick(const sampling::TMIBIfArray& snapshot, const sampling::DateTime& now,
                             std::int64_t steadyMs)
{
    const int selected = m_ui.cbURL->currentIndex();
    m_core.setSelected(selected);
    m_links.beforeTick(m_core);
    m_core.setResetRule(m_resetRule);
    const accounting::TickReport report = m_core.tick(snapshot, now);
    if (report.changes.any())
        followInterfaces(report.changes, steadyMs);
    if (report.monthlyReset.in)
        totalReset(m_ui.Statistics->Label39, m_core.totals().at(selected).inReset);
    if (report.monthlyReset.out)
        totalReset(m_ui.Statistics->Label41, m_core.totals().at(selected).outReset);
    m_links.afterTick(report);
    showTotals(selected);
    return selected;
}

// Interfaces that came or went since the previous tick: new ones join the
// list at the end (each position keeps its meaning, and so its totals), gone
// ones stay listed, marked, until they return.
void RunController::followInterfaces(const accounting::BookChanges& changes, std::int64_t nowMs)
{
    const accounting::InterfaceBook& book = m_core.interfaces();
    const sampling::TMibIPAddrArray addresses = m_source.addressSnapshot();
    QComboBox& list = *m_ui.cbURL;
    QComboBox& listening = *m_ui.Setup->cbServerIP;
    auto nameOf = [&book](std::size_t position) {
        const accounting::BookEntry& entry = book.at(position);
        return QString::fromStdString(entry.row.name) +
               (entry.present ? QString() : QStringLiteral(" (gone)"));
    };
    auto rename = [&](std::size_t position) {
        for (QComboBox* box : {&list, &listening}) {
            if (static_cast<int>(position) < box->count())
                box->setItemData(static_cast<int>(position), nameOf(position), Qt::ToolTipRole);
        }
    };
    for (const std::size_t position : changes.appeared) {
        const sampling::TMIBIfRow& row = book.at(position).row;
        m_statistics.rebase(position, row, nowMs);
        const QString item =
            QString::fromStdString(sampling::GetIPFromIFIndex(addresses, row.index));
        const QSignalBlocker blockList(list);
        const QSignalBlocker blockListening(listening);
        addInterfaceItem(list, item, nameOf(position));
        addInterfaceItem(listening, item, nameOf(position));
    }
    for (const std::size_t position : changes.returned) {
        m_statistics.rebase(position, book.at(position).row, nowMs);
        rename(position);
    }
    for (const std::size_t position : changes.renamed)
        rename(position);
    for (const std::size_t position : changes.vanished)
        rename(position);
    showNameOfCurrent(list);
    m_ui.btnStart->setEnabled(list.currentIndex() >= 0);
}

namespace {

QString numberText(long double x, int decimals)
{
    return QString::fromStdString(fmt(x, decimals));
}

// An average as its panel shows it: "0" before any second with traffic.
std::string averageStdText(std::uint32_t seconds, std::uint64_t average)
{
    return seconds == 0 ? std::string("0") : fmt(average, 0);
}

QString averageText(std::uint32_t seconds, std::uint64_t average)
{
    return QString::fromStdString(averageStdText(seconds, average));
}

long double inUnits(std::uint64_t amount, std::uint64_t unit)
{
    return static_cast<long double>(amount) / static_cast<long double>(unit);
}

} // namespace

void RunController::showFigures(std::size_t position, const sampling::TMIBIfRow& row,
                                bool acrossSleep, const sampling::DateTime& now)
{
    const sampling::TStatRec& rec = m_statistics.record(position);
    // KB/s as always, or the bit unit the user chose.
    const sampling::RateUnit unit = m_ui.Setup->shownRateUnit();
    // Unseen, the panels' texts are formed only when read or shown; the
    // status bar's rates are in view whenever the window is.
    m_unshownFigures = UnshownFigures{rec, row.physAddr, row.physAddrLen, unit};
    if (panelsInView()) {
        formUnshown();
    } else {
        if (m_figures.seen())
            showRates(rec, unit);
        m_figures.formLater();
    }

    if (acrossSleep)
        m_graph.addGapTick(now);
    else
        m_graph.addShownTick(rec, averageStdText(rec.InCount, rec.averageIn()),
                             averageStdText(rec.OutCount, rec.averageOut()), now);

    // The hint is formed anew only when what it tells changed.
    const bool bitUnit = sampling::isBitUnit(unit);
    const TrayHintInputs inputs{m_core.totals().at(position).totalIn, unit, bitUnit ? rec.CurIn : 0,
                                bitUnit ? rec.CurOut : 0};
    if (m_trayHintInputs == inputs)
        return;
    auto rate = [unit](std::uint64_t bytesPerSecond) {
        return QString::fromStdString(
            sampling::rateText(static_cast<long double>(bytesPerSecond), unit));
    };
    m_trayHint = QStringLiteral("Flowloom - ") + numberText(inUnits(inputs.totalIn, kGiB), 3) +
                 QStringLiteral(" GB");
    // With a bit unit chosen the hint also tells the rates, in that unit.
    if (bitUnit)
        m_trayHint += QStringLiteral("\nIn: ") + rate(rec.CurIn) + QStringLiteral("  Out: ") +
                      rate(rec.CurOut);
    m_ui.tray->setToolTip(m_trayHint);
    m_trayHintInputs = inputs;
}

// The cumulative totals count on every tick, plotting or not.
void RunController::showTotals(int position)
{
    if (!m_core.totals().has(position))
        return;
    m_unshownTotals = m_core.totals().at(static_cast<std::size_t>(position));
    if (panelsInView())
        formUnshown();
    else
        m_figures.formLater();
}

bool RunController::panelsInView() const
{
    // A window never shown (tests, headless) writes its labels as ever.
    return m_figures.seen() && (m_ui.Statistics->isVisible() || !m_ui.window->isVisible());
}

void RunController::showRates(const sampling::TStatRec& rec, sampling::RateUnit unit)
{
    const RateInputs inputs{rec.CurIn, rec.CurOut, unit};
    if (m_rateInputs == inputs)
        return;
    m_rateInputs = inputs;
    auto rate = [unit](std::uint64_t bytesPerSecond) {
        return QString::fromStdString(
            sampling::rateText(static_cast<long double>(bytesPerSecond), unit));
    };
    m_figures.set(m_ui.StatusPanel[1], QStringLiteral("In: ") + rate(rec.CurIn));
    m_figures.set(m_ui.StatusPanel[2], QStringLiteral("Out: ") + rate(rec.CurOut));
}

void RunController::formUnshown()
{
    auto set = [this](QLabel* label, const QString& value) { m_figures.set(label, value); };
    StatisticsPage& s = *m_ui.Statistics;
    if (m_unshownFigures) {
        const sampling::TStatRec& rec = m_unshownFigures->rec;
        showRates(rec, m_unshownFigures->unit);
        set(s.Panel2, QString::fromStdString(sampling::physicalAddressText(
                          m_unshownFigures->physAddr, m_unshownFigures->physAddrLen)));
        set(s.Panel14, numberText(rec.CurIn, 0));
        set(s.Panel15, numberText(rec.PeakIn, 0));
        set(s.Panel16, averageText(rec.InCount, rec.averageIn()));
        set(s.Panel17, numberText(rec.SumIn, 0));
        set(s.Panel18, numberText(rec.CurOut, 0));
        set(s.Panel19, numberText(rec.PeakOut, 0));
        set(s.Panel20, averageText(rec.OutCount, rec.averageOut()));
        set(s.Panel21, numberText(rec.SumOut, 0));
        m_unshownFigures.reset();
        ++m_figuresFormed;
    }
    if (m_unshownTotals) {
        const sampling::InterfaceTotals& totals = *m_unshownTotals;
        set(s.Panel26, numberText(totals.totalIn, 0));
        set(s.Panel27, numberText(totals.totalOut, 0));
        set(s.Panel28, numberText(inUnits(totals.totalIn, kKiB), 3));
        set(s.Panel29, numberText(inUnits(totals.totalIn, kMiB), 3));
        set(s.Panel30, numberText(inUnits(totals.totalOut, kKiB), 3));
        set(s.Panel31, numberText(inUnits(totals.totalOut, kMiB), 3));
        m_unshownTotals.reset();
    }
}

void RunController::tickTail(const sampling::DateTime& now)
{
    auto pageLimit = [this] {
        const SetupPage& s = *m_ui.Setup;
        if (!sampling::pageLimitReached(s.spPages->value(), s.spPoints->value(),
                                        m_counters.StopCount))
            return;
        m_counters.StopCount = 0;
        if (s.rbStop->isChecked()) {
            btnStopClick();
            m_ui.Label13->show();
        } else {
            m_graph.restart(); // a new graph, and keep running
        }
    };
    m_graph.tickTail([&] { return m_links.captureTrigger(now); }, pageLimit);
}

// --- Cumulative totals -----------------------------------------------------------

void RunController::showSince(QLabel* label, const sampling::DateTime& reset)
{
    label->setText(QString::fromStdString(DateTimeText::longDisplay(reset)));
}

void RunController::showSinceTexts(int position)
{
    if (!m_core.totals().has(position))
        return;
    const sampling::InterfaceTotals& totals =
        m_core.totals().at(static_cast<std::size_t>(position));
    showSince(m_ui.Statistics->Label39, totals.inReset);
    showSince(m_ui.Statistics->Label41, totals.outReset);
}

void RunController::btnResetInClick()
{
    const int s = m_ui.cbURL->currentIndex();
    m_core.setSelected(s);
    if (m_core.resetIn(m_env.clock.now()))
        totalReset(m_ui.Statistics->Label39,
                   m_core.totals().at(static_cast<std::size_t>(s)).inReset);
}

void RunController::btnResetOutClick()
{
    const int s = m_ui.cbURL->currentIndex();
    m_core.setSelected(s);
    if (m_core.resetOut(m_env.clock.now()))
        totalReset(m_ui.Statistics->Label41,
                   m_core.totals().at(static_cast<std::size_t>(s)).outReset);
}

void RunController::totalReset(QLabel* since, const sampling::DateTime& moment)
{
    showSince(since, moment);
    m_links.publishWebView();
    m_links.totalsReset();
}

} // namespace flowloom::app

#include "app/apps/ApplicationsController.h"

#include "app/apps/ApplicationsPage.h"
#include "app/pages/SetupPage.h"
#include "app/publish/ApplicationFigures.h"
#include "sampling/Statistics.h"
#include "usage/UsageRules.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTabWidget>
#include <algorithm>

namespace flowloom::app {

namespace {

constexpr int kStatusMilliseconds = 60'000;
// A tick's bytes are shown per second over the sampling interval, as the
// program's other figures are.
constexpr double kTickSeconds = static_cast<double>(sampling::kTickIntervalMs) / 1000.0;

} // namespace

ApplicationsController::ApplicationsController(const MainControls& ui,
                                               std::unique_ptr<appnet::ApplicationTraffic> traffic)
    : m_ui(ui), m_traffic(std::move(traffic))
{
    connect(m_ui.Setup->cbAppTraffic, &QCheckBox::toggled, this, [this] { cbAppTrafficClick(); });
    connect(m_ui.Applications->cbAppScope, &QComboBox::currentIndexChanged, this,
            [this] { showNow(); });
    connect(m_ui.PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (m_ui.PageControl1->currentWidget() == m_ui.Applications)
            showNow();
    });
    showState();
}

ApplicationsController::~ApplicationsController() = default;

void ApplicationsController::cbAppTrafficClick()
{
    m_traffic->setOn(m_ui.Setup->cbAppTraffic->isChecked());
    showState();
}

void ApplicationsController::showState()
{
    if (!m_traffic->available()) {
        const QString note = QStringLiteral("Traffic per application is not available here: ") +
                             QString::fromStdString(m_traffic->problem()) + QStringLiteral(".");
        m_ui.Applications->showNote(note);
        return;
    }
    m_ui.Applications->showNote(
        m_traffic->on() ? QString()
                        : QStringLiteral("Traffic per application is switched off in Setup."));
}

void ApplicationsController::tick(const accounting::TickTraffic& traffic,
                                  const sampling::DateTime& now,
                                  const accounting::AccountingCore& core)
{
    m_core = &core;
    m_now = now;
    // Told once, at the first tick, when the settings have said whether it is wanted.
    if (!m_traffic->available() && m_traffic->on() && !m_toldUnavailable) {
        m_toldUnavailable = true;
        m_ui.window->statusBar()->showMessage(m_ui.Applications->LabelAppNote->text(),
                                              kStatusMilliseconds);
    }
    m_traffic->attachHistory(core.history(), accounting::physicalSumIdentity());
    // Nobody looking, the live sockets are read seldom (a read walks the
    // kernel's whole TCP table); shown again, this tick reads them.
    const bool shown = pageShown();
    m_traffic->setShown(shown);
    m_traffic->tick(appnet::InterfaceTraffic{{traffic.physical.in, traffic.physical.out},
                                             {traffic.loopback.in, traffic.loopback.out}},
                    now);
    // Drawn, and the totals read from the history, only while looked at.
    if (shown)
        showPage(now, core);
}

bool ApplicationsController::pageShown() const
{
    // The window's state first: minimised, the page is not looked up at all.
    return !m_ui.window->isMinimized() && m_ui.window->isVisible() &&
           m_ui.PageControl1->currentWidget() == m_ui.Applications;
}

void ApplicationsController::windowSeenAgain()
{
    if (pageShown())
        showNow();
}

void ApplicationsController::showNow()
{
    if (m_core == nullptr)
        return; // no tick yet
    showPage(m_now, *m_core);
}

void ApplicationsController::showPage(const sampling::DateTime& now,
                                      const accounting::AccountingCore& core)
{
    const appnet::ApplicationTick& latest = m_traffic->latest();
    m_ui.Applications->showTable(scopeTable(
        latest, m_ui.Applications->loopbackShown(), core.history(),
        applicationDaysAt(core.resetRule(), now), kTickSeconds * std::max(latest.ticks, 1)));
}

void ApplicationsController::publish(web::Figures& figures, const accounting::AccountingCore& core)
{
    // Reads of the history, so only for a program that reads them.
    const bool read = m_ui.Setup->cbJsonApi->isChecked() || m_ui.Setup->cbMetrics->isChecked();
    usage::UsageHistory* history = core.history();
    if (!read || history == nullptr || m_core == nullptr) {
        m_published.reset();
        return;
    }
    const ApplicationDays days = applicationDaysAt(core.resetRule(), m_now);
    const bool same = m_published && m_published->polls == m_traffic->polls() &&
                      m_published->today == days.today &&
                      m_published->periodFirstDay == days.periodFirstDay &&
                      m_published->history == history;
    if (!same)
        m_published = Published{m_traffic->polls(), days.periodFirstDay, days.today, history,
                                applicationsFigures(*m_traffic, *history, core.resetRule(), m_now)};
    figures.applications = m_published->figures;
    // The state changes without a poll (switched off, or unavailable).
    figures.applications->state = stateWord(*m_traffic);
}

} // namespace flowloom::app

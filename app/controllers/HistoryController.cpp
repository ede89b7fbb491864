#include "app/controllers/HistoryController.h"

#include "app/NumberBox.h"
#include "app/controllers/UsageRecording.h"
#include "app/controllers/WebController.h"
#include "app/desktop/DesktopNotices.h"
#include "app/pages/HistoryPage.h"
#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "app/pages/UsageSetupPage.h"
#include "app/shell/Tray.h"
#include "sampling/DateTimeText.h"
#include "sampling/NumberFormat.h"
#include "web/documents/DocumentNames.h"
#include "web/ui/WebService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimeEdit>

namespace flowloom::app {

using sampling::DateTimeText;

namespace {
// The History page refreshes itself this often while it is shown (ticks).
constexpr int kHistoryRefreshTicks = 5;
constexpr int kShownDays = 31;
constexpr int kShownMonths = 12;
// A status-bar message covers the bar's panels while it shows: a minute.

QString since(const sampling::DateTime& moment)
{
    return QString::fromStdString(DateTimeText::longDisplay(moment));
}
} // namespace

HistoryController::HistoryController(const MainControls& ui, const Environment& env,
                                     const FileLocations& files, Dialogs& dialogs, Links links)
    : m_ui(ui), m_env(env), m_files(files), m_dialogs(dialogs), m_links(std::move(links))
{
    connect(m_ui.PageControl1, &QTabWidget::currentChanged, this, [this] {
        if (m_ui.PageControl1->currentWidget() == m_ui.History)
            showHistory();
    });
    connect(m_ui.History->cbHistoryChart, &QComboBox::currentIndexChanged, this,
            [this] { showHistory(); });
    connect(m_ui.History->btnExport, &QPushButton::clicked, this, [this] { btnExportClick(); });
    connect(m_ui.History->cbHistoryInterface, &QComboBox::activated, this,
            [this] { showHistory(); });
    // The page follows the data interface; a choice of the user's own stays
    // until the data interface changes.
    connect(m_ui.cbURL, &QComboBox::currentIndexChanged, this, [this] {
        m_ui.History->cbHistoryInterface->setCurrentIndex(m_ui.cbURL->currentIndex());
        showHistory();
    });

    UsageSetupPage& u = *m_ui.Setup->UsagePage;
    u.edHistory->installEventFilter(this);
    connect(u.cbHistory, &QCheckBox::toggled, this, [this] { m_links.publishWebView(); });
    connect(u.edHistory, &QLineEdit::textChanged, this, [this] { m_links.publishWebView(); });
    auto readRule = [this] { readCapRule(); };
    connect(u.cbDataCap, &QCheckBox::toggled, this, readRule);
    connect(u.spCapSize, &NumberBox::valueChanged, this, readRule);
    connect(u.cbCapUnit, &QComboBox::currentIndexChanged, this, readRule);
    connect(u.cbCapCounts, &QComboBox::currentIndexChanged, this, readRule);
    connect(u.spCapShare, &NumberBox::valueChanged, this, readRule);
    connect(u.cbCapScope, &QComboBox::currentIndexChanged, this, readRule);
    readCapRule();
}

HistoryController::~HistoryController() = default;

usage::UsageHistory* HistoryController::openHistory()
{
    const std::filesystem::path file = usage::historyPathFor(m_files.settingsFile);
    const sampling::DateTime now = m_env.clock.now();
    m_usage = m_opening.valid() ? std::make_unique<UsageRecording>(file, now, m_opening.get())
                                : std::make_unique<UsageRecording>(file, now);
    m_rememberedHistoryName = m_ui.Setup->UsagePage->edHistory->text().toStdString();
    readCapRule(); // the settings were put into its controls without signals
    // Not a box that stops the start: a notice, and the status bar.
    if (!m_usage->report().message.empty())
        showNotice(QString::fromStdString(m_usage->report().message));
    return &m_usage->history();
}

usage::BillingRule HistoryController::billingRule() const
{
    const QTime at = m_ui.Statistics->DateTimePicker1->time();
    return {m_ui.Statistics->cbReset->isChecked(), m_ui.Statistics->cbMonth->currentIndex(),
            at.hour(), at.minute(), at.second()};
}

usage::CapRule HistoryController::capRule() const
{
    const UsageSetupPage& u = *m_ui.Setup->UsagePage;
    usage::CapRule rule;
    rule.on = u.cbDataCap->isChecked();
    rule.amount = u.spCapSize->value();
    rule.unitItem = u.cbCapUnit->currentIndex() == 0 ? 0 : 1;
    const int counts = u.cbCapCounts->currentIndex();
    rule.counts = counts == 1   ? usage::CapCounts::Upload
                  : counts == 2 ? usage::CapCounts::Both
                                : usage::CapCounts::Download;
    rule.sharePercent = u.spCapShare->value();
    return rule;
}

std::optional<usage::InterfaceIdentity> HistoryController::identityAt(int position) const
{
    if (!m_usage || m_core == nullptr || position < 0 ||
        static_cast<std::size_t>(position) >= m_core->interfaces().size())
        return std::nullopt;
    return m_core->interfaces().at(static_cast<std::size_t>(position)).identity;
}

void HistoryController::readCapRule()
{
    m_capRule = capRule();
    m_capScope = m_ui.Setup->UsagePage->cbCapScope->currentIndex() == 1
                     ? accounting::CapScope::Physical
                     : accounting::CapScope::Selected;
}

void HistoryController::beforeTick(accounting::AccountingCore& core) const
{
    core.setCapRule(m_capRule, m_capScope);
}

void HistoryController::afterTick(const accounting::TickReport& report)
{
    if (report.cap != usage::CapLevel::None) {
        showCapWarning(report.cap, m_capRule, report.capStatus, report.capInterface);
        flushHistory(); // the warning is remembered with its period at once
    }
    if (report.changes.any())
        fillInterfaceChoice();
    // Refreshed only while seen: a minimised window is still "visible".
    if (!m_ui.window->isMinimized() && m_ui.window->isVisible() &&
        m_ui.PageControl1->currentWidget() == m_ui.History &&
        ++m_historyTicks % kHistoryRefreshTicks == 0)
        showHistory();
}

void HistoryController::windowSeenAgain()
{
    m_historyTicks = 0;
    showHistory(); // only when its page is the current one
}

void HistoryController::showCapWarning(usage::CapLevel level, const usage::CapRule& rule,
                                       const usage::PeriodStatus& status,
                                       const std::string& interfaceName)
{
    const std::uint64_t used = rule.counted(status.in, status.out);
    const QString cap = QString::number(rule.amount) + (rule.unitItem == 0 ? " MB" : " GB");
    const QString counted = m_ui.Setup->UsagePage->cbCapCounts->currentText();
    const QString text =
        (level == usage::CapLevel::Full
             ? QStringLiteral("Data cap reached: ")
             : QStringLiteral("%1 % of the data cap reached: ").arg(rule.sharePercent)) +
        megabytes(used) + " MB of " + cap + " (" + counted + ") on " +
        QString::fromStdString(interfaceName) + " since " + since(status.period.start) + ".";
    const Notice notice{level == usage::CapLevel::Full
                            ? QStringLiteral("Data cap reached")
                            : QStringLiteral("%1 % of the data cap reached").arg(rule.sharePercent),
                        text, level == usage::CapLevel::Full};
    // Without a notification service or a tray: a box that does not stop the run.
    m_ui.notices->notify(notice, [this, text] { showNoticeBox(text); });
}

void HistoryController::showNotice(const QString& text)
{
    m_ui.notices->showInPanel(text);
    showNoticeBox(text);
}

void HistoryController::showNoticeBox(const QString& text)
{
    if (m_notice == nullptr) {
        m_notice = new QMessageBox(QMessageBox::Information, QStringLiteral("Flowloom"), text,
                                   QMessageBox::Ok, m_ui.window);
        m_notice->setObjectName("HistoryNotice");
        m_notice->setModal(false);
        m_notice->setWindowModality(Qt::NonModal);
    }
    m_notice->setText(text);
    m_notice->show();
}

void HistoryController::flushHistory()
{
    if (!m_usage)
        return;
    m_usage->flush([this](std::uint64_t seq, bool ok, const std::string& error) {
        QMetaObject::invokeMethod(
            this, [this, seq, ok, error] { historyWritten(seq, ok, error); }, Qt::QueuedConnection);
    });
}

void HistoryController::historyWritten(std::uint64_t seq, bool ok, const std::string& error)
{
    if (!m_usage)
        return;
    if (ok) {
        m_usage->history().written(seq);
        m_historyFailureShown = false;
        return;
    }
    // Kept in memory and tried again next minute; said once.
    if (!m_historyFailureShown)
        m_ui.notices->notify({QStringLiteral("Usage history not saved"),
                              QStringLiteral("The usage history could not be written: ") +
                                  QString::fromStdString(error)});
    m_historyFailureShown = true;
}

void HistoryController::closeHistory()
{
    if (!m_usage)
        return;
    // Told like any other save that fails at close.
    std::string error;
    if (!m_usage->flushNow(error))
        m_env.showMessage("Unable to write to " + m_usage->file().string());
}

void HistoryController::fillInterfaceChoice()
{
    if (m_core == nullptr)
        return;
    QComboBox& box = *m_ui.History->cbHistoryInterface;
    const QSignalBlocker blocker(box);
    const int chosen = box.currentIndex();
    const accounting::InterfaceBook& book = m_core->interfaces();
    box.clear();
    for (std::size_t p = 0; p < book.size(); ++p) {
        const accounting::BookEntry& entry = book.at(p);
        box.addItem(QString::fromStdString(entry.row.name) +
                    (entry.present ? QString() : QStringLiteral(" (gone)")));
    }
    box.addItem(QStringLiteral("All physical interfaces"));
    box.setCurrentIndex(chosen >= 0 && chosen < box.count() ? chosen : m_ui.cbURL->currentIndex());
}

std::optional<usage::InterfaceIdentity> HistoryController::shownIdentity()
{
    if (m_core == nullptr || !m_usage)
        return std::nullopt;
    QComboBox& box = *m_ui.History->cbHistoryInterface;
    if (box.count() != static_cast<int>(m_core->interfaces().size()) + 1)
        fillInterfaceChoice();
    const int chosen = box.currentIndex();
    if (chosen == static_cast<int>(m_core->interfaces().size()))
        return accounting::physicalSumIdentity();
    return identityAt(chosen >= 0 ? chosen : m_ui.cbURL->currentIndex());
}

void HistoryController::showHistory()
{
    if (m_ui.History == nullptr || m_ui.PageControl1->currentWidget() != m_ui.History)
        return;
    const std::optional<usage::InterfaceIdentity> identity = shownIdentity();
    if (!identity) {
        m_ui.History->showDays({});
        m_ui.History->showMonths({});
        m_ui.History->LabelPeriod->setText(QStringLiteral("No interface is selected."));
        for (QLabel* label :
             {m_ui.History->LabelUsed, m_ui.History->LabelProjection, m_ui.History->LabelCap})
            label->clear();
        return;
    }
    usage::UsageHistory& history = m_usage->history();
    history.setBillingRule(billingRule());
    const sampling::DateTime now = m_env.clock.now();
    const std::vector<usage::DayUsage> days =
        history.days(*identity, usage::dayKey(usage::addDays(now, -400)), usage::dayKey(now));
    if (!m_usage->available()) {
        showUnavailable();
        return;
    }
    m_ui.History->showDays(usage::lastDays(days, now, kShownDays));
    m_ui.History->showMonths(usage::lastMonths(days, now, kShownMonths));

    const usage::PeriodStatus status = history.periodStatus(*identity, now);
    m_ui.History->LabelPeriod->setText(QStringLiteral("From ") + since(status.period.start) +
                                       QStringLiteral(" to ") + since(status.period.end));
    m_ui.History->LabelUsed->setText(QStringLiteral("So far: download ") + megabytes(status.in) +
                                     QStringLiteral(" MB, upload ") + megabytes(status.out) +
                                     QStringLiteral(" MB"));
    m_ui.History->LabelProjection->setText(
        QStringLiteral("Projected to its end: download ") + megabytes(status.projectedIn()) +
        QStringLiteral(" MB, upload ") + megabytes(status.projectedOut()) + QStringLiteral(" MB"));
    const usage::CapRule& rule = m_capRule;
    if (!rule.on) {
        m_ui.History->LabelCap->setText(
            QStringLiteral("No data cap is set (Setup, Usage History)."));
        return;
    }
    const std::uint64_t used = rule.counted(status.in, status.out);
    const long double share = rule.capBytes() == 0 ? 0.0L
                                                   : 100.0L * static_cast<long double>(used) /
                                                         static_cast<long double>(rule.capBytes());
    m_ui.History->LabelCap->setText(QStringLiteral("Data cap %1 %2 (%3): %4 % used")
                                        .arg(rule.amount)
                                        .arg(rule.unitItem == 0 ? "MB" : "GB")
                                        .arg(m_ui.Setup->UsagePage->cbCapCounts->currentText())
                                        .arg(QString::fromStdString(sampling::fmt(share, 1))));
}

// Empty tables would read as days without usage: the page says what is wrong.
void HistoryController::showUnavailable()
{
    HistoryPage& page = *m_ui.History;
    page.showDays({});
    page.showMonths({});
    page.LabelPeriod->setText(QStringLiteral("The usage history ") +
                              QString::fromStdString(m_usage->file().string()) +
                              QStringLiteral(" is unavailable."));
    page.LabelUsed->setText(
        m_usage->recording() || m_usage->waiting()
            ? QStringLiteral("It is in use by another program and is tried again every minute; "
                             "the usage counted meanwhile is kept and written once it is free.")
            : QStringLiteral("Usage is not recorded in this run."));
    page.LabelProjection->clear();
    page.LabelCap->clear();
}

void HistoryController::btnExportClick()
{
    const std::optional<usage::InterfaceIdentity> identity = shownIdentity();
    if (!identity)
        return;
    const QString suggested =
        QString::fromStdString((m_files.filesFolder / ("usage-" + identity->name + "-" +
                                                       usage::dayKey(m_env.clock.now()) + ".csv"))
                                   .string());
    const std::optional<QString> path = m_dialogs.chooseSaveFile(m_ui.window, suggested);
    if (!path)
        return;
    const std::vector<usage::DayUsage> days =
        m_usage->history().days(*identity, "0000-01-01", "9999-12-31");
    if (!m_usage->available()) {
        // This run's days alone would pass for the whole history.
        m_env.showMessage("The usage history " + m_usage->file().string() + " is unavailable.");
        return;
    }
    const std::string text = usage::exportCsv(days);
    QFile file(*path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.flush()) {
        m_env.showMessage("Unable to write to " + path->toStdString());
        return;
    }
}

// --- The history document on the web ---------------------------------------------

void HistoryController::edHistoryExit()
{
    QLineEdit* edit = m_ui.Setup->UsagePage->edHistory;
    const auto decision = web::DocumentNames::edHistoryExit(
        edit->text().toStdString(), m_rememberedHistoryName, nameFieldsOf(*m_ui.Setup));
    if (edit->text().toStdString() != decision.name)
        edit->setText(QString::fromStdString(decision.name));
    if (!decision.message.empty())
        m_env.showMessage(decision.message);
    m_rememberedHistoryName = edit->text().toStdString();
}

bool HistoryController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_ui.Setup->UsagePage->edHistory)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut)
        edHistoryExit();
    else if (event->type() == QEvent::MouseButtonPress)
        m_rememberedHistoryName = m_ui.Setup->UsagePage->edHistory->text().toStdString();
    return QObject::eventFilter(watched, event);
}

void HistoryController::publishHistoryView(web::WebSnapshot& view) const
{
    const UsageSetupPage& u = *m_ui.Setup->UsagePage;
    view.cbHistory = u.cbHistory->isChecked();
    view.edHistory = u.edHistory->text().toStdString();
    if ((view.cbJsonApi || view.cbLivePage) && m_usage && m_core != nullptr) {
        // The run's interfaces, those present first; then the sum of the physical ones.
        std::vector<usage::InterfaceIdentity> running;
        const accounting::InterfaceBook& book = m_core->interfaces();
        for (const bool present : {true, false})
            for (std::size_t p = 0; p < book.size(); ++p)
                if (book.at(p).present == present)
                    running.push_back(book.at(p).identity);
        running.push_back(accounting::physicalSumIdentity());
        view.historySource = m_usage->historySource(std::move(running));
    }
    if (!view.cbHistory || !m_usage)
        return;
    if (const auto identity = identityAt(m_ui.cbURL->currentIndex()))
        view.historyDocument = m_usage->historyDocument(*identity);
    else
        view.historyDocument = [on = m_usage->recording()]() -> std::optional<std::string> {
            return on ? std::optional(usage::historyCsv({})) : std::nullopt;
        };
}

} // namespace flowloom::app

#pragma once

#include "app/Environment.h"
#include "app/MainControls.h"
#include "app/shell/Dialogs.h"
#ifndef Q_MOC_RUN
#include "accounting/AccountingCore.h"
#include "app/controllers/UsageRecording.h"
#include "sampling/IPHelper.h"
#include "usage/CapWarning.h"
#include "usage/UsageHistory.h"
#endif

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

class QMessageBox;

namespace flowloom::web {
struct WebSnapshot;
}

namespace flowloom::app {

// The usage history: the accounting core records every interface's bytes
// for its day and billing period; the history is written in the background
// once a minute. Also the "  History  " page, the data-cap warning and the
// history document on the web.
class HistoryController final : public QObject
{
public:
    struct Links
    {
        std::function<void()> publishWebView;
    };

    HistoryController(const MainControls& ui, const Environment& env, const FileLocations& files,
                      Dialogs& dialogs, Links links);
    ~HistoryController() override;

    void btnExportClick();
    void edHistoryExit();
    void showHistory();

    // Start-up: the history file is opened; the history the core feeds.
    // What an opening begun earlier found is taken (see UsageRecording::
    // openInBackground); without one the file is opened here.
    void takeOpening(std::future<UsageRecording::Opening> opening)
    {
        m_opening = std::move(opening);
    }
    usage::UsageHistory* openHistory();
    // The core whose interfaces the history page and documents show.
    void attachCore(const accounting::AccountingCore* core) { m_core = core; }
    // Each tick: the cap rule goes to the core first; its warnings come back.
    void beforeTick(accounting::AccountingCore& core) const;
    void afterTick(const accounting::TickReport& report);
    // The window is seen again: the page, not refreshed meanwhile, catches up.
    void windowSeenAgain();
    void flushHistory();
    void closeHistory();
    void publishHistoryView(web::WebSnapshot& view) const;

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    std::optional<usage::InterfaceIdentity> identityAt(int position) const;
    // The interface the History page shows: its own choice, else the selected one.
    std::optional<usage::InterfaceIdentity> shownIdentity();
    void fillInterfaceChoice();
    usage::BillingRule billingRule() const;
    usage::CapRule capRule() const;
    // The data-cap rule and what it measures, read when a control of theirs
    // changes (and once the settings are in them), not every tick.
    void readCapRule();
    void showCapWarning(usage::CapLevel level, const usage::CapRule& rule,
                        const usage::PeriodStatus& status, const std::string& interfaceName);
    void showNotice(const QString& text); // the notice panel and the box
    void showNoticeBox(const QString& text);
    void showUnavailable();
    void historyWritten(std::uint64_t seq, bool ok, const std::string& error);

    const MainControls& m_ui;
    const Environment& m_env;
    const FileLocations& m_files;
    Dialogs& m_dialogs;
    Links m_links;
    std::future<UsageRecording::Opening> m_opening;
    std::unique_ptr<UsageRecording> m_usage;
    const accounting::AccountingCore* m_core = nullptr;
    int m_historyTicks = 0;
    bool m_historyFailureShown = false;
    std::string m_rememberedHistoryName;
    usage::CapRule m_capRule;
    accounting::CapScope m_capScope = accounting::CapScope::Selected;
    QPointer<QMessageBox> m_notice; // one non-modal notice, reused
};

} // namespace flowloom::app

#pragma once

#include "app/MainControls.h"
#ifndef Q_MOC_RUN
#include "accounting/AccountingCore.h"
#include "appnet/ApplicationTraffic.h"
#include "usage/UsageStore.h"
#include "web/documents/Figures.h"
#endif

#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace flowloom::app {

// Traffic per application in the window: the accounting core's tick hook
// runs the counting, the setting switches it, and the "  Applications  "
// page shows it. Where the kernel offers no socket diagnostics it stays off
// and says so once in the status bar.
class ApplicationsController final : public QObject
{
public:
    ApplicationsController(const MainControls& ui,
                           std::unique_ptr<appnet::ApplicationTraffic> traffic);
    ~ApplicationsController() override;

    // From the core's tick, after the interfaces' bytes are recorded.
    void tick(const accounting::TickTraffic& traffic, const sampling::DateTime& now,
              const accounting::AccountingCore& core);
    void cbAppTrafficClick();
    // The window is seen again: its page, when current, shows the latest tick.
    void windowSeenAgain();
    const appnet::ApplicationTraffic& traffic() const { return *m_traffic; }
    // Adds today's and the period's bytes per application to the tick's
    // figures, while /metrics or the JSON API is switched on.
    void publish(web::Figures& figures, const accounting::AccountingCore& core);

private:
    void showPage(const sampling::DateTime& now, const accounting::AccountingCore& core);
    void showState();
    // The page is the current one in a window on the screen.
    bool pageShown() const;
    // At once (the page or its scope was chosen).
    void showNow();

    const MainControls& m_ui;
    std::unique_ptr<appnet::ApplicationTraffic> m_traffic;
    const accounting::AccountingCore* m_core = nullptr; // seen in the latest tick
    sampling::DateTime m_now;
    bool m_toldUnavailable = false;
    // The figures last published, and what they were read for: they are read
    // from the history again only after a poll (the history's application
    // rows change with polls alone), or on another day or period.
    struct Published
    {
        std::uint64_t polls = 0;
        std::string periodFirstDay;
        std::string today;
        const usage::UsageHistory* history = nullptr;
        web::ApplicationsFigures figures;
    };
    std::optional<Published> m_published;
};

} // namespace flowloom::app

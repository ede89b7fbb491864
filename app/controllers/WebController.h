#pragma once

#include "app/Environment.h"
#include "app/FigureBoard.h"
#include "app/MainControls.h"
#include "app/ProgramVariables.h"
#include "app/shell/Dialogs.h"
#ifndef Q_MOC_RUN
#include "web/documents/DocumentNames.h"
#include "web/documents/LivePage.h"
#endif

#include <QImage>
#include <QObject>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QLineEdit;

namespace flowloom::web {
class TForm2;
class WebService;
struct WebSnapshot;
struct Figures;
struct NameDecision;
} // namespace flowloom::web

namespace flowloom::app {

// The four web document names as the Setup page holds them.
web::NameFields nameFieldsOf(const SetupPage& setup);

// The web service: start and stop, the view of the window that requests
// read, the document names and the server settings dialog.
class WebController final : public QObject
{
public:
    struct Links
    {
        std::function<std::optional<QImage>()> graphSnapshot;
        std::function<void(web::WebSnapshot&)> publishHistoryView;
        // The figures of the latest tick, for /metrics and the JSON API.
        std::function<std::shared_ptr<const web::Figures>()> figures;
    };

    WebController(const MainControls& ui, const Environment& env, ProgramVariables& vars,
                  Dialogs& dialogs, const FigureBoard& figures, Links links);
    ~WebController() override;

    void StartServer();
    void stopServer();
    void cbWebClick();
    void btnAdvancedClick();
    void cbCSVClick();
    void edFormatExit();
    void edImageExit();
    void edTempExit();
    void edTempChange();
    void btnWebFontClick();
    // The view of the window that requests read, published on every change.
    void publishWebView(bool evenWhenStopped = false);
    // Renderings for the web, on the user-interface thread.
    std::optional<QImage> SaveTempGraph();
    std::optional<QImage> SaveTempStatistics(const std::string& formattedText);
    // Start-up: the names as they stand now are the remembered ones.
    void rememberNames();
    // Start-up: the Setup page says whether authentication lets anybody in.
    void createWebDialog() { showWhoIsLetIn(); }

    const web::WebService& service() const { return *m_web; }
    // The server settings dialog, made the first time it is wanted (most runs
    // never open it): it takes the settings' values as they stand then.
    web::TForm2* Form2();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void applyNameDecision(const web::NameDecision& decision);
    // The Setup page says so while authentication lets nobody in.
    void showWhoIsLetIn();
    void edNameClick(QLineEdit* edit, bool showUrl);
    // Label12 and the live page's address: only addresses that answer now.
    void showAnsweringAddresses();
    // The live page opens with the graph's last minutes.
    void rememberTick(const web::Figures& figures);
    static constexpr std::size_t kRecentTicks = 300;

    const MainControls& m_ui;
    const Environment& m_env;
    ProgramVariables& m_vars;
    Dialogs& m_dialogs;
    const FigureBoard& m_figures;
    Links m_links;
    std::unique_ptr<web::WebService> m_web;
    web::TForm2* m_form2 = nullptr; // a child of the window, once made
    web::NameFields m_rememberedNames;
    std::string m_serverAddress;
    std::deque<web::LiveSample> m_recentTicks;
    // The statistics document the user dealt with last; Label12 shows it
    // while it is published.
    std::optional<web::StatisticsDocument> m_label12Wanted;
    bool m_startFailing = false; // a failed start is unticking "Activate server"
};

} // namespace flowloom::app

// The web service on the main window: start and stop, the published view of
// the window, the document names and the server settings dialog.
#include "app/controllers/WebController.h"
#include "app/Colours.h"
#include "app/NumberBox.h"
#include "app/desktop/DesktopNotices.h"
#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "graph/ChartWidget.h"
#include "web/documents/DocumentNames.h"
#include "web/http/Port.h"
#include "web/ui/StatisticsImage.h"
#include "web/ui/Unit2.h"
#include "web/ui/WebService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>

namespace flowloom::app {

using web::DocumentNames;

WebController::WebController(const MainControls& ui, const Environment& env, ProgramVariables& vars,
                             Dialogs& dialogs, const FigureBoard& figures, Links links)
    : m_ui(ui), m_env(env), m_vars(vars), m_dialogs(dialogs), m_figures(figures),
      m_links(std::move(links))
{
    web::WebRenderers renderers;
    renderers.graph = [this] { return SaveTempGraph(); };
    renderers.statistics = [this](const std::string& text) { return SaveTempStatistics(text); };
    m_web = std::make_unique<web::WebService>(
        [this](std::function<void()> call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        },
        std::move(renderers));

    SetupPage& s = *m_ui.Setup;
    connect(s.cbWeb, &QCheckBox::toggled, this, [this] { cbWebClick(); });
    connect(s.btnAdvanced, &QPushButton::clicked, this, [this] { btnAdvancedClick(); });
    connect(s.btnWebFont, &QPushButton::clicked, this, [this] { btnWebFontClick(); });
    for (const auto& [box, document] : {std::pair{s.cbCSV, web::StatisticsDocument::CommaSeparated},
                                        std::pair{s.cbFormat, web::StatisticsDocument::Formatted},
                                        std::pair{s.cbImage, web::StatisticsDocument::Image}})
        connect(box, &QCheckBox::clicked, this, [this, wanted = document] {
            m_label12Wanted = wanted;
            cbCSVClick();
        });
    connect(s.cbLivePage, &QCheckBox::toggled, this, [this] { showAnsweringAddresses(); });
    for (QRadioButton* type : {s.rbBMP, s.rbJPG, s.rbGIF, s.rbPNG})
        connect(type, &QRadioButton::toggled, this, [this](bool on) {
            if (!on)
                return;
            edTempExit();
            publishWebView(); // the images' type, also when the names stayed (a clash)
        });
    connect(s.edTemp, &QLineEdit::textChanged, this, [this] { edTempChange(); });
    for (QLineEdit* name : {s.edTemp, s.edWebStats, s.edFormat, s.edImage}) {
        name->installEventFilter(this);
        connect(name, &QLineEdit::textChanged, this, [this] { publishWebView(); });
    }
    for (QCheckBox* box : {s.cbCSV, s.cbFormat, s.cbImage, s.cbMetrics, s.cbJsonApi, s.cbLivePage})
        connect(box, &QCheckBox::toggled, this, [this] { publishWebView(); });
}

WebController::~WebController() = default;

bool WebController::eventFilter(QObject* watched, QEvent* event)
{
    SetupPage& s = *m_ui.Setup;
    if (event->type() == QEvent::FocusOut &&
        leavesField(static_cast<QFocusEvent*>(event)->reason())) {
        if (watched == s.edWebStats) {
            m_label12Wanted = web::StatisticsDocument::CommaSeparated;
            cbCSVClick();
        } else if (watched == s.edFormat) {
            m_label12Wanted = web::StatisticsDocument::Formatted;
            edFormatExit();
        } else if (watched == s.edImage) {
            m_label12Wanted = web::StatisticsDocument::Image;
            edImageExit();
        } else if (watched == s.edTemp)
            edTempExit();
    } else if (event->type() == QEvent::MouseButtonPress) {
        if (watched == s.edWebStats)
            edNameClick(s.edWebStats, true);
        else if (watched == s.edFormat)
            edNameClick(s.edFormat, true);
        else if (watched == s.edImage)
            edNameClick(s.edImage, true);
        else if (watched == s.edTemp)
            edNameClick(s.edTemp, false);
    }
    return QObject::eventFilter(watched, event);
}

web::TForm2* WebController::Form2()
{
    if (m_form2 == nullptr) {
        m_form2 = new web::TForm2(
            web::AdvancedSettings{m_vars.Auth, m_vars.User, m_vars.Pass, m_vars.Port}, m_ui.window);
        m_form2->hide();
    }
    return m_form2;
}

void WebController::showWhoIsLetIn()
{
    constexpr std::string_view text = web::CredentialCheck::kNobodyLetInText;
    QLabel& label = *m_ui.Setup->lblNobodyLetIn;
    label.setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    label.setVisible(web::CredentialCheck::letsNobodyIn(m_vars.Auth, m_vars.User, m_vars.Pass));
}

// --- The published view ----------------------------------------------------------

web::NameFields nameFieldsOf(const SetupPage& s)
{
    web::NameFields fields;
    fields.edWebStats = s.edWebStats->text().toStdString();
    fields.edFormat = s.edFormat->text().toStdString();
    fields.edImage = s.edImage->text().toStdString();
    fields.edTemp = s.edTemp->text().toStdString();
    return fields;
}

void WebController::publishWebView(bool evenWhenStopped)
{
    // Only a running server reads the view; StartServer publishes it before it listens.
    if (!m_web || (!m_web->isActive() && !evenWhenStopped))
        return;
    const SetupPage& s = *m_ui.Setup;
    const StatisticsPage& p = *m_ui.Statistics;
    web::WebSnapshot view;
    auto text = [this](const QLabel* label) { return m_figures.figure(label).toStdString(); };
    view.statistics = {text(p.Panel14), text(p.Panel15), text(p.Panel16), text(p.Panel18),
                       text(p.Panel19), text(p.Panel20), text(p.Panel26), text(p.Panel27),
                       text(p.Label39), text(p.Label41)};
    if (sampling::isBitUnit(s.shownRateUnit()))
        view.statistics.readableRateUnit = s.shownRateUnit();
    const web::NameFields names = nameFieldsOf(*m_ui.Setup);
    view.edTemp = names.edTemp;
    view.edWebStats = names.edWebStats;
    view.edFormat = names.edFormat;
    view.edImage = names.edImage;
    view.cbCSV = s.cbCSV->isChecked();
    view.cbFormat = s.cbFormat->isChecked();
    view.cbImage = s.cbImage->isChecked();
    view.credentials = web::CredentialCheck(m_vars.Auth, m_vars.User, m_vars.Pass);
    view.imageType = m_ui.Setup->imageType();
    view.cbMetrics = s.cbMetrics->isChecked();
    view.cbJsonApi = s.cbJsonApi->isChecked();
    view.cbLivePage = s.cbLivePage->isChecked();
    if ((view.cbMetrics || view.servesPageData()) && m_links.figures)
        view.figures = m_links.figures();
    view.graphColours = {m_vars.Plot, m_vars.PlotUp, m_vars.Back, m_vars.Left, m_vars.Grid};
    if (view.cbLivePage && view.figures) {
        rememberTick(*view.figures);
        view.recentTicks = std::make_shared<const std::vector<web::LiveSample>>(
            m_recentTicks.begin(), m_recentTicks.end());
    }
    if (m_links.publishHistoryView)
        m_links.publishHistoryView(view);
    m_web->publish(std::move(view));
}

void WebController::rememberTick(const web::Figures& figures)
{
    if (!figures.selected || (!m_recentTicks.empty() && m_recentTicks.back().time >= figures.time))
        return;
    m_recentTicks.push_back({figures.time, figures.received.currentRate, figures.sent.currentRate});
    while (m_recentTicks.size() > kRecentTicks)
        m_recentTicks.pop_front();
}

// --- Renderings for the web (user-interface thread) ---------------------------------

std::optional<QImage> WebController::SaveTempGraph()
{
    return m_links.graphSnapshot();
}

std::optional<QImage> WebController::SaveTempStatistics(const std::string& formattedText)
{
    const web::WebFont font{m_vars.WebName, m_vars.WebSize, m_vars.WebStyle, m_vars.WebColour};
    auto drawing = web::StatisticsImage::draw(font, formattedText,
                                              m_ui.Statistics->Label39->text().toStdString());
    if (!drawing)
        return std::nullopt;
    m_ui.Setup->Label1->setText(drawing->label1);
    return std::move(drawing->image);
}

// --- Server start and stop -------------------------------------------------------

void WebController::StartServer()
{
    web::Binding binding;
    try {
        // The list shows padded numbers; the address is the compact form.
        binding.address =
            m_ui.Setup->cbServerIP->currentText().remove(QLatin1Char(' ')).toStdString();
        binding.port = web::portOrDefault(m_vars.Port);
        publishWebView(true);
        const web::Binding bound = m_web->start(binding);
        m_serverAddress = DocumentNames::serverAddress(
            bound.address.empty() ? "0.0.0.0" : bound.address, bound.port);
        m_ui.Setup->Label2->setText(QString::fromStdString(
            DocumentNames::url(m_serverAddress, m_ui.Setup->edTemp->text().toStdString())));
        m_ui.StatusPanel[3]->setText(QStringLiteral("Server Running"));
        m_ui.Setup->Label2->show();
        m_ui.Setup->Label12->show();
        showAnsweringAddresses();
    } catch (const std::exception& failure) {
        stopServer();
        // Runs the stop branch; the switch the user set stays as it was, so
        // ticking the box again, or the next start, tries again.
        m_startFailing = true;
        m_ui.Setup->cbWeb->setChecked(false);
        m_startFailing = false;
        // The reason and what to do about it; also to the desktop, since the
        // window may be out of sight, in the tray.
        const std::string message = web::startFailureMessage(
            failure.what(), binding.port,
            m_env.headless ? web::PortRemedyPlace::SettingsFile : web::PortRemedyPlace::Dialog);
        m_ui.notices->notify(
            {QStringLiteral("Web server not started"), QString::fromStdString(message)});
        // Without a window the notice is already on standard error: once is enough.
        if (!m_env.headless)
            m_env.showMessage(message);
    }
}

void WebController::stopServer()
{
    if (m_web)
        m_web->stop();
}

void WebController::cbWebClick()
{
    const bool on = m_ui.Setup->cbWeb->isChecked();
    if (!m_startFailing)
        m_vars.WebWanted = on;
    if (on && m_ui.window->isVisible()) {
        StartServer();
    } else if (!on) {
        stopServer();
        m_ui.StatusPanel[3]->clear();
        m_ui.Setup->Label2->hide();
        m_ui.Setup->Label12->hide();
        m_ui.Setup->lblLivePageUrl->hide();
    }
    // Address, port and credentials change only while the server is stopped.
    m_ui.Setup->btnAdvanced->setEnabled(!m_ui.Setup->cbWeb->isChecked());
    m_ui.Setup->cbServerIP->setEnabled(!m_ui.Setup->cbWeb->isChecked());
}

void WebController::btnAdvancedClick()
{
    Form2()->openBeside(*m_ui.window);
    showWhoIsLetIn();
    publishWebView(); // the credentials apply from the next request
}

// --- Document names --------------------------------------------------------------

void WebController::applyNameDecision(const web::NameDecision& decision)
{
    SetupPage& s = *m_ui.Setup;
    auto put = [](QLineEdit* edit, const std::string& text) {
        const QString value = QString::fromStdString(text);
        if (edit->text() != value)
            edit->setText(value);
    };
    put(s.edWebStats, decision.fields.edWebStats);
    put(s.edFormat, decision.fields.edFormat);
    put(s.edImage, decision.fields.edImage);
    put(s.edTemp, decision.fields.edTemp);
    if (decision.outcome == web::NameOutcome::Clash)
        m_env.showMessage(decision.message);
    if (decision.label12Name)
        showAnsweringAddresses();
    if (decision.webFontEnabled)
        s.btnWebFont->setEnabled(*decision.webFontEnabled);
}

void WebController::cbCSVClick()
{
    applyNameDecision(DocumentNames::cbCSVClick(nameFieldsOf(*m_ui.Setup), m_rememberedNames,
                                                m_ui.Setup->cbImage->isChecked()));
}

void WebController::edFormatExit()
{
    applyNameDecision(DocumentNames::edFormatExit(nameFieldsOf(*m_ui.Setup), m_rememberedNames));
}

void WebController::edImageExit()
{
    applyNameDecision(DocumentNames::edImageExit(nameFieldsOf(*m_ui.Setup), m_rememberedNames,
                                                 m_ui.Setup->cbImage->isChecked(),
                                                 output::extensionOf(m_ui.Setup->imageType())));
}

void WebController::edTempExit()
{
    applyNameDecision(DocumentNames::edTempExit(nameFieldsOf(*m_ui.Setup), m_rememberedNames,
                                                output::extensionOf(m_ui.Setup->imageType())));
}

void WebController::edTempChange()
{
    m_ui.Setup->Label2->setText(QString::fromStdString(DocumentNames::edTempChange(
        m_ui.Setup->Label2->text().toStdString(), m_ui.Setup->edTemp->text().toStdString())));
}

void WebController::edNameClick(QLineEdit* edit, bool showUrl)
{
    const std::string text = edit->text().toStdString();
    SetupPage& s = *m_ui.Setup;
    if (edit == s.edWebStats)
        m_rememberedNames.edWebStats = text;
    else if (edit == s.edFormat)
        m_rememberedNames.edFormat = text;
    else if (edit == s.edImage)
        m_rememberedNames.edImage = text;
    else
        m_rememberedNames.edTemp = text;
    if (showUrl) {
        m_label12Wanted = edit == s.edWebStats ? web::StatisticsDocument::CommaSeparated
                          : edit == s.edFormat ? web::StatisticsDocument::Formatted
                                               : web::StatisticsDocument::Image;
        showAnsweringAddresses();
    }
}

void WebController::showAnsweringAddresses()
{
    SetupPage& s = *m_ui.Setup;
    const web::NameFields names = nameFieldsOf(s);
    const std::optional<web::StatisticsDocument> shown = DocumentNames::label12Document(
        m_label12Wanted, {s.cbCSV->isChecked(), s.cbFormat->isChecked(), s.cbImage->isChecked()});
    // Only the address of a document that answers; none while none is published.
    s.Label12->setText(shown ? QString::fromStdString(DocumentNames::url(
                                   m_serverAddress, DocumentNames::nameOf(names, *shown)))
                             : QString());
    s.lblLivePageUrl->setText(QString::fromStdString(DocumentNames::url(m_serverAddress, "")));
    s.lblLivePageUrl->setVisible(m_web && m_web->isActive() && s.cbLivePage->isChecked());
}

void WebController::rememberNames()
{
    m_rememberedNames = nameFieldsOf(*m_ui.Setup);
}

void WebController::btnWebFontClick()
{
    const web::WebFont font{m_vars.WebName, m_vars.WebSize, m_vars.WebStyle, m_vars.WebColour};
    const auto choice =
        m_dialogs.chooseFont(m_ui.window, {web::StatisticsImage::qFont(font),
                                           web::StatisticsImage::qColor(font.colour)});
    if (!choice)
        return;
    m_vars.WebName = choice->font.family().toStdString();
    m_vars.WebSize = choice->font.pointSize();
    m_vars.WebStyle = styleBits(choice->font);
    m_vars.WebColour = fromQColor(choice->colour);
}

} // namespace flowloom::app

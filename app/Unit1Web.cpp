// The web service on the main window: start and stop, the published view of
// the window, the document names and the server settings dialog.
#include "app/Colours.h"
#include "app/NumberBox.h"
#include "app/SetupPage.h"
#include "app/StatisticsPage.h"
#include "app/Unit1.h"
#include "graph/ChartWidget.h"
#include "web/documents/DocumentNames.h"
#include "web/ui/StatisticsImage.h"
#include "web/ui/Unit2.h"
#include "web/ui/WebService.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace flowloom::app {

using web::DocumentNames;

void TForm1::createWebService()
{
    web::WebRenderers renderers;
    renderers.graph = [this] { return SaveTempGraph(); };
    renderers.statistics = [this](const std::string& text) { return SaveTempStatistics(text); };
    m_web = std::make_unique<web::WebService>(
        [this](std::function<void()> call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        },
        std::move(renderers));

    SetupPage& s = *Setup;
    connect(s.cbWeb, &QCheckBox::toggled, this, [this] { cbWebClick(); });
    connect(s.btnAdvanced, &QPushButton::clicked, this, [this] { btnAdvancedClick(); });
    connect(s.btnWebFont, &QPushButton::clicked, this, [this] { btnWebFontClick(); });
    for (QCheckBox* box : {s.cbCSV, s.cbFormat, s.cbImage})
        connect(box, &QCheckBox::clicked, this, [this] { cbCSVClick(); });
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
    for (QCheckBox* box : {s.cbCSV, s.cbFormat, s.cbImage})
        connect(box, &QCheckBox::toggled, this, [this] { publishWebView(); });
}

bool TForm1::webEventFilter(QObject* watched, QEvent* event)
{
    SetupPage& s = *Setup;
    if (event->type() == QEvent::FocusOut &&
        leavesField(static_cast<QFocusEvent*>(event)->reason())) {
        if (watched == s.edWebStats)
            cbCSVClick();
        else if (watched == s.edFormat)
            edFormatExit();
        else if (watched == s.edImage)
            edImageExit();
        else if (watched == s.edTemp)
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
    return false;
}

void TForm1::createWebDialog()
{
    Form2 = new web::TForm2(
        web::AdvancedSettings{m_vars.Auth, m_vars.User, m_vars.Pass, m_vars.Port}, this);
    Form2->hide();
}

// --- The published view ----------------------------------------------------------

web::NameFields TForm1::nameFields() const
{
    const SetupPage& s = *Setup;
    web::NameFields fields;
    fields.edWebStats = s.edWebStats->text().toStdString();
    fields.edFormat = s.edFormat->text().toStdString();
    fields.edImage = s.edImage->text().toStdString();
    fields.edTemp = s.edTemp->text().toStdString();
    return fields;
}

output::ImageType TForm1::imageType() const
{
    if (Setup->rbBMP->isChecked())
        return output::ImageType::Bmp;
    if (Setup->rbGIF->isChecked())
        return output::ImageType::Gif;
    if (Setup->rbPNG->isChecked())
        return output::ImageType::Png;
    return output::ImageType::Jpeg; // also when no type is checked
}

void TForm1::publishWebView(bool evenWhenStopped)
{
    // Only a running server reads the view; StartServer publishes it before it listens.
    if (!m_web || (!m_web->isActive() && !evenWhenStopped))
        return;
    const SetupPage& s = *Setup;
    const StatisticsPage& p = *Statistics;
    web::WebSnapshot view;
    auto text = [this](const QLabel* label) { return figure(label).toStdString(); };
    view.statistics = {text(p.Panel14), text(p.Panel15), text(p.Panel16), text(p.Panel18),
                       text(p.Panel19), text(p.Panel20), text(p.Panel26), text(p.Panel27),
                       text(p.Label39), text(p.Label41)};
    const web::NameFields names = nameFields();
    view.edTemp = names.edTemp;
    view.edWebStats = names.edWebStats;
    view.edFormat = names.edFormat;
    view.edImage = names.edImage;
    view.cbCSV = s.cbCSV->isChecked();
    view.cbFormat = s.cbFormat->isChecked();
    view.cbImage = s.cbImage->isChecked();
    view.credentials = web::CredentialCheck(m_vars.Auth, m_vars.User, m_vars.Pass);
    view.imageType = imageType();
    publishHistoryView(view);
    m_web->publish(std::move(view));
}

// --- Renderings for the web (user-interface thread) ---------------------------------

std::optional<QImage> TForm1::SaveTempGraph()
{
    return webGraphSnapshot();
}

std::optional<QImage> TForm1::SaveTempStatistics(const std::string& formattedText)
{
    const web::WebFont font{m_vars.WebName, m_vars.WebSize, m_vars.WebStyle, m_vars.WebColour};
    auto drawing =
        web::StatisticsImage::draw(font, formattedText, Statistics->Label39->text().toStdString());
    if (!drawing)
        return std::nullopt;
    Setup->Label1->setText(drawing->label1);
    return std::move(drawing->image);
}

// --- Server start and stop -------------------------------------------------------

void TForm1::StartServer()
{
    try {
        web::Binding binding;
        // The list shows padded numbers; the address is the compact form.
        binding.address = Setup->cbServerIP->currentText().remove(QLatin1Char(' ')).toStdString();
        binding.port =
            static_cast<std::uint16_t>(m_vars.Port >= 0 && m_vars.Port <= 65535 ? m_vars.Port : 80);
        publishWebView(true);
        const web::Binding bound = m_web->start(binding);
        m_serverAddress = DocumentNames::serverAddress(
            bound.address.empty() ? "0.0.0.0" : bound.address, bound.port);
        Setup->Label2->setText(QString::fromStdString(
            DocumentNames::url(m_serverAddress, Setup->edTemp->text().toStdString())));
        StatusPanel[3]->setText(QStringLiteral("Server Running"));
        Setup->Label12->setText(QString::fromStdString(
            DocumentNames::url(m_serverAddress, Setup->edWebStats->text().toStdString())));
        Setup->Label2->show();
        Setup->Label12->show();
    } catch (const std::exception& error) {
        stopServer();
        Setup->cbWeb->setChecked(false); // runs the stop branch
        m_env.showMessage(error.what());
    }
}

void TForm1::stopServer()
{
    if (m_web)
        m_web->stop();
}

void TForm1::cbWebClick()
{
    const bool on = Setup->cbWeb->isChecked();
    if (on && isVisible()) {
        StartServer();
    } else if (!on) {
        stopServer();
        StatusPanel[3]->clear();
        Setup->Label2->hide();
        Setup->Label12->hide();
    }
    // Address, port and credentials change only while the server is stopped.
    Setup->btnAdvanced->setEnabled(!Setup->cbWeb->isChecked());
    Setup->cbServerIP->setEnabled(!Setup->cbWeb->isChecked());
}

void TForm1::btnAdvancedClick()
{
    Form2->openBeside(*this);
    publishWebView(); // the credentials apply from the next request
}

// --- Document names --------------------------------------------------------------

void TForm1::applyNameDecision(const web::NameDecision& decision)
{
    SetupPage& s = *Setup;
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
        s.Label12->setText(
            QString::fromStdString(DocumentNames::url(m_serverAddress, *decision.label12Name)));
    if (decision.webFontEnabled)
        s.btnWebFont->setEnabled(*decision.webFontEnabled);
}

void TForm1::cbCSVClick()
{
    applyNameDecision(
        DocumentNames::cbCSVClick(nameFields(), m_rememberedNames, Setup->cbImage->isChecked()));
}

void TForm1::edFormatExit()
{
    applyNameDecision(DocumentNames::edFormatExit(nameFields(), m_rememberedNames));
}

void TForm1::edImageExit()
{
    applyNameDecision(DocumentNames::edImageExit(nameFields(), m_rememberedNames,
                                                 Setup->cbImage->isChecked(),
                                                 output::extensionOf(imageType())));
}

void TForm1::edTempExit()
{
    applyNameDecision(DocumentNames::edTempExit(nameFields(), m_rememberedNames,
                                                output::extensionOf(imageType())));
}

void TForm1::edTempChange()
{
    Setup->Label2->setText(QString::fromStdString(DocumentNames::edTempChange(
        Setup->Label2->text().toStdString(), Setup->edTemp->text().toStdString())));
}

void TForm1::edNameClick(QLineEdit* edit, bool showUrl)
{
    const std::string text = edit->text().toStdString();
    SetupPage& s = *Setup;
    if (edit == s.edWebStats)
        m_rememberedNames.edWebStats = text;
    else if (edit == s.edFormat)
        m_rememberedNames.edFormat = text;
    else if (edit == s.edImage)
        m_rememberedNames.edImage = text;
    else
        m_rememberedNames.edTemp = text;
    if (showUrl)
        s.Label12->setText(QString::fromStdString(DocumentNames::url(m_serverAddress, text)));
}

void TForm1::rememberNames()
{
    m_rememberedNames = nameFields();
}

void TForm1::btnWebFontClick()
{
    const web::WebFont font{m_vars.WebName, m_vars.WebSize, m_vars.WebStyle, m_vars.WebColour};
    const auto choice = m_dialogs.chooseFont(
        this, {web::StatisticsImage::qFont(font), web::StatisticsImage::qColor(font.colour)});
    if (!choice)
        return;
    m_vars.WebName = choice->font.family().toStdString();
    m_vars.WebSize = choice->font.pointSize();
    m_vars.WebStyle = styleBits(choice->font);
    m_vars.WebColour = fromQColor(choice->colour);
}

} // namespace flowloom::app

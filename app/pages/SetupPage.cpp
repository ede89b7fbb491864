#include "app/pages/SetupPage.h"

#include "app/NumberBox.h"
#include "app/ini/SettingsKeys.h"
#include "app/ini/ValueCodec.h"
#include "app/pages/UsageSetupPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

namespace flowloom::app {

namespace {

// Controls start at their keys' first-run values and ranges.
using K = SettingsKeys;

QString defaultText(Key key)
{
    const std::string_view text = K::defaultText(key);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
QWidget* page(QTabWidget* tabs, const QString& caption, const char* name)
{
    auto* widget = new QWidget(tabs);
    widget->setObjectName(name);
    tabs->addTab(widget, caption);
    return widget;
}

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

QRadioButton* radio(const char* caption, const char* name, QWidget* parent)
{
    return named(new QRadioButton(QString::fromLatin1(caption), parent), name);
}

QCheckBox* check(const char* caption, const char* name, QWidget* parent)
{
    return named(new QCheckBox(QString::fromLatin1(caption), parent), name);
}

QPushButton* button(const char* caption, const char* name, QWidget* parent)
{
    auto* b = named(new QPushButton(QString::fromLatin1(caption), parent), name);
    b->setMinimumWidth(150);
    return b;
}

QFrame* swatch(const char* name, QWidget* parent)
{
    auto* frame = named(new QFrame(parent), name);
    frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    frame->setFixedSize(40, 20);
    frame->setAutoFillBackground(true);
    return frame;
}

// Radio buttons of one group live in their own container so that each group
// is exclusive on its own.
QWidget* radioRow(QWidget* parent, std::initializer_list<QRadioButton**> buttons,
                  std::initializer_list<std::pair<const char*, const char*>> captions)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto caption = captions.begin();
    for (QRadioButton** b : buttons) {
        *b = radio(caption->first, caption->second, row);
        layout->addWidget(*b);
        ++caption;
    }
    layout->addStretch(1);
    return row;
}
} // namespace

SetupPage::SetupPage(QWidget* parent) : QWidget(parent)
{
    PageControl2 = named(new QTabWidget(this), "PageControl2");
    GraphAxesPage = page(PageControl2, QStringLiteral(" Graph Axes  "), "TabSheetAxes");
    GraphStylePage = page(PageControl2, QStringLiteral(" Graph Style "), "TabSheetStyle");
    ImageCapturePage = page(PageControl2, QStringLiteral(" Image Capture "), "TabSheetCapture");
    WebServerPage = page(PageControl2, QStringLiteral("Web Server"), "TabSheetWeb");
    OptionsPage = page(PageControl2, QStringLiteral(" Options "), "TabSheetOptions");
    UsagePage = new UsageSetupPage(PageControl2);
    UsagePage->setObjectName("TabSheetUsage");
    PageControl2->addTab(UsagePage, QStringLiteral(" Usage History "));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(PageControl2);

    createGraphAxesPage();
    createGraphStylePage();
    createImageCapturePage();
    createWebServerPage();
    createOptionsPage();
}

void SetupPage::createGraphAxesPage()
{
    auto* horizontal = new QGroupBox(QStringLiteral("Horizontal Axis "), GraphAxesPage);
    auto* h = new QGridLayout(horizontal);
    spPoints = named(new NumberBox(K::range(Key::Points), horizontal), "spPoints");
    spPoints->setValue(K::defaultInt(Key::Points));
    h->addWidget(new QLabel(QStringLiteral("Points per page"), horizontal), 0, 0);
    h->addWidget(spPoints, 0, 1);
    h->addWidget(new QLabel(QStringLiteral("Horizontal Axis Label Orientation:"), horizontal), 1,
                 0);
    h->addWidget(radioRow(horizontal, {&rbVertical, &rbHorizontal},
                          {{"Vertical", "rbVertical"}, {"Horizontal", "rbHorizontal"}}),
                 1, 1);
    rbHorizontal->setChecked(K::defaultOn(Key::Horizontal));
    h->setColumnStretch(2, 1);

    auto* vertical = new QGroupBox(QStringLiteral("Vertical Axis "), GraphAxesPage);
    auto* v = new QGridLayout(vertical);
    spMax = named(new NumberBox(std::nullopt, vertical), "spMax");
    spMax->setValue(K::defaultInt(Key::Max));
    v->addWidget(new QLabel(QStringLiteral("Maximum value"), vertical), 0, 0);
    v->addWidget(spMax, 0, 1);
    v->addWidget(radioRow(vertical, {&rbBytes, &rbKBytes, &rbKbits, &rbMbits},
                          {{"Bytes/sec", "rbBytes"},
                           {"KB/sec", "rbKBytes"},
                           {"kbit/s", "rbKbits"},
                           {"Mbit/s", "rbMbits"}}),
                 1, 1);
    rbKBytes->setChecked(K::defaultOn(Key::KB));
    cbAuto = check("Automatic", "cbAuto", vertical);
    cbAuto->setChecked(K::defaultOn(Key::Auto));
    v->addWidget(cbAuto, 2, 0);
    v->addWidget(radioRow(vertical, {&rbPeak, &rbAvg, &rbFit},
                          {{"Peak", "rbPeak"}, {"Average", "rbAvg"}, {"Visible page", "rbFit"}}),
                 2, 1);
    rbPeak->setChecked(K::defaultOn(Key::Peak));
    edLabel = named(new QLineEdit(defaultText(Key::Label), vertical), "edLabel");
    v->addWidget(new QLabel(QStringLiteral("Label"), vertical), 3, 0);
    v->addWidget(edLabel, 3, 1);
    v->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(GraphAxesPage);
    layout->addWidget(horizontal);
    layout->addWidget(vertical);
    layout->addStretch(1);
}

void SetupPage::createGraphStylePage()
{
    auto* style = new QGroupBox(QStringLiteral("Graph Style"), GraphStylePage);
    auto* s = new QGridLayout(style);
    s->addWidget(radioRow(style, {&rbArea, &rbLine}, {{"Filled", "rbArea"}, {"Line", "rbLine"}}), 0,
                 0);
    rbArea->setChecked(K::defaultOn(Key::Area));
    s->addWidget(radioRow(style, {&rbSteps, &rbRamp}, {{"Steps", "rbSteps"}, {"Ramp", "rbRamp"}}),
                 1, 0);
    rbRamp->setChecked(K::defaultOn(Key::Ramp));
    cbDoPlot = check("Plot download", "cbDoPlot", style);
    cbDoPlotUp = check("Plot upload", "cbDoPlotUp", style);
    cbDoPlot->setChecked(K::defaultOn(Key::DoPlot));
    cbDoPlotUp->setChecked(K::defaultOn(Key::DoPlotUp));
    s->addWidget(cbDoPlot, 2, 0);
    s->addWidget(cbDoPlotUp, 3, 0);
    s->setRowStretch(4, 1);

    auto* other = new QGroupBox(QStringLiteral("Other Options "), GraphStylePage);
    auto* o = new QGridLayout(other);
    edTitle = named(
        new QLineEdit(
            QString::fromStdString(ValueCodec::titleFromStored(K::defaultText(Key::Title))), other),
        "edTitle");
    o->addWidget(new QLabel(QStringLiteral("Graph title:"), other), 0, 0);
    o->addWidget(edTitle, 0, 1, 1, 2);
    cbAppend = check("Append Interface address to graph title", "cbAppend", other);
    cbAppend->setChecked(K::defaultOn(Key::Append));
    o->addWidget(cbAppend, 1, 1, 1, 2);
    btnFont = button("Title Font", "btnFont", other);
    o->addWidget(btnFont, 2, 1);
    auto addColour = [&](int row, QPushButton*& b, const char* caption, const char* name,
                         QFrame** shape, const char* shapeName) {
        b = button(caption, name, other);
        o->addWidget(b, row, 1);
        if (shape != nullptr) {
            *shape = swatch(shapeName, other);
            o->addWidget(*shape, row, 2);
        }
    };
    addColour(3, btnAFont, "Axes Text Colour", "btnAFont", &Shape4, "Shape4");
    addColour(4, btnGrid, "Grid Colour", "btnGrid", nullptr, nullptr);
    addColour(5, btnDownColour, "Download Plot Colour", "btnDownColour", &Shape1, "Shape1");
    addColour(6, btnUploadColour, "Upload Plot Colour", "btnUploadColour", &Shape2, "Shape2");
    addColour(7, btnBackColour, "Background Colour", "btnBackColour", &Shape3, "Shape3");
    addColour(8, btnBorderColour, "Border Colour", "btnBorderColour", &Shape5, "Shape5");
    o->setColumnStretch(3, 1);

    auto* layout = new QHBoxLayout(GraphStylePage);
    layout->addWidget(style, 1);
    layout->addWidget(other, 2);
}

void SetupPage::createImageCapturePage()
{
    auto* size = new QGroupBox(QStringLiteral("Image Size  "), ImageCapturePage);
    auto* z = new QGridLayout(size);
    auto* modes = new QWidget(size); // the two size modes form one group
    auto* m = new QGridLayout(modes);
    m->setContentsMargins(0, 0, 0, 0);
    rbPercent = radio("Percent ", "rbPercent", modes);
    rbPercent->setChecked(K::defaultOn(Key::RbPercent));
    spPercent = named(new NumberBox(K::range(Key::SpPercent), modes), "spPercent");
    spPercent->setValue(K::defaultInt(Key::SpPercent));
    PercentLabel = named(new QLabel(QStringLiteral("%"), modes), "PercentLabel");
    m->addWidget(rbPercent, 0, 0);
    m->addWidget(spPercent, 0, 1);
    m->addWidget(PercentLabel, 0, 2, 1, 3);
    rbPixels = radio("Pixels", "rbPixels", modes);
    spGrWidth = named(new NumberBox(K::range(Key::Width), modes), "spGrWidth");
    spGrHeight = named(new NumberBox(K::range(Key::Height), modes), "spGrHeight");
    WidthLabel = named(new QLabel(QStringLiteral("Width"), modes), "WidthLabel");
    TimesLabel = named(new QLabel(QStringLiteral("x"), modes), "TimesLabel");
    HeightLabel = named(new QLabel(QStringLiteral("Height"), modes), "HeightLabel");
    m->addWidget(rbPixels, 1, 0);
    m->addWidget(WidthLabel, 1, 1);
    m->addWidget(HeightLabel, 1, 3);
    m->addWidget(spGrWidth, 2, 1);
    m->addWidget(TimesLabel, 2, 2);
    m->addWidget(spGrHeight, 2, 3);
    m->setColumnStretch(5, 1);
    z->addWidget(modes, 0, 0);
    auto* applies = new QVBoxLayout;
    applies->addWidget(new QLabel(QStringLiteral("Applies to..."), size));
    cbHTTP = check("Web image", "cbHTTP", size);
    cbCaptured = check("Captured images", "cbCaptured", size);
    cbClip = check("Clipboard", "cbClip", size);
    cbPrint = check("Printer", "cbPrint", size);
    for (const auto& [box, key] : {std::pair{cbHTTP, Key::HTTP}, std::pair{cbCaptured, Key::Cap},
                                   std::pair{cbClip, Key::Clip}, std::pair{cbPrint, Key::Print}}) {
        box->setChecked(K::defaultOn(key));
        applies->addWidget(box);
    }
    z->addLayout(applies, 0, 1);
    SizeNote =
        named(new QLabel(QStringLiteral("Items not checked will use the screen graph size"), size),
              "SizeNote");
    z->addWidget(SizeNote, 1, 0, 1, 2);

    auto* type = new QGroupBox(QStringLiteral("Image Type "), ImageCapturePage);
    auto* t = new QVBoxLayout(type);
    auto* types = new QWidget(type);
    auto* tl = new QVBoxLayout(types);
    tl->setContentsMargins(0, 0, 0, 0);
    rbBMP = radio("Bitmap (BMP)", "rbBMP", types);
    rbJPG = radio("JPEG ", "rbJPG", types);
    rbGIF = radio("GIF", "rbGIF", types);
    rbPNG = radio("PNG", "rbPNG", types);
    for (QRadioButton* b : {rbBMP, rbJPG, rbGIF, rbPNG})
        tl->addWidget(b);
    rbJPG->setChecked(K::defaultOn(Key::JPG));
    t->addWidget(types);
    cbGray = check("Convert to grayscale", "cbGray", type);
    t->addWidget(cbGray);
    t->addStretch(1);

    auto* capture = new QGroupBox(QStringLiteral("Image Capture "), ImageCapturePage);
    auto* c = new QGridLayout(capture);
    cbCapture = check("Capture graph images for each complete page", "cbCapture", capture);
    c->addWidget(cbCapture, 0, 0, 1, 3);
    edFolder = named(new QLineEdit(capture), "edFolder");
    btnBrowse = named(new QPushButton(QStringLiteral("Browse..."), capture), "btnBrowse");
    c->addWidget(new QLabel(QStringLiteral("Capture folder:"), capture), 1, 0);
    c->addWidget(edFolder, 1, 1);
    c->addWidget(btnBrowse, 1, 2);

    auto* layout = new QGridLayout(ImageCapturePage);
    layout->addWidget(size, 0, 0);
    layout->addWidget(type, 0, 1);
    layout->addWidget(capture, 1, 0, 1, 2);
    layout->setRowStretch(2, 1);
    layout->setColumnStretch(0, 2);
    layout->setColumnStretch(1, 1);
}

void SetupPage::createWebServerPage()
{
    auto* image = new QGroupBox(QStringLiteral("Web Graph Image "), WebServerPage);
    auto* g = new QGridLayout(image);
    cbWeb = check("Activate server", "cbWeb", image);
    g->addWidget(cbWeb, 0, 0);
    btnAdvanced = named(new QPushButton(QStringLiteral("Advanced..."), image), "btnAdvanced");
    g->addWidget(btnAdvanced, 0, 2);
    g->addWidget(new QLabel(QStringLiteral("Web server listening IP address"), image), 1, 0);
    cbServerIP = named(new QComboBox(image), "cbServerIP");
    cbServerIP->setMinimumWidth(130);
    g->addWidget(cbServerIP, 1, 1);
    g->addWidget(new QLabel(QStringLiteral("Web image filename"), image), 2, 0);
    edTemp = named(new QLineEdit(defaultText(Key::Temp), image), "edTemp");
    g->addWidget(edTemp, 2, 1);
    Label2 = named(new QLabel(image), "Label2");
    Label2->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label2->hide();
    g->addWidget(Label2, 3, 0, 1, 3);
    cbLivePage = check("Live page in the browser (/)", "cbLivePage", image);
    cbLivePage->setChecked(K::defaultOn(Key::LivePage));
    g->addWidget(cbLivePage, 4, 0);
    lblLivePageUrl = named(new QLabel(image), "lblLivePageUrl");
    lblLivePageUrl->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblLivePageUrl->hide();
    g->addWidget(lblLivePageUrl, 4, 1, 1, 2);
    lblNobodyLetIn = named(new QLabel(image), "lblNobodyLetIn");
    lblNobodyLetIn->setWordWrap(true);
    lblNobodyLetIn->hide();
    g->addWidget(lblNobodyLetIn, 5, 0, 1, 3);
    g->setColumnStretch(3, 1);

    auto* stats = new QGroupBox(QStringLiteral("Statistics on the Web  "), WebServerPage);
    auto* s = new QGridLayout(stats);
    cbCSV = check("Comma separated text", "cbCSV", stats);
    edWebStats = named(new QLineEdit(defaultText(Key::WebStats), stats), "edWebStats");
    cbFormat = check("Formatted text", "cbFormat", stats);
    cbFormat->setChecked(K::defaultOn(Key::Format));
    edFormat = named(new QLineEdit(defaultText(Key::Formatt), stats), "edFormat");
    cbImage = check("Image", "cbImage", stats);
    edImage = named(new QLineEdit(defaultText(Key::Imaget), stats), "edImage");
    btnWebFont = named(new QPushButton(QStringLiteral("Font..."), stats), "btnWebFont");
    Label1 = named(new QLabel(QStringLiteral("[W x H]"), stats), "Label1");
    s->addWidget(cbCSV, 0, 0);
    s->addWidget(edWebStats, 0, 1);
    s->addWidget(cbFormat, 1, 0);
    s->addWidget(edFormat, 1, 1);
    s->addWidget(cbImage, 2, 0);
    s->addWidget(edImage, 2, 1);
    s->addWidget(btnWebFont, 2, 2);
    s->addWidget(Label1, 2, 3);
    Label12 = named(new QLabel(stats), "Label12");
    Label12->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Label12->hide();
    s->addWidget(Label12, 3, 0, 1, 4);
    s->setColumnStretch(4, 1);

    // Figures for other programs: Prometheus scrapes /metrics; scripts read the JSON API.
    auto* programs = new QGroupBox(QStringLiteral("For other programs "), WebServerPage);
    auto* o = new QGridLayout(programs);
    cbMetrics = check("Prometheus metrics (/metrics)", "cbMetrics", programs);
    cbJsonApi =
        check("JSON API (/api/v1/: summary, history, applications, events)", "cbJsonApi", programs);
    o->addWidget(cbMetrics, 0, 0);
    o->addWidget(cbJsonApi, 1, 0);
    o->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(WebServerPage);
    layout->addWidget(image);
    layout->addWidget(stats);
    layout->addWidget(programs);
    layout->addStretch(1);
}

void SetupPage::createOptionsPage()
{
    auto* system = new QGroupBox(QStringLiteral("System "), OptionsPage);
    auto* y = new QGridLayout(system);
    tb1 = named(new QSlider(Qt::Horizontal, system), "tb1");
    tb1->setRange(K::range(Key::Alpha).first, K::range(Key::Alpha).second);
    tb1->setValue(K::defaultInt(Key::Alpha));
    tb1->setTickPosition(QSlider::TicksBelow);
    tb1->setTickInterval(10);
    y->addWidget(new QLabel(QStringLiteral("Transparency"), system), 0, 0);
    y->addWidget(tb1, 0, 1);
    cbMinimize = check("Minimize to SysTray", "cbMinimize", system);
    cbStartMin = check("Start minimized", "cbStartMin", system);
    cbAutoStart = check("Start at login", "cbAutoStart", system);
    cbAutoStart->setChecked(K::defaultOn(Key::AutoStart));
    y->addWidget(cbMinimize, 1, 0, 1, 2);
    y->addWidget(cbStartMin, 2, 0, 1, 2);
    y->addWidget(cbAutoStart, 3, 0, 1, 2);
    cbAppTraffic = check("Traffic per application", "cbAppTraffic", system);
    cbAppTraffic->setChecked(K::defaultOn(Key::AppTraffic));
    y->addWidget(cbAppTraffic, 4, 0, 1, 2);

    auto* info = named(new QFrame(system), "InfoPanel");
    // A styled frame: a plain sunken panel's light edges vanish on the light
    // page, which left the panel without its right and bottom edge.
    info->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    auto* i = new QVBoxLayout(info);
    auto* name = new QLabel(QStringLiteral("Flowloom"), info);
    auto* version = new QLabel(QStringLiteral("version 1.0               01 July 2008"), info);
    for (QLabel* label : {name, version}) {
        label->setStyleSheet(QStringLiteral("color: navy; font-weight: bold;"));
        label->setAlignment(Qt::AlignCenter);
        i->addWidget(label);
    }
    Label49 =
        named(new QLabel(QStringLiteral("Flowloom is made by the Flowloom team"), info), "Label49");
    Label49->setStyleSheet(QStringLiteral("color: navy; text-decoration: underline;"));
    Label49->setAlignment(Qt::AlignCenter);
    i->addWidget(Label49);
    y->addWidget(info, 0, 2, 4, 1);
    y->setColumnStretch(1, 1);
    y->setColumnStretch(2, 1);

    auto* stop = new QGroupBox(QStringLiteral("Stop Options  "), OptionsPage);
    auto* s = new QGridLayout(stop);
    spPages = named(new NumberBox(K::range(Key::Pages), stop), "spPages");
    spPages->setValue(K::defaultInt(Key::Pages));
    auto* line = new QHBoxLayout;
    line->addWidget(new QLabel(QStringLiteral("After..."), stop));
    line->addWidget(spPages);
    line->addWidget(new QLabel(QStringLiteral("pages,"), stop));
    line->addWidget(
        radioRow(stop, {&rbStop, &rbRestart}, {{"Stop", "rbStop"}, {"Restart", "rbRestart"}}));
    rbStop->setChecked(K::defaultOn(Key::Stop));
    s->addLayout(line, 0, 0);
    s->addWidget(new QLabel(QStringLiteral("A value of 0 means keep plotting indefinitely"), stop),
                 1, 0);

    auto* layout = new QVBoxLayout(OptionsPage);
    layout->addWidget(system);
    layout->addWidget(stop);
    layout->addStretch(1);
}

output::ImageType SetupPage::imageType() const
{
    if (rbBMP->isChecked())
        return output::ImageType::Bmp;
    if (rbGIF->isChecked())
        return output::ImageType::Gif;
    if (rbPNG->isChecked())
        return output::ImageType::Png;
    return output::ImageType::Jpeg;
}

sampling::RateUnit SetupPage::shownRateUnit() const
{
    if (rbMbits->isChecked())
        return sampling::RateUnit::Mbits;
    if (rbKbits->isChecked())
        return sampling::RateUnit::Kbits;
    return sampling::RateUnit::KBytes;
}

} // namespace flowloom::app

#pragma once

#include "output/encoders/ImageType.h"
#include "sampling/RateUnit.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace flowloom::app {

class NumberBox;
class UsageSetupPage;

// The "  Setup  " page: its five sub-pages hold the controls that carry the
// settings. Their behaviour is connected by the main window.
class SetupPage final : public QWidget
{
    Q_OBJECT
public:
    explicit SetupPage(QWidget* parent = nullptr);

    // The web images' type; JPEG also when no type is checked.
    output::ImageType imageType() const;

    // The unit rates are shown in outside the Statistics page: a bit unit when
    // one is chosen, otherwise KB/s, the status bar's own unit.
    sampling::RateUnit shownRateUnit() const;

    QTabWidget* PageControl2;
    QWidget* GraphAxesPage;
    QWidget* GraphStylePage;
    QWidget* ImageCapturePage;
    QWidget* WebServerPage;
    QWidget* OptionsPage;
    UsageSetupPage* UsagePage; // " Usage History ": data cap and history document

    // " Graph Axes  "
    NumberBox* spPoints;
    QRadioButton* rbVertical;
    QRadioButton* rbHorizontal;
    NumberBox* spMax;
    QRadioButton* rbBytes;
    QRadioButton* rbKBytes;
    QRadioButton* rbKbits; // rates in kbit/s (1000 bits)
    QRadioButton* rbMbits; // rates in Mbit/s (1,000,000 bits)
    QCheckBox* cbAuto;
    QRadioButton* rbPeak;
    QRadioButton* rbAvg;
    QRadioButton* rbFit; // the automatic maximum fits the visible page
    QLineEdit* edLabel;

    // " Graph Style "
    QRadioButton* rbArea;
    QRadioButton* rbLine;
    QRadioButton* rbSteps;
    QRadioButton* rbRamp;
    QCheckBox* cbDoPlot;
    QCheckBox* cbDoPlotUp;
    QLineEdit* edTitle;
    QCheckBox* cbAppend;
    QPushButton* btnFont;
    QPushButton* btnAFont;
    QPushButton* btnGrid;
    QPushButton* btnDownColour;
    QPushButton* btnUploadColour;
    QPushButton* btnBackColour;
    QPushButton* btnBorderColour;
    QFrame* Shape1; // download colour
    QFrame* Shape2; // upload colour
    QFrame* Shape3; // background colour
    QFrame* Shape4; // axes text colour
    QFrame* Shape5; // border colour

    // " Image Capture "
    QRadioButton* rbPercent;
    NumberBox* spPercent;
    QLabel* PercentLabel; // "%", then the size preview
    QRadioButton* rbPixels;
    NumberBox* spGrWidth;
    NumberBox* spGrHeight;
    QLabel* WidthLabel;
    QLabel* HeightLabel;
    QLabel* TimesLabel;
    QCheckBox* cbHTTP;
    QCheckBox* cbCaptured;
    QCheckBox* cbClip;
    QCheckBox* cbPrint;
    QLabel* SizeNote; // "Items not checked will use ..."
    QRadioButton* rbBMP;
    QRadioButton* rbJPG;
    QRadioButton* rbGIF;
    QRadioButton* rbPNG;
    QCheckBox* cbGray;
    QCheckBox* cbCapture;
    QLineEdit* edFolder;
    QPushButton* btnBrowse;

    // "Web Server"
    QCheckBox* cbWeb;
    QComboBox* cbServerIP;
    QLineEdit* edTemp;
    QPushButton* btnAdvanced;
    QLabel* Label2;         // web graph image URL
    QLabel* lblNobodyLetIn; // why a server requiring authentication lets nobody in
    QCheckBox* cbCSV;
    QLineEdit* edWebStats;
    QCheckBox* cbFormat;
    QLineEdit* edFormat;
    QCheckBox* cbImage;
    QLineEdit* edImage;
    QPushButton* btnWebFont;
    QLabel* Label1;       // statistics image size
    QLabel* Label12;      // statistics document URL
    QCheckBox* cbMetrics; // "/metrics" for Prometheus
    QCheckBox* cbJsonApi; // "/api/v1/..." documents
    // The live page at "/", and its address while the server runs.
    QCheckBox* cbLivePage;
    QLabel* lblLivePageUrl;

    // " Options "
    QSlider* tb1; // "Transparency"
    QCheckBox* cbMinimize;
    QCheckBox* cbStartMin;
    // "Traffic per application"
    QCheckBox* cbAppTraffic;
    QCheckBox* cbAutoStart; // "Start at login"
    QLabel* Label49;        // link to the project's page
    NumberBox* spPages;
    QRadioButton* rbStop;
    QRadioButton* rbRestart;

private:
    void createGraphAxesPage();
    void createGraphStylePage();
    void createImageCapturePage();
    void createWebServerPage();
    void createOptionsPage();
};

} // namespace flowloom::app

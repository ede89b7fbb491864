#include "app/SetupPage.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace flowloom::app {

namespace {
QWidget* page(QTabWidget* tabs, const QString& caption)
{
    auto* widget = new QWidget(tabs);
    tabs->addTab(widget, caption);
    return widget;
}
} // namespace

SetupPage::SetupPage(QWidget* parent) : QWidget(parent)
{
    PageControl2 = new QTabWidget(this);
    PageControl2->setObjectName("PageControl2");
    GraphAxesPage = page(PageControl2, QStringLiteral(" Graph Axes  "));
    GraphStylePage = page(PageControl2, QStringLiteral(" Graph Style "));
    ImageCapturePage = page(PageControl2, QStringLiteral(" Image Capture "));
    WebServerPage = page(PageControl2, QStringLiteral("Web Server"));
    OptionsPage = page(PageControl2, QStringLiteral(" Options "));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl2);

    // " Graph Axes  "
    auto* horizontal = new QGroupBox(QStringLiteral("Horizontal Axis "), GraphAxesPage);
    auto* hLayout = new QGridLayout(horizontal);
    spPoints = new QSpinBox(horizontal);
    spPoints->setObjectName("spPoints");
    spPoints->setRange(10, 10000);
    spPoints->setValue(400);
    hLayout->addWidget(new QLabel(QStringLiteral("Points per page"), horizontal), 0, 0);
    hLayout->addWidget(spPoints, 0, 1);
    auto* axesLayout = new QVBoxLayout(GraphAxesPage);
    axesLayout->addWidget(horizontal);
    axesLayout->addStretch(1);

    // " Options ": "Stop Options  "
    auto* stop = new QGroupBox(QStringLiteral("Stop Options  "), OptionsPage);
    auto* sLayout = new QGridLayout(stop);
    spPages = new QSpinBox(stop);
    spPages->setObjectName("spPages");
    spPages->setRange(0, 255);
    spPages->setValue(50);
    rbStop = new QRadioButton(QStringLiteral("Stop"), stop);
    rbStop->setObjectName("rbStop");
    rbStop->setChecked(true);
    rbRestart = new QRadioButton(QStringLiteral("Restart"), stop);
    rbRestart->setObjectName("rbRestart");
    auto* line = new QHBoxLayout;
    line->addWidget(new QLabel(QStringLiteral("After..."), stop));
    line->addWidget(spPages);
    line->addWidget(new QLabel(QStringLiteral("pages,"), stop));
    line->addWidget(rbStop);
    line->addWidget(rbRestart);
    line->addStretch(1);
    sLayout->addLayout(line, 0, 0);
    sLayout->addWidget(
        new QLabel(QStringLiteral("A value of 0 means keep plotting indefinitely"), stop), 1, 0);
    auto* optionsLayout = new QVBoxLayout(OptionsPage);
    optionsLayout->addWidget(stop);
    optionsLayout->addStretch(1);
}

} // namespace flowloom::app

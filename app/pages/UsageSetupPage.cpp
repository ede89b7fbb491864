#include "app/pages/UsageSetupPage.h"

#include "app/NumberBox.h"
#include "app/ini/SettingsKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace flowloom::app {

namespace {
template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

// Controls start at their keys' first-run values and ranges.
using K = SettingsKeys;
} // namespace

UsageSetupPage::UsageSetupPage(QWidget* parent) : QWidget(parent)
{
    auto* cap = new QGroupBox(QStringLiteral("Data Cap Warning "), this);
    auto* c = new QGridLayout(cap);
    cbDataCap = named(new QCheckBox(QStringLiteral("Warn before the billing period's usage "
                                                   "reaches a data cap"),
                                    cap),
                      "cbDataCap");
    c->addWidget(cbDataCap, 0, 0, 1, 6);
    spCapSize = named(new NumberBox(K::range(Key::CapSize), cap), "spCapSize");
    spCapSize->setValue(K::defaultInt(Key::CapSize));
    cbCapUnit = named(new QComboBox(cap), "cbCapUnit");
    cbCapUnit->addItems({QStringLiteral("MB"), QStringLiteral("GB")});
    cbCapUnit->setCurrentIndex(K::defaultInt(Key::CapUnit));
    cbCapCounts = named(new QComboBox(cap), "cbCapCounts");
    cbCapCounts->addItems({QStringLiteral("download"), QStringLiteral("upload"),
                           QStringLiteral("download and upload")});
    c->addWidget(new QLabel(QStringLiteral("Data cap"), cap), 1, 0);
    c->addWidget(spCapSize, 1, 1);
    c->addWidget(cbCapUnit, 1, 2);
    c->addWidget(new QLabel(QStringLiteral("per billing period, counting"), cap), 1, 3);
    c->addWidget(cbCapCounts, 1, 4);
    spCapShare = named(new NumberBox(K::range(Key::CapShare), cap), "spCapShare");
    spCapShare->setValue(K::defaultInt(Key::CapShare));
    c->addWidget(new QLabel(QStringLiteral("Warn at"), cap), 2, 0);
    c->addWidget(spCapShare, 2, 1);
    c->addWidget(new QLabel(QStringLiteral("% of the cap, and again when it is reached"), cap), 2,
                 2, 1, 3);
    cbCapScope = named(new QComboBox(cap), "cbCapScope");
    cbCapScope->addItems(
        {QStringLiteral("the selected interface"), QStringLiteral("all physical interfaces")});
    cbCapScope->setCurrentIndex(K::defaultInt(Key::CapScope));
    c->addWidget(new QLabel(QStringLiteral("Measured on"), cap), 3, 0);
    c->addWidget(cbCapScope, 3, 1, 1, 3);
    auto* note = new QLabel(QStringLiteral("The billing period begins when the cumulative "
                                           "totals reset automatically (Statistics page); in "
                                           "calendar months when they do not."),
                            cap);
    note->setWordWrap(true);
    c->addWidget(note, 4, 0, 1, 6);
    c->setColumnStretch(5, 1);

    auto* web = new QGroupBox(QStringLiteral("History on the Web "), this);
    auto* w = new QGridLayout(web);
    cbHistory = named(new QCheckBox(QStringLiteral("Usage history (CSV)"), web), "cbHistory");
    edHistory = named(
        new QLineEdit(QString::fromStdString(std::string(K::defaultText(Key::HistoryName))), web),
        "edHistory");
    w->addWidget(cbHistory, 0, 0);
    w->addWidget(edHistory, 0, 1);
    w->addWidget(new QLabel(QStringLiteral("Download and upload bytes per day of the interface "
                                           "the graph shows."),
                            web),
                 1, 0, 1, 3);
    w->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cap);
    layout->addWidget(web);
    layout->addStretch(1);
}

} // namespace flowloom::app

#include "app/apps/ApplicationsPage.h"

#include "app/pages/HistoryPage.h"
#include "sampling/NumberFormat.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace flowloom::app {

namespace {

// Kilobytes (1,024 bytes) per second with one decimal.
QString kilobytesPerSecond(double bytes)
{
    return QString::fromStdString(sampling::fmt(static_cast<long double>(bytes) / 1024.0L, 1));
}

QTableWidgetItem* cell(const QString& text, bool number)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

ApplicationsPage::ApplicationsPage(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    cbAppScope = new QComboBox(this);
    cbAppScope->setObjectName("cbAppScope");
    cbAppScope->addItems(
        {QStringLiteral("Internet-facing interfaces"), QStringLiteral("Loopback")});
    top->addWidget(new QLabel(QStringLiteral("Traffic on"), this));
    top->addWidget(cbAppScope);
    LabelAttributed = new QLabel(this);
    LabelAttributed->setObjectName("LabelAttributed");
    top->addWidget(LabelAttributed, 1);
    layout->addLayout(top);

    LabelAppNote = new QLabel(this);
    LabelAppNote->setObjectName("LabelAppNote");
    LabelAppNote->setWordWrap(true);
    LabelAppNote->hide();
    layout->addWidget(LabelAppNote);
}

void ApplicationsPage::buildTable()
{
    if (tblApplications != nullptr)
        return;
    tblApplications = new QTableWidget(0, 8, this);
    tblApplications->setObjectName("tblApplications");
    tblApplications->setHorizontalHeaderLabels(
        {QStringLiteral("Application"), QStringLiteral("Identified by"),
         QStringLiteral("Download KB/s"), QStringLiteral("Upload KB/s"),
         QStringLiteral("Today down MB"), QStringLiteral("Today up MB"),
         QStringLiteral("Period down MB"), QStringLiteral("Period up MB")});
    tblApplications->verticalHeader()->hide();
    tblApplications->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblApplications->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < 8; ++column)
        tblApplications->horizontalHeader()->setSectionResizeMode(column,
                                                                  QHeaderView::ResizeToContents);
    static_cast<QVBoxLayout*>(layout())->addWidget(tblApplications, 1);
    // Made while the page shows: its children were shown already.
    tblApplications->show();
}

void ApplicationsPage::showEvent(QShowEvent* event)
{
    buildTable();
    QWidget::showEvent(event);
}

bool ApplicationsPage::loopbackShown() const
{
    return cbAppScope->currentIndex() == 1;
}

void ApplicationsPage::showNote(const QString& note)
{
    LabelAppNote->setText(note);
    LabelAppNote->setVisible(!note.isEmpty());
}

void ApplicationsPage::showTable(const appnet::ApplicationTable& table)
{
    buildTable();
    tblApplications->setUpdatesEnabled(false);
    tblApplications->setRowCount(static_cast<int>(table.rows.size()));
    int r = 0;
    for (const appnet::ApplicationRow& row : table.rows) {
        tblApplications->setItem(r, 0, cell(QString::fromStdString(row.name), false));
        tblApplications->setItem(r, 1,
                                 cell(QString::fromStdString(appnet::kindText(row.kind)), false));
        tblApplications->setItem(r, 2, cell(kilobytesPerSecond(row.inRate), true));
        tblApplications->setItem(r, 3, cell(kilobytesPerSecond(row.outRate), true));
        tblApplications->setItem(r, 4, cell(megabytes(row.todayIn), true));
        tblApplications->setItem(r, 5, cell(megabytes(row.todayOut), true));
        tblApplications->setItem(r, 6, cell(megabytes(row.periodIn), true));
        tblApplications->setItem(r, 7, cell(megabytes(row.periodOut), true));
        ++r;
    }
    tblApplications->setUpdatesEnabled(true);
    LabelAttributed->setText(
        table.attributedShare < 0
            ? QStringLiteral("Attributed to applications: no traffic this tick")
            : QStringLiteral("Attributed to applications: %1 % of this tick's traffic")
                  .arg(QString::fromStdString(
                      sampling::fmt(static_cast<long double>(table.attributedShare) * 100, 1))));
}

} // namespace flowloom::app

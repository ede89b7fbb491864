#include "app/pages/HistoryPage.h"

#include "chart/Chart.h"
#include "sampling/ByteUnits.h"
#include "sampling/NumberFormat.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace flowloom::app {

using usage::UsageRow;

QString megabytes(std::uint64_t bytes)
{
    return QString::fromStdString(
        sampling::fmt(static_cast<long double>(bytes) / sampling::kMiB, 3));
}

namespace {
// The legend under the chart names these colours.
const QRgb kDownloadColour = qRgb(0, 160, 0);
const QRgb kUploadColour = qRgb(230, 170, 0);
} // namespace

// Draws the page's chart with the program's chart engine.
class HistoryPage::ChartView final : public QWidget
{
public:
    explicit ChartView(QWidget* parent) : QWidget(parent)
    {
        chart.setTitle(QString());
        chart.setMargins({1.0, 2.0, 4.0, 2.0});
        chart.leftAxis().setTitle(QStringLiteral("MB"));
        chart.bottomAxis().setGridVisible(false);
        download = &chart.addSeries(chart::SeriesKind::Bar, "Download");
        upload = &chart.addSeries(chart::SeriesKind::Bar, "Upload");
        setMinimumHeight(120);
    }
    chart::Chart chart;
    chart::Series* download;
    chart::Series* upload;
    std::vector<QString> labels;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        chart.draw(painter, rect());
    }
};

namespace {
QTableWidget* table(const char* name, const QString& first, QWidget* parent)
{
    auto* t = new QTableWidget(0, 4, parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels({first, QStringLiteral("Download MB"), QStringLiteral("Upload MB"),
                                  QStringLiteral("Total MB")});
    t->verticalHeader()->hide();
    t->verticalHeader()->setDefaultSectionSize(18);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    t->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    return t;
}

void fill(QTableWidget* t, const std::vector<UsageRow>& rows,
          const std::function<std::string(const std::string&)>& name)
{
    t->setRowCount(static_cast<int>(rows.size()));
    int r = 0;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row, ++r) {
        const QString texts[4] = {QString::fromStdString(name(row->key)), megabytes(row->in),
                                  megabytes(row->out),
                                  megabytes(usage::saturatingAdd(row->in, row->out))};
        for (int c = 0; c < 4; ++c) {
            QTableWidgetItem* item = t->item(r, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                t->setItem(r, c, item);
            }
            item->setText(texts[c]);
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                          : Qt::AlignRight | Qt::AlignVCenter);
        }
    }
}
} // namespace

HistoryPage::HistoryPage(QWidget* parent) : QWidget(parent)
{
    auto* period = new QGroupBox(QStringLiteral("Current Billing Period "), this);
    auto* p = new QGridLayout(period);
    p->setVerticalSpacing(2);
    auto* whose = new QHBoxLayout;
    LabelPeriod = new QLabel(period);
    LabelUsed = new QLabel(period);
    LabelProjection = new QLabel(period);
    LabelCap = new QLabel(period);
    LabelPeriod->setObjectName("LabelPeriod");
    LabelUsed->setObjectName("LabelUsed");
    LabelProjection->setObjectName("LabelProjection");
    LabelCap->setObjectName("LabelCap");
    p->addWidget(LabelPeriod, 0, 0);
    p->addWidget(LabelCap, 0, 1);
    p->addWidget(LabelUsed, 1, 0);
    p->addWidget(LabelProjection, 1, 1);

    m_chart = new ChartView(this);
    m_chart->setObjectName("HistoryChart");
    HistoryChart = m_chart;
    cbHistoryChart = new QComboBox(this);
    cbHistoryChart->setObjectName("cbHistoryChart");
    cbHistoryChart->addItems({QStringLiteral("Last 31 days"), QStringLiteral("Last 12 months")});
    btnExport = new QPushButton(QStringLiteral("Export CSV..."), this);
    btnExport->setObjectName("btnExport");
    cbHistoryInterface = new QComboBox(this);
    cbHistoryInterface->setObjectName("cbHistoryInterface");
    cbHistoryInterface->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    auto* right = new QVBoxLayout;
    right->addWidget(m_chart, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(QStringLiteral("Chart:"), this));
    buttons->addWidget(cbHistoryChart);
    buttons->addWidget(new QLabel(QStringLiteral("<span style='color:#00a000'>&#9632;</span> "
                                                 "Download &nbsp;<span style='color:#e6aa00'>"
                                                 "&#9632;</span> Upload"),
                                  this));
    buttons->addStretch(1);
    buttons->addWidget(btnExport);
    right->addLayout(buttons);
    auto* tables = new QHBoxLayout;
    tables->addLayout(right, 5);
    m_tablesRow = tables;
    m_chartColumn = right;
    whose->addWidget(new QLabel(QStringLiteral("Interface:"), this));
    whose->addWidget(cbHistoryInterface);
    whose->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(whose);
    layout->addWidget(period);
    layout->addLayout(tables, 1);
}

HistoryPage::~HistoryPage() = default;

void HistoryPage::buildTables()
{
    if (tblDays != nullptr)
        return;
    tblDays = table("tblDays", QStringLiteral("Day"), this);
    tblMonths = table("tblMonths", QStringLiteral("Month"), this);
    m_tablesRow->insertWidget(0, tblDays, 4);
    m_chartColumn->insertWidget(1, tblMonths, 2);
    // Made while the page shows: its children were shown already.
    tblDays->show();
    tblMonths->show();
}

void HistoryPage::showEvent(QShowEvent* event)
{
    buildTables();
    QWidget::showEvent(event);
}

void HistoryPage::showDays(const std::vector<UsageRow>& days)
{
    buildTables();
    fill(tblDays, days, usage::dayText);
    if (!chartShowsMonths())
        showChart(days, false);
}

void HistoryPage::showMonths(const std::vector<UsageRow>& months)
{
    buildTables();
    fill(tblMonths, months, usage::monthText);
    if (chartShowsMonths())
        showChart(months, true);
}

bool HistoryPage::chartShowsMonths() const
{
    return cbHistoryChart->currentIndex() == 1;
}

const chart::Chart& HistoryPage::chart() const
{
    return m_chart->chart;
}

void HistoryPage::showChart(const std::vector<UsageRow>& rows, bool monthsShown)
{
    ChartView& view = *m_chart;
    view.download->clear();
    view.upload->clear();
    view.labels.clear();
    double highest = 0.0;
    for (const UsageRow& row : rows) {
        const double in = static_cast<double>(row.in) / static_cast<double>(sampling::kMiB);
        const double out = static_cast<double>(row.out) / static_cast<double>(sampling::kMiB);
        view.download->append(in, {}, kDownloadColour);
        view.upload->append(out, {}, kUploadColour);
        highest = std::max({highest, in, out});
        view.labels.push_back(QString::fromStdString(monthsShown ? usage::shortMonthText(row.key)
                                                                 : usage::shortDayText(row.key)));
    }
    view.chart.setLabelText(
        [&view](std::size_t i) { return i < view.labels.size() ? view.labels[i] : QString(); });
    view.chart.bottomAxis().setRange(-0.5, std::max(0.5, static_cast<double>(rows.size()) - 0.5));
    view.chart.leftAxis().setRange(0.0, highest > 0.0 ? highest * 1.1 : 1.0);
    view.update();
}

} // namespace flowloom::app

#pragma once

#ifndef Q_MOC_RUN
#include "usage/UsageTables.h"
#endif

#include <QWidget>

#include <vector>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

namespace flowloom::chart {
class Chart;
}

namespace flowloom::app {

// The "  History  " page: the selected interface's days and months, a bar
// chart of either, and the current billing period. The main window fills it.
class HistoryPage final : public QWidget
{
    Q_OBJECT
public:
    explicit HistoryPage(QWidget* parent = nullptr);
    ~HistoryPage() override;

    QLabel* LabelPeriod;     // start and end of the billing period
    QLabel* LabelUsed;       // usage so far
    QLabel* LabelProjection; // at the period's end, at the rate so far
    QLabel* LabelCap;        // the data cap, when the warning is on
    // Made when the page first shows or is first filled (most runs never
    // open it; an item view is the heaviest control of the window).
    QTableWidget* tblDays = nullptr;   // newest first
    QTableWidget* tblMonths = nullptr; // newest first
    QComboBox* cbHistoryChart;         // "Last 31 days", "Last 12 months"
    // Whose history: each interface of the run, then the physical ones' sum;
    // it follows the data interface until the user picks another.
    QComboBox* cbHistoryInterface;
    QPushButton* btnExport; // "Export CSV..."
    QWidget* HistoryChart;

    // Rows oldest first; the tables show them newest first.
    void showDays(const std::vector<usage::UsageRow>& days);
    void showMonths(const std::vector<usage::UsageRow>& months);
    // The chart shows the days or the months, as cbHistoryChart says.
    bool chartShowsMonths() const;
    const chart::Chart& chart() const;

private:
    void showEvent(QShowEvent* event) override;
    void buildTables();
    void showChart(const std::vector<usage::UsageRow>& rows, bool monthsShown);

    class ChartView;
    ChartView* m_chart;
    QHBoxLayout* m_tablesRow;   // the days, then the chart's column
    QVBoxLayout* m_chartColumn; // the chart, the months, the buttons
};

// Megabytes (2^20 bytes) with three decimals and thousands separators, as the
// Statistics page shows its totals.
QString megabytes(std::uint64_t bytes);

} // namespace flowloom::app

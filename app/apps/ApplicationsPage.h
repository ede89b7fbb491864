#pragma once

#ifndef Q_MOC_RUN
#include "appnet/ApplicationTable.h"
#endif

#include <QWidget>

class QComboBox;
class QLabel;
class QTableWidget;

namespace flowloom::app {

// The "  Applications  " page: download and upload rates per application,
// updated each tick, with today's and this period's totals and the Other
// row; the share of the traffic the applications account for; and a note
// when the counting is off.
class ApplicationsPage final : public QWidget
{
    Q_OBJECT
public:
    explicit ApplicationsPage(QWidget* parent = nullptr);

    // "Internet-facing interfaces", "Loopback"
    QComboBox* cbAppScope;
    QLabel* LabelAttributed; // the share attributed
    QLabel* LabelAppNote;    // why nothing is counted, when it is not
    // Made when the page first shows or is first filled (most runs never
    // open it; an item view is the heaviest control of the window).
    QTableWidget* tblApplications = nullptr;

    void showTable(const appnet::ApplicationTable& table);
    void showNote(const QString& note);
    bool loopbackShown() const;

private:
    void showEvent(QShowEvent* event) override;
    void buildTable();
};

} // namespace flowloom::app

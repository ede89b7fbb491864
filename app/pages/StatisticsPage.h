#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimeEdit;

namespace flowloom::app {

// The "  Statistics  " page: the selected interface's figures since start-up,
// its cumulative totals and the automatic monthly reset.
class StatisticsPage final : public QWidget
{
    Q_OBJECT
public:
    explicit StatisticsPage(QWidget* parent = nullptr);

    // Session figures (left box); every field is empty until the first shown tick.
    QLabel* Panel2;  // MAC address
    QLabel* Panel14; // download bytes / sec
    QLabel* Panel15; // download peak
    QLabel* Panel16; // download average
    QLabel* Panel17; // download total this session
    QLabel* Panel18; // upload bytes / sec
    QLabel* Panel19;
    QLabel* Panel20;
    QLabel* Panel21;

    // Cumulative totals (right box).
    QLabel* Label39; // download "since" date-time
    QLabel* Panel26; // bytes
    QLabel* Panel28; // KB
    QLabel* Panel29; // MB
    QPushButton* btnResetIn;
    QLabel* Label41; // upload "since" date-time
    QLabel* Panel27;
    QLabel* Panel30;
    QLabel* Panel31;
    QPushButton* btnResetOut;

    // Automatic reset.
    QCheckBox* cbReset;
    QTimeEdit* DateTimePicker1;
    QComboBox* cbMonth;
};

} // namespace flowloom::app

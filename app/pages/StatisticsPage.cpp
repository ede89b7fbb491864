#include "app/pages/StatisticsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>

namespace flowloom::app {

namespace {
QLabel* field(QWidget* parent, const char* name, int width = 110)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A fixed size: a new figure every second then repaints the field alone
    // instead of laying out the whole window again.
    label->setFixedSize(width, label->fontMetrics().height() + 8);
    label->setMargin(2);
    return label;
}

QLabel* caption(const QString& text, QWidget* parent)
{
    return new QLabel(text, parent);
}

QLabel* heading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// Item texts of the reset-day list: "1st" .. "28th", then "last day".
QStringList resetDayItems()
{
    QStringList items;
    for (int day = 1; day <= 28; ++day) {
        const char* suffix = "th";
        if (day % 10 == 1 && day != 11)
            suffix = "st";
        else if (day % 10 == 2 && day != 12)
            suffix = "nd";
        else if (day % 10 == 3 && day != 13)
            suffix = "rd";
        items << QString::number(day) + suffix;
    }
    items << QStringLiteral("last day");
    return items;
}
} // namespace

StatisticsPage::StatisticsPage(QWidget* parent) : QWidget(parent)
{
    auto* session = new QGroupBox(this);
    auto* left = new QGridLayout(session);
    left->addWidget(caption(QStringLiteral("MAC Address:"), session), 0, 0);
    Panel2 = field(session, "Panel2", 140);
    left->addWidget(Panel2, 0, 1);
    left->addWidget(heading(QStringLiteral("Download:"), session), 1, 0);
    auto addRow = [&](int row, const char* text, QLabel*& panel, const char* name) {
        left->addWidget(caption(QString::fromLatin1(text), session), row, 0);
        panel = field(session, name, 140);
        left->addWidget(panel, row, 1);
    };
    addRow(2, "Bytes / sec", Panel14, "Panel14");
    addRow(3, "Peak / sec", Panel15, "Panel15");
    addRow(4, "Avg / sec", Panel16, "Panel16");
    addRow(5, "Total this session", Panel17, "Panel17");
    left->addWidget(heading(QStringLiteral("Upload:"), session), 6, 0);
    addRow(7, "Bytes / sec", Panel18, "Panel18");
    addRow(8, "Peak / sec", Panel19, "Panel19");
    addRow(9, "Avg / sec", Panel20, "Panel20");
    addRow(10, "Total this session", Panel21, "Panel21");
    left->setRowStretch(11, 1);

    auto* totals = new QGroupBox(QStringLiteral("Cumulative Totals "), this);
    auto* right = new QGridLayout(totals);
    auto addTotals = [&](int row, const char* since, QLabel*& sinceLabel, const char* sinceName,
                         QLabel*& bytes, const char* bytesName, QLabel*& kb, const char* kbName,
                         QLabel*& mb, const char* mbName, QPushButton*& reset,
                         const char* resetName) {
        auto* line = new QHBoxLayout;
        line->addWidget(caption(QString::fromLatin1(since), totals));
        sinceLabel = new QLabel(totals);
        sinceLabel->setObjectName(sinceName);
        line->addWidget(sinceLabel, 1);
        right->addLayout(line, row, 0, 1, 3);
        bytes = field(totals, bytesName, 150);
        kb = field(totals, kbName, 150);
        mb = field(totals, mbName, 150);
        right->addWidget(bytes, row + 1, 0);
        right->addWidget(caption(QStringLiteral("Bytes"), totals), row + 1, 1);
        right->addWidget(kb, row + 2, 0);
        right->addWidget(caption(QStringLiteral("KB"), totals), row + 2, 1);
        right->addWidget(mb, row + 3, 0);
        right->addWidget(caption(QStringLiteral("MB"), totals), row + 3, 1);
        reset = new QPushButton(QStringLiteral("Reset"), totals);
        reset->setObjectName(resetName);
        reset->setMinimumWidth(90);
        right->addWidget(reset, row + 3, 2, Qt::AlignLeft);
    };
    addTotals(0, "Total monitored download since ", Label39, "Label39", Panel26, "Panel26", Panel28,
              "Panel28", Panel29, "Panel29", btnResetIn, "btnResetIn");
    right->setRowMinimumHeight(4, 10);
    addTotals(5, "Total monitored upload since ", Label41, "Label41", Panel27, "Panel27", Panel30,
              "Panel30", Panel31, "Panel31", btnResetOut, "btnResetOut");

    auto* automatic = new QHBoxLayout;
    cbReset = new QCheckBox(QStringLiteral("Reset automatically"), totals);
    cbReset->setObjectName("cbReset");
    DateTimePicker1 = new QTimeEdit(totals);
    DateTimePicker1->setObjectName("DateTimePicker1");
    DateTimePicker1->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    DateTimePicker1->setTime(QTime(1, 1, 0));
    cbMonth = new QComboBox(totals);
    cbMonth->setObjectName("cbMonth");
    cbMonth->addItems(resetDayItems());
    cbMonth->setCurrentIndex(-1);
    automatic->addWidget(cbReset);
    automatic->addWidget(caption(QStringLiteral("at"), totals));
    automatic->addWidget(DateTimePicker1);
    automatic->addWidget(caption(QStringLiteral("on the"), totals));
    automatic->addWidget(cbMonth);
    automatic->addWidget(caption(QStringLiteral("of each month"), totals));
    automatic->addStretch(1);
    right->setRowMinimumHeight(9, 10);
    right->addLayout(automatic, 10, 0, 1, 3);
    right->setRowStretch(11, 1);
    right->setColumnStretch(2, 1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(session, 2);
    layout->addWidget(totals, 3);
}

} // namespace flowloom::app

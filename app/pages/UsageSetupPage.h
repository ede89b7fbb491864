#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace flowloom::app {

class NumberBox;

// The Setup sub-page " Usage History ": the data-cap warning and the usage
// history document on the web. The main window connects its behaviour.
class UsageSetupPage final : public QWidget
{
    Q_OBJECT
public:
    explicit UsageSetupPage(QWidget* parent = nullptr);

    // "Data Cap Warning "
    QCheckBox* cbDataCap;
    NumberBox* spCapSize;
    QComboBox* cbCapUnit;   // "MB", "GB"
    QComboBox* cbCapCounts; // "download", "upload", "download and upload"
    NumberBox* spCapShare;  // percent of the cap for the early warning
    QComboBox* cbCapScope;  // "the selected interface", "all physical interfaces"

    // "History on the Web "
    QCheckBox* cbHistory;
    QLineEdit* edHistory;
};

} // namespace flowloom::app

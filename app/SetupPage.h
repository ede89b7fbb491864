#pragma once

#include <QWidget>

class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace flowloom::app {

// The "  Setup  " page and its sub-pages.
class SetupPage final : public QWidget
{
    Q_OBJECT
public:
    explicit SetupPage(QWidget* parent = nullptr);

    QTabWidget* PageControl2;
    QWidget* GraphAxesPage;
    QWidget* GraphStylePage;
    QWidget* ImageCapturePage;
    QWidget* WebServerPage;
    QWidget* OptionsPage;

    // " Graph Axes  "
    QSpinBox* spPoints;
    // " Options ": "Stop Options  "
    QSpinBox* spPages;
    QRadioButton* rbStop;
    QRadioButton* rbRestart;
};

} // namespace flowloom::app

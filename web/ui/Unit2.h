#pragma once

#include "web/ui/AdvancedSettings.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace flowloom::web {

// "Advanced..." of the Web Server tab: authentication, user name, password
// and port. Created once after the settings are loaded and kept, hidden,
// until the program ends, so its edits keep what was typed between openings.
class TForm2 : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kClientWidth = 428;
    static constexpr int kClientHeight = 266;

    explicit TForm2(AdvancedSettings settings, QWidget* parent = nullptr);

    // Fills the controls from the settings; runs once, from the constructor.
    void FormCreate();
    // "OK".
    void Button1Click();
    // Every close, whichever way, copies the controls back into the settings.
    void FormClose();

    // Places the dialog 100 pixels right of and 200 below the owner's
    // top-left corner.
    void placeBeside(const QWidget& owner);
    // placeBeside, then runs the dialog modally until it closes.
    int openBeside(const QWidget& owner);

    // The port text read as the port (web::portFromText).
    static int portFromText(const QString& text);

    void done(int result) override;

    QCheckBox* cbAuth = nullptr;
    QLabel* Label1 = nullptr; // "Username"
    QLabel* Label2 = nullptr; // "Password"
    QLabel* Label3 = nullptr; // "Server Port"
    QLineEdit* edWebUser = nullptr;
    QLineEdit* edWebPassword = nullptr;
    QLineEdit* edPort = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* Button1 = nullptr;
    // Shown while authentication is ticked with no user name and password.
    QLabel* lblNobodyLetIn = nullptr;
    // Shown while the port typed is one that ordinary users cannot open.
    QLabel* lblPortHint = nullptr;

private:
    void showWhoIsLetIn();
    void showPortHint();

    AdvancedSettings m_settings;
};

} // namespace flowloom::web

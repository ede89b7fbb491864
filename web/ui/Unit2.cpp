#include "web/ui/Unit2.h"

#include "sampling/TextBytes.h"
#include "web/documents/CredentialCheck.h"
#include "web/http/Port.h"

#include <QCheckBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace flowloom::web {

namespace {

constexpr QPoint kOffsetFromOwner{100, 200};

// '+' as a code point: every typed password character shows as "+".
constexpr auto kPasswordStyle = "QLineEdit { lineedit-password-character: 43; }";

template <typename Widget> Widget* place(Widget* widget, const char* name, const QRect& geometry)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

} // namespace

TForm2::TForm2(AdvancedSettings settings, QWidget* parent) : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Flowloom - Advanced HTTP Configuration"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(QFont(QStringLiteral("Arial"), 8));

    Panel1 = place(new QFrame(this), "Panel1", QRect(8, 8, 412, 208));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Raised);

    cbAuth = place(new QCheckBox(QStringLiteral("Server requires authentication"), Panel1),
                   "cbAuth", QRect(16, 16, 380, 17));
    Label1 = place(new QLabel(QStringLiteral("Username"), Panel1), "Label1", QRect(16, 52, 80, 13));
    edWebUser = place(new QLineEdit(Panel1), "edWebUser", QRect(104, 48, 290, 21));
    Label2 = place(new QLabel(QStringLiteral("Password"), Panel1), "Label2", QRect(16, 84, 80, 13));
    edWebPassword = place(new QLineEdit(Panel1), "edWebPassword", QRect(104, 80, 290, 21));
    edWebPassword->setEchoMode(QLineEdit::Password);
    edWebPassword->setStyleSheet(QString::fromLatin1(kPasswordStyle));
    Label3 =
        place(new QLabel(QStringLiteral("Server Port"), Panel1), "Label3", QRect(16, 120, 80, 13));
    edPort = place(new QLineEdit(QString::number(kDefaultPort), Panel1), "edPort",
                   QRect(16, 136, 80, 21));
    lblNobodyLetIn =
        place(new QLabel(QString::fromUtf8(
                             CredentialCheck::kNobodyLetInText.data(),
                             static_cast<qsizetype>(CredentialCheck::kNobodyLetInText.size())),
                         Panel1),
              "lblNobodyLetIn", QRect(16, 172, 380, 26));
    lblNobodyLetIn->setWordWrap(true);
    lblNobodyLetIn->hide();
    lblPortHint =
        place(new QLabel(QString::fromUtf8(kPrivilegedPortHint.data(),
                                           static_cast<qsizetype>(kPrivilegedPortHint.size())),
                         Panel1),
              "lblPortHint", QRect(104, 124, 292, 44));
    lblPortHint->setWordWrap(true);
    lblPortHint->hide();
    connect(edPort, &QLineEdit::textChanged, this, &TForm2::showPortHint);
    connect(cbAuth, &QCheckBox::toggled, this, &TForm2::showWhoIsLetIn);
    connect(edWebUser, &QLineEdit::textChanged, this, &TForm2::showWhoIsLetIn);
    connect(edWebPassword, &QLineEdit::textChanged, this, &TForm2::showWhoIsLetIn);
    Label1->setBuddy(edWebUser);
    Label2->setBuddy(edWebPassword);
    Label3->setBuddy(edPort);

    constexpr int buttonWidth = 75;
    Button1 = place(new QPushButton(QStringLiteral("OK"), this), "Button1",
                    QRect((kClientWidth - buttonWidth) / 2, 226, buttonWidth, 25));
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);

    FormCreate();
}

void TForm2::FormCreate()
{
    cbAuth->setChecked(m_settings.Auth);
    edWebUser->setText(QString::fromStdString(sampling::shownText(m_settings.User)));
    edWebPassword->setText(QString::fromStdString(sampling::shownText(m_settings.Pass)));
    edPort->setText(QString::number(m_settings.Port));
    showPortHint(); // also when the text stayed the same
}

void TForm2::showWhoIsLetIn()
{
    lblNobodyLetIn->setVisible(CredentialCheck::letsNobodyIn(
        cbAuth->isChecked(), edWebUser->text().toStdString(), edWebPassword->text().toStdString()));
}

void TForm2::showPortHint()
{
    lblPortHint->setVisible(isPrivilegedPort(portFromText(edPort->text())));
}

void TForm2::Button1Click()
{
    close();
}

void TForm2::FormClose()
{
    m_settings.Auth = cbAuth->isChecked();
    // What the user left alone keeps its bytes, also those that are no UTF-8.
    m_settings.User = sampling::storedText(edWebUser->text().toStdString(), m_settings.User);
    m_settings.Pass = sampling::storedText(edWebPassword->text().toStdString(), m_settings.Pass);
    m_settings.Port = portFromText(edPort->text());
}

void TForm2::done(int result)
{
    // "OK", the close button and Escape all end here: there is no cancel.
    FormClose();
    QDialog::done(result);
}

void TForm2::placeBeside(const QWidget& owner)
{
    move(owner.pos() + kOffsetFromOwner);
}

int TForm2::openBeside(const QWidget& owner)
{
    placeBeside(owner);
    return exec();
}

int TForm2::portFromText(const QString& text)
{
    return web::portFromText(text.toStdString());
}

} // namespace flowloom::web

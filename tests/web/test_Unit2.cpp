#include "web/ui/Unit2.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>

using namespace flowloom::web;

namespace {

// The program-wide variables the dialog edits, as the window keeps them.
struct Variables
{
    bool Auth = false;
    std::string User;
    std::string Pass;
    int Port = 80;

    AdvancedSettings settings() { return {Auth, User, Pass, Port}; }
};

} // namespace

TEST(Unit2, LooksAsDesignedAndShowsTheLoadedSettings)
{
    Variables vars;
    vars.Auth = true;
    vars.User = "admin";
    vars.Pass = "s3cret";
    vars.Port = 8081;
    TForm2 form(vars.settings());

    EXPECT_EQ(form.windowTitle(), QStringLiteral("Flowloom - Advanced HTTP Configuration"));
    EXPECT_EQ(form.minimumSize(), QSize(428, 266));
    EXPECT_EQ(form.maximumSize(), QSize(428, 266));
    EXPECT_EQ(form.font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(form.font().pointSize(), 8);

    auto* auth = form.findChild<QCheckBox*>(QStringLiteral("cbAuth"));
    auto* user = form.findChild<QLineEdit*>(QStringLiteral("edWebUser"));
    auto* password = form.findChild<QLineEdit*>(QStringLiteral("edWebPassword"));
    auto* port = form.findChild<QLineEdit*>(QStringLiteral("edPort"));
    auto* ok = form.findChild<QPushButton*>(QStringLiteral("Button1"));
    ASSERT_TRUE(auth && user && password && port && ok);
    EXPECT_EQ(auth->text(), QStringLiteral("Server requires authentication"));
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(auth->isChecked());
    EXPECT_EQ(user->text(), QStringLiteral("admin"));
    EXPECT_EQ(password->text(), QStringLiteral("s3cret"));
    EXPECT_EQ(port->text(), QStringLiteral("8081"));
    // Centred below the panel.
    const int leftMargin = ok->x();
    const int rightMargin = 428 - (ok->x() + ok->width());
    EXPECT_LE(std::abs(leftMargin - rightMargin), 1);
    EXPECT_GT(ok->geometry().top(), form.Panel1->geometry().bottom());

    // Every typed character of the password shows as "+".
    EXPECT_EQ(password->displayText(), QStringLiteral("++++++"));
    password->setText(QStringLiteral("a b"));
    EXPECT_EQ(password->displayText(), QStringLiteral("+++"));
}

TEST(Unit2, EveryCloseAppliesTheControls)
{
    Variables vars;
    TForm2 form(vars.settings());

    // The window's close button.
    form.show();
    form.cbAuth->setChecked(true);
    form.edWebUser->setText(QStringLiteral("a"));
    form.edWebPassword->setText(QStringLiteral(" p w "));
    form.edPort->setText(QStringLiteral("8080"));
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(vars.Auth);
    EXPECT_EQ(vars.User, "a");
    EXPECT_EQ(vars.Pass, " p w "); // exactly as typed
    EXPECT_EQ(vars.Port, 8080);

    // "OK", with a port that is no number: 80, while the edit keeps "abc".
    form.show();
    form.edPort->setText(QStringLiteral("abc"));
    form.Button1->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(vars.Port, 80);
    form.show();
    EXPECT_EQ(form.edPort->text(), QStringLiteral("abc"));

    // Escape has no cancel either.
    form.cbAuth->setChecked(false);
    form.edPort->setText(QStringLiteral("$1F90"));
    form.reject();
    EXPECT_FALSE(vars.Auth);
    EXPECT_EQ(vars.Port, 0x1F90);
}

TEST(Unit2, PortMustBeAnIntegerThatIsAPort)
{
    EXPECT_EQ(TForm2::portFromText(QStringLiteral("8080")), 8080);
    EXPECT_EQ(TForm2::portFromText(QStringLiteral("0")), 0);
    EXPECT_EQ(TForm2::portFromText(QStringLiteral("65535")), 65535);
    EXPECT_EQ(TForm2::portFromText(QStringLiteral("0x50")), 0x50);
    EXPECT_EQ(TForm2::portFromText(QStringLiteral("65536")), 80);
    EXPECT_EQ(TForm2::portFromText(QStringLiteral("70000")), 80);
    EXPECT_EQ(TForm2::portFromText(QStringLiteral("-1")), 80);
    EXPECT_EQ(TForm2::portFromText(QStringLiteral("abc")), 80);
    EXPECT_EQ(TForm2::portFromText(QStringLiteral("")), 80);
    EXPECT_EQ(TForm2::portFromText(QStringLiteral("99999999999")), 80);
}

// While the port in effect is one only privileged programs may open, the
// dialog says so beside it, with a port that anyone can open.
TEST(Unit2, APortBelow1024IsExplainedWhereItIsTyped)
{
    Variables v;
    TForm2 form(v.settings());
    ASSERT_NE(form.lblPortHint, nullptr);
    EXPECT_FALSE(form.lblPortHint->isHidden()) << "the default port 80";
    EXPECT_NE(form.lblPortHint->text().indexOf("1024 or above"), -1);
    EXPECT_NE(form.lblPortHint->text().indexOf("8080"), -1);
    const std::pair<const char*, bool> cases[] = {
        {"8080", false}, {"1024", false},  {"1023", true}, {"1", true},     {"443", true},
        {"0", false},    {"65535", false}, {"abc", true},  {"70000", true}, // both read as 80
    };
    for (const auto& [text, shown] : cases) {
        form.edPort->setText(QString::fromLatin1(text));
        EXPECT_EQ(!form.lblPortHint->isHidden(), shown) << text;
    }
}

TEST(Unit2, OpensModallyBesideTheMainWindow)
{
    Variables vars;
    QWidget owner;
    owner.move(50, 60);
    TForm2 form(vars.settings(), &owner);

    QPoint shownAt;
    bool wasModal = false;
    QTimer::singleShot(0, &form, [&] {
        shownAt = form.pos();
        wasModal = form.isModal() && form.isVisible();
        form.edPort->setText(QStringLiteral("70000"));
        form.Button1->click();
    });
    vars.Port = 1234;
    form.openBeside(owner);
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(shownAt, QPoint(150, 260));
    EXPECT_EQ(vars.Port, 80);
}

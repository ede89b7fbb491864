#include "IniTestSupport.h"
#include "WindowHarness.h"
#include "app/NumberBox.h"
#include "app/ini/SettingsKeys.h"
#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "web/ui/Unit2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>
#include <sstream>

using namespace flowloom;
using testsupport::WindowHarness;

namespace {
std::string ini(const std::string& body)
{
    return "[Plotter]\r\n" + body;
}

// Key names of a written settings file, in file order.
std::vector<std::string> keysOf(const std::string& text)
{
    std::vector<std::string> keys;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            keys.push_back(line.substr(0, eq));
    }
    return keys;
}
} // namespace

TEST(SettingsInWindow, FirstRunShowsEveryDefaultAndCloseWritesEveryKeyInOrder)
{
    WindowHarness w;
    app::SetupPage& s = *w.form->controls().Setup;
    EXPECT_EQ(s.spPoints->value(), 400);
    EXPECT_EQ(s.spMax->value(), 800);
    EXPECT_TRUE(s.rbKBytes->isChecked());
    EXPECT_TRUE(s.rbArea->isChecked());
    EXPECT_TRUE(s.rbRamp->isChecked());
    EXPECT_TRUE(s.rbJPG->isChecked());
    EXPECT_EQ(s.edTitle->text(), "Bandwidth graph of ");
    EXPECT_EQ(s.edLabel->text(), "KBytes / sec");
    EXPECT_EQ(s.edFolder->text(), QDir::toNativeSeparators(w.folder.path()));
    EXPECT_EQ(s.tb1->value(), 255);
    w.form->show(); // the first-run image size is the graph's on-screen size
    EXPECT_EQ(s.spGrWidth->value(), w.form->controls().TabSheet1->width());
    EXPECT_EQ(s.spGrHeight->value(), w.form->controls().TabSheet1->height());
    EXPECT_GT(s.spGrWidth->value(), 700);
    EXPECT_EQ(w.form->controls().Statistics->cbMonth->currentIndex(), 0);
    EXPECT_EQ(w.form->controls().Statistics->DateTimePicker1->time(), QTime(0, 1, 0));
    EXPECT_EQ(w.form->controls().cbURL->currentIndex(), 0);

    w.form->close();
    const std::string written = w.readSettings();
    ASSERT_EQ(written.rfind("[Plotter]\r\n", 0), 0u);
    std::vector<std::string> expected;
    for (const app::KeyEntry& entry : app::SettingsKeys::table()) {
        expected.emplace_back(entry.name);
        if (entry.key == app::Key::Stay) {
            for (int row = 0; row < 2; ++row)
                for (const auto& k : app::SettingsKeys::interfaceKeys())
                    expected.push_back(std::string(k.word) + std::to_string(row));
        }
    }
    EXPECT_EQ(keysOf(written), expected);
    EXPECT_NE(written.find("First=0\r\n"), std::string::npos);
    EXPECT_NE(written.find("Title=Bandwidth^graph^of^\r\n"), std::string::npos);
    EXPECT_NE(written.find("Time=19/02/2008 00:01:00\r\n"), std::string::npos);
    EXPECT_NE(written.find("LastInReset0=06/12/2026 19:44:03\r\n"), std::string::npos);
}

TEST(SettingsInWindow, RadioGroupsFollowTheLastKeyRead)
{
    WindowHarness both0(ini("Area=0\r\nLine=0\r\nJPG=0\r\nGIF=0\r\nBMP=0\r\nPNG=0\r\n"));
    EXPECT_FALSE(both0.form->controls().Setup->rbArea->isChecked());
    EXPECT_FALSE(both0.form->controls().Setup->rbLine->isChecked());
    for (QRadioButton* b :
         {both0.form->controls().Setup->rbBMP, both0.form->controls().Setup->rbJPG,
          both0.form->controls().Setup->rbGIF, both0.form->controls().Setup->rbPNG})
        EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();

    WindowHarness both1(ini("Area=1\r\nLine=1\r\nJPG=1\r\nPNG=1\r\n"));
    EXPECT_TRUE(both1.form->controls().Setup->rbArea->isChecked())
        << "\"Area\" is read after \"Line\"";
    EXPECT_FALSE(both1.form->controls().Setup->rbLine->isChecked());
    EXPECT_TRUE(both1.form->controls().Setup->rbPNG->isChecked());
    EXPECT_FALSE(both1.form->controls().Setup->rbJPG->isChecked());
}

TEST(SettingsInWindow, NumbersAreLimitedToTheirControls)
{
    WindowHarness w(ini("Points=5\r\nPages=300\r\nAlpha=0\r\nMax=-50\r\nMonth=40\r\n"
                        "URL=-1\r\nspPercent=0x1F\r\nWidth=abc\r\npoints=5\r\n"));
    app::SetupPage& s = *w.form->controls().Setup;
    EXPECT_EQ(s.spPoints->value(), 10);
    EXPECT_EQ(s.spPages->value(), 255);
    EXPECT_EQ(s.tb1->value(), 80);
    EXPECT_EQ(s.spMax->value(), -50);
    EXPECT_EQ(s.spPercent->value(), 31);
    EXPECT_GT(s.spGrWidth->value(), 700) << "unreadable: the graph's width, the default";
    EXPECT_EQ(w.form->controls().Statistics->cbMonth->currentIndex(), -1);
    EXPECT_EQ(w.form->controls().cbURL->currentIndex(), -1);
    EXPECT_FALSE(w.form->controls().btnStart->isEnabled());
}

TEST(SettingsInWindow, SavedInterfacePositionBeyondTheListSelectsNothing)
{
    WindowHarness w(ini("URL=5\r\n"));
    EXPECT_EQ(w.form->controls().cbURL->count(), 2);
    EXPECT_EQ(w.form->controls().cbURL->currentIndex(), -1);
    EXPECT_FALSE(w.form->controls().btnStart->isEnabled());
    WindowHarness second(ini("URL=1\r\n"));
    EXPECT_EQ(second.form->controls().cbURL->currentIndex(), 1);
    EXPECT_TRUE(second.form->controls().btnStart->isEnabled());
}

TEST(SettingsInWindow, ToolTogglesAreSetWithoutTheirAction)
{
    WindowHarness w(ini("Run=1\r\nbtn3D=1\r\nStay=1\r\n"));
    EXPECT_TRUE(w.form->controls().btnStart->isChecked());
    EXPECT_FALSE(w.form->controls().btnStop->isChecked());
    EXPECT_TRUE(w.form->controls().btn3D->isChecked());
    EXPECT_TRUE(w.form->controls().btnStay->isChecked());
}

TEST(SettingsInWindow, LoadSaveLoadKeepsEveryValueAndUnknownKeys)
{
    WindowHarness w(ini("Points=1234\r\nMax=5000\r\nBytes=1\r\nKB=0\r\nAvg=1\r\nPeak=0\r\n"
                        "Label=Traffic\r\nTitle=My^graph\r\nFolder=captures/today\r\n"
                        "Plot=$00FF8000\r\nPass=\x9e\x9a\x8c\x8b\r\nUser=ann\r\nPort=8080\r\n"
                        "Month=28\r\nTime=19/02/2008 23:59:58\r\nAlpha=200\r\nStartMin=1\r\n"
                        "LastTotalIn0=5000000000\r\nLastInReset0=01/11/2026 08:00:00\r\n"
                        "LastTotalIn7=42\r\nCustom=kept\r\n[Other]\r\nx=1\r\n"));
    app::SetupPage& s = *w.form->controls().Setup;
    EXPECT_EQ(s.spPoints->value(), 1234);
    EXPECT_TRUE(s.rbBytes->isChecked());
    EXPECT_TRUE(s.rbAvg->isChecked());
    EXPECT_EQ(s.edTitle->text(), "My graph");
    EXPECT_EQ(w.form->variables().Pass, "aest");
    EXPECT_EQ(w.form->variables().Plot, 0x00FF8000u);
    EXPECT_EQ(w.form->controls().Statistics->cbMonth->currentIndex(), 28);
    EXPECT_EQ(w.form->run().totals().at(0).totalIn, 5'000'000'000LL);
    w.form->close();
    const std::string first = w.readSettings();
    EXPECT_NE(first.find("Custom=kept\r\n"), std::string::npos);
    EXPECT_NE(first.find("LastTotalIn7=42\r\n"), std::string::npos);
    EXPECT_NE(first.find("[Other]\r\nx=1\r\n"), std::string::npos);
    EXPECT_NE(first.find("Pass=\x9e\x9a\x8c\x8b\r\n"), std::string::npos);
    EXPECT_NE(first.find("Plot=$00FF8000\r\n"), std::string::npos);
    EXPECT_NE(first.find("LastTotalIn0=5000000000\r\n"), std::string::npos);

    w.form.reset();
    w.create();
    w.form->close();
    EXPECT_EQ(w.readSettings(), first) << "a second round trip changes nothing";
}

TEST(SettingsInWindow, UnwritableFileIsReportedAndTheOldOneKept)
{
    WindowHarness w(ini("Points=777\r\n"));
    const std::string before = w.readSettings();
    w.form->controls().Setup->spPoints->setValue(900);
    {
        // The disk refuses the new file half-way (a size limit stops root too).
        test::FileSizeLimit limit(200);
        w.form->settings().save(0);
    }
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages.front(), "Unable to write to " + w.iniPath().toStdString());
    EXPECT_EQ(w.readSettings(), before);
}

TEST(SettingsInWindow, TextsTheUserLeavesAloneAreWrittenBackByteForByte)
{
    // A 40-character label, and texts in the file's 8-bit code page: "Débit"
    // with a Latin-1 é (one byte, no UTF-8), a user name "Zoë" likewise.
    const std::string label(40, 'L');
    WindowHarness w(ini("Label=" + label +
                        "\r\nTitle=D\xE9"
                        "bit^of^\r\nUser=Zo\xEB\r\n"
                        "rbPercent=0\r\nrbPixels=0\r\n"));
    app::SetupPage& s = *w.form->controls().Setup;
    EXPECT_EQ(s.edLabel->text().size(), 40);
    EXPECT_EQ(s.edTitle->text(), QString::fromUtf8("D\xC3\xA9"
                                                   "bit of "));
    // With neither size mode checked, neither group of size controls is enabled.
    EXPECT_FALSE(s.spPercent->isEnabled());
    EXPECT_FALSE(s.spGrWidth->isEnabled());
    EXPECT_FALSE(s.WidthLabel->isEnabled());
    // "OK" in the server dialog, nothing changed.
    QTimer::singleShot(0, w.form->web().Form2(), [&] { w.form->web().Form2()->Button1->click(); });
    w.form->web().Form2()->openBeside(*w.form);
    w.form->close();
    const std::string saved = w.readSettings();
    EXPECT_NE(saved.find("Label=" + label + "\r\n"), std::string::npos);
    EXPECT_NE(saved.find("Title=D\xE9"
                         "bit^of^\r\n"),
              std::string::npos);
    EXPECT_NE(saved.find("User=Zo\xEB\r\n"), std::string::npos);

    // Typing is what the 30 characters limit.
    WindowHarness typed;
    QLineEdit* edit = typed.form->controls().Setup->edLabel;
    edit->setText(QString(29, 'x'));
    edit->end(false);
    QTest::keyClicks(edit, "yz");
    EXPECT_EQ(edit->text(), QString(29, 'x') + "y");
}

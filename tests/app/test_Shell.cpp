#include "WindowHarness.h"
#include "app/pages/SetupPage.h"
#include "app/pages/StatisticsPage.h"
#include "app/shell/CloseSignals.h"
#include "app/shell/GuideOpener.h"
#include "app/shell/Tray.h"
#include "app/startup/AutoStartEntry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>

using namespace flowloom;
using testsupport::WindowHarness;

TEST(Shell, StayOnTopTwiceReturnsToNormalAndOpacityNeverBelow80)
{
    WindowHarness w;
    app::TForm1& f = *w.form;
    f.controls().btnStay->click();
    EXPECT_TRUE(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    f.controls().btnStay->click();
    EXPECT_FALSE(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    f.controls().Setup->tb1->setValue(0); // the bar's left end
    EXPECT_EQ(f.controls().Setup->tb1->value(), 80);
    EXPECT_NEAR(f.windowOpacity(), 80.0 / 255.0, 0.01);
    f.controls().Setup->tb1->setValue(255);
    EXPECT_DOUBLE_EQ(f.windowOpacity(), 1.0);

    WindowHarness stored("[Plotter]\r\nStay=1\r\nAlpha=128\r\n");
    EXPECT_TRUE(stored.form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_NEAR(stored.form->windowOpacity(), 128.0 / 255.0, 0.01);
}

TEST(Shell, BalloonShowsTheTotalsAsThePageShowsThem)
{
    const QChar cr(13);
    // Before the first shown tick the total fields are empty.
    EXPECT_EQ(app::totalsBalloonText("Sun 06 Dec 2026 - 19:44:03", "", ""),
              QString("Totals since Sun 06 Dec 2026 - 19:44:03") + cr + cr + "Download:  MB" + cr +
                  "Upload     :  MB");
    WindowHarness w;
    w.form->controls().btnStart->click();
    for (int i = 0; i < 3; ++i)
        w.tick(1048576);
    // The warm-up ticks' megabytes count in the total too.
    EXPECT_EQ(w.text("Panel29"), "3.000");
    EXPECT_EQ(w.form->controls().tray->toolTip(), "Flowloom - 0.003 GB");
    EXPECT_EQ(
        app::totalsBalloonText(w.text("Label39"), w.text("Panel29"), w.text("Panel31")).count(cr),
        3);
}

TEST(Shell, FirstRunOpensTheFirstSetupSubPageOnlyOnce)
{
    WindowHarness w;
    app::TForm1& f = *w.form;
    f.controls().Setup->PageControl2->setCurrentIndex(3);
    f.controls().PageControl1->setCurrentWidget(f.controls().Setup);
    EXPECT_EQ(f.controls().Setup->PageControl2->currentIndex(), 0);
    f.controls().Setup->PageControl2->setCurrentIndex(3);
    f.controls().PageControl1->setCurrentIndex(0);
    f.controls().PageControl1->setCurrentWidget(f.controls().Setup);
    EXPECT_EQ(f.controls().Setup->PageControl2->currentIndex(), 3)
        << "only the first time in a run";

    WindowHarness later("[Plotter]\r\nFirst=0\r\n");
    later.form->controls().Setup->PageControl2->setCurrentIndex(2);
    later.form->controls().PageControl1->setCurrentWidget(later.form->controls().Setup);
    EXPECT_EQ(later.form->controls().Setup->PageControl2->currentIndex(), 2);
}

TEST(Shell, ListeningAddressesFollowTheInterfaceList)
{
    WindowHarness w("[Plotter]\r\nServerIP=1\r\n");
    QComboBox* list = w.form->controls().Setup->cbServerIP;
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "127.  0.  0.  1");
    EXPECT_EQ(list->currentText(), "192.168.  1. 10");
    WindowHarness beyond("[Plotter]\r\nServerIP=7\r\n");
    EXPECT_EQ(beyond.form->controls().Setup->cbServerIP->currentIndex(), -1);
    EXPECT_TRUE(beyond.form->controls().Setup->cbServerIP->currentText().isEmpty());
}

TEST(Shell, ARunClosedWhilePlottingResumesPlotting)
{
    WindowHarness w("[Plotter]\r\nRun=1\r\n");
    EXPECT_TRUE(w.form->controls().btnStart->isChecked());
    EXPECT_TRUE(w.form->run().plotting());
    w.form->close();
    EXPECT_NE(w.readSettings().find("Run=1\r\n"), std::string::npos);

    WindowHarness stopped;
    EXPECT_FALSE(stopped.form->run().plotting());
    EXPECT_TRUE(stopped.form->run().ThreadedTimer1().Enabled()) << "counting runs all the same";
}

TEST(Shell, CloseAlwaysSavesAndRemovesTheGuide)
{
    WindowHarness w;
    w.form->close();
    EXPECT_FALSE(w.readSettings().empty());
    EXPECT_FALSE(w.form->shell().helpFile().exists());
}

TEST(Shell, InstalledProgramOpensTheInstalledGuideAndSavesInTheUsersFolders)
{
    WindowHarness w({}, false);
    QTemporaryDir user;
    const std::filesystem::path home = user.path().toStdString();
    app::FileLocations files;
    files.portable = false;
    files.settingsFile = home / ".config" / "flowloom" / "flowloom.ini";
    files.helpFile = home / "share" / "flowloom.html";
    files.helpFileWritten = false;
    files.filesFolder = home / "Pictures" / "Flowloom";
    std::filesystem::create_directories(files.helpFile.parent_path());
    std::ofstream(files.helpFile) << "installed guide";
    app::prepareFolders(files);
    w.files = files;
    w.create();

    EXPECT_EQ(w.form->files().settingsFile, files.settingsFile);
    EXPECT_EQ(w.get<QLineEdit>("edFolder")->text().toStdString(), files.filesFolder.string());
    EXPECT_TRUE(w.get<QToolButton>("btnSave")->isEnabled()) << "the capture folder was made";
    EXPECT_TRUE(w.get<QToolButton>("btnHelp")->isEnabled());
    w.form->close();

    std::ifstream settings(files.settingsFile);
    const std::string saved((std::istreambuf_iterator<char>(settings)),
                            std::istreambuf_iterator<char>());
    EXPECT_NE(saved.find("Folder=" + files.filesFolder.string() + "\r\n"), std::string::npos);
    std::ifstream guide(files.helpFile);
    std::string guideText;
    std::getline(guide, guideText);
    EXPECT_EQ(guideText, "installed guide")
        << "the installed guide is neither replaced nor removed";
    EXPECT_FALSE(QFile::exists(w.iniPath()));
    EXPECT_FALSE(QFile::exists(w.folder.path() + "/flowloom.html"));
}

TEST(Shell, CloseSignalClosesAnOpenBoxByItsDefaultButtonThenRequestsTheClose)
{
    app::CloseSignals closeSignals;
    int requests = 0;
    QObject::connect(&closeSignals, &app::CloseSignals::closeRequested, [&] { ++requests; });

    // A message box opened over a dialog: both close, the box by its default
    // button, the dialog by its own.
    QDialog dialog;
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Flowloom"),
                    QStringLiteral("Unable to write to x"), QMessageBox::Ok | QMessageBox::Retry,
                    &dialog);
    box.setDefaultButton(QMessageBox::Ok);
    QTimer::singleShot(0, &dialog, [&] {
        QTimer::singleShot(0, &box, [] { std::raise(SIGTERM); });
        EXPECT_EQ(box.exec(), QMessageBox::Ok);
    });
    QTimer watchdog; // a box the signal failed to close must not hang the suite
    watchdog.callOnTimeout([&] {
        box.done(-1);
        dialog.done(-1);
    });
    watchdog.start(5000);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(requests, 1);
}

TEST(Shell, StartAtLoginWritesAndRemovesTheEntryAndShowsWhatIsOnDisk)
{
    // Without a place for the entry (no user folders known) the box is off limits.
    {
        WindowHarness w;
        EXPECT_FALSE(w.get<QCheckBox>("cbAutoStart")->isEnabled());
        EXPECT_FALSE(w.get<QCheckBox>("cbAutoStart")->isChecked());
    }

    WindowHarness w({}, false);
    QTemporaryDir config;
    app::FileLocations files = app::portableLocations(w.programFile().toStdString());
    files.autostartEntry =
        std::filesystem::path(config.path().toStdString()) / "autostart" / "flowloom.desktop";
    w.files = files;
    w.create();
    auto* box = w.get<QCheckBox>("cbAutoStart");
    ASSERT_TRUE(box->isEnabled());
    const QString entry = QString::fromStdString(files.autostartEntry.string());

    box->click();
    ASSERT_TRUE(QFile::exists(entry));
    QFile written(entry);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(
        written.readAll().contains("\nExec=" + w.programFile().toUtf8() + " --minimized\n"));
    written.close();
    box->click();
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(w.messages.empty());

    // A folder that cannot be made: told, and the box stays off.
    QFile blocker(config.path() + "/autostart");
    QDir(config.path() + "/autostart").removeRecursively();
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(w.messages,
              std::vector<std::string>{"Unable to write to " + files.autostartEntry.string()});

    // The setting is saved as the box shows it.
    w.form->close();
    EXPECT_NE(w.readSettings().find("\r\nAutoStart=0\r\n"), std::string::npos);
}

TEST(Shell, AStoredStartAtLoginRewritesTheEntryForThisCopy)
{
    WindowHarness w("[Plotter]\r\nAutoStart=1\r\n", false);
    QTemporaryDir config;
    app::FileLocations files = app::portableLocations(w.programFile().toStdString());
    files.autostartEntry =
        std::filesystem::path(config.path().toStdString()) / "autostart" / "flowloom.desktop";
    // An entry of ours left by a copy that stood elsewhere.
    ASSERT_TRUE(app::writeAutoStartEntry(files.autostartEntry, "/old/place/flowloom").ok);
    w.files = files;
    w.create();
    EXPECT_TRUE(w.get<QCheckBox>("cbAutoStart")->isChecked());
    QFile written(QString::fromStdString(files.autostartEntry.string()));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    EXPECT_TRUE(text.contains("\nExec=" + w.programFile().toUtf8() + " --minimized\n"))
        << text.toStdString();
    EXPECT_FALSE(text.contains("/old/place"));
}

namespace {
// A stand-in for the desktop's opener: an "xdg-open" first on PATH that
// records its argument and ends with the given status (4: the browser failed).
struct StandInOpener
{
    QTemporaryDir folder;
    QByteArray oldPath = qgetenv("PATH");

    explicit StandInOpener(std::optional<int> status)
    {
        if (status) {
            const QString script = folder.path() + "/xdg-open";
            std::ofstream(script.toStdString())
                << "#!/bin/sh\nprintf '%s' \"$1\" > '" << folder.path().toStdString()
                << "/opened'\nexit " << *status << "\n";
            QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            qputenv("PATH", folder.path().toLocal8Bit() + ":" + oldPath);
        } else {
            qputenv("PATH", folder.path().toLocal8Bit()); // no opener anywhere
        }
    }
    ~StandInOpener() { qputenv("PATH", oldPath); }
    std::string opened() const
    {
        std::ifstream file(folder.path().toStdString() + "/opened");
        return std::string((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    }
};

template <typename Done> bool waitUntil(Done done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 20'000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}
} // namespace

TEST(Shell, F1AndHelpOpenTheGuideInTheBrowser)
{
    StandInOpener opener(0);
    WindowHarness w;
    const std::string guide = w.form->shell().helpFile().path().string();
    w.form->show();
    w.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
    QTest::keyClick(w.form.get(), Qt::Key_F1);
    ASSERT_TRUE(waitUntil([&] { return !opener.opened().empty(); })) << "F1 opened nothing";
    EXPECT_EQ(opener.opened(), "file://" + guide);
    EXPECT_TRUE(w.messages.empty());

    std::filesystem::remove(opener.folder.path().toStdString() + "/opened");
    w.get<QToolButton>("btnHelp")->click();
    ASSERT_TRUE(waitUntil([&] { return !opener.opened().empty(); }));
    EXPECT_EQ(opener.opened(), "file://" + guide);
    // The opener has ended well: still no message.
    QTest::qWait(100);
    EXPECT_TRUE(w.messages.empty());
}

TEST(Shell, AGuideThatCannotBeOpenedIsToldInAMessage)
{
    struct Case
    {
        std::optional<int> status; // none: no opener can be started at all
        const char* what;
    };
    for (const Case& c : {Case{4, "the browser failed"}, Case{3, "no browser found"},
                          Case{std::nullopt, "no opener"}}) {
        StandInOpener opener(c.status);
        WindowHarness w;
        const auto guide = w.form->shell().helpFile().path();
        w.form->btnHelpClick();
        ASSERT_TRUE(waitUntil([&] { return !w.messages.empty(); })) << c.what;
        ASSERT_EQ(w.messages.size(), 1u) << c.what;
        EXPECT_EQ(w.messages[0], app::GuideOpener::failureText(guide)) << c.what;
        EXPECT_NE(w.messages[0].find(guide.string()), std::string::npos) << c.what;
    }

    // A guide removed behind the program's back: said at once, nothing started.
    StandInOpener opener(0);
    WindowHarness w;
    const auto guide = w.form->shell().helpFile().path();
    std::filesystem::remove(guide);
    w.form->btnHelpClick();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0], "The user guide " + guide.string() + " is missing.");
    QTest::qWait(100);
    EXPECT_TRUE(opener.opened().empty());
}

TEST(Shell, TheGuideWrittenAtStartDescribesTodaysProgram)
{
    WindowHarness w;
    std::ifstream file(w.form->shell().helpFile().path());
    const std::string guide((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    ASSERT_GT(guide.size(), 10'000u);
    // A section for each part of the program a user meets.
    for (const char* section : {"id=\"history\"", "id=\"usage\"", "id=\"tray\"", "id=\"headless\"",
                                "id=\"programs\"", "id=\"settings\"", "id=\"help\""})
        EXPECT_NE(guide.find(section), std::string::npos) << section;
    // What the program now does, by the names the user sees or types.
    for (const char* phrase :
         {"  History  ", "Data Cap Warning ", "in the background", "--headless",
          "systemctl --user enable --now flowloom.service", "One Flowloom per settings file",
          "/metrics", "/api/v1/summary.json", "flowloom --report", "notification service",
          "Start at login", "<b>F1</b>", "Visible page", "kbit/s", "Mbit/s",
          "Live page in the browser (/)", "id=\"livepage\"", "1024 or above"})
        EXPECT_NE(guide.find(phrase), std::string::npos) << phrase;
    // What it no longer does or never said.
    for (const char* stale :
         {"three tabs", "Bytess", "takes no command-line options", "nothing of the run is saved",
          "holds five pages", "page has two groups"})
        EXPECT_EQ(guide.find(stale), std::string::npos) << stale;
}

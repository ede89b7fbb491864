#include "WindowHarness.h"
#include "app/NumberBox.h"
#include "app/pages/SetupPage.h"
#include "graph/ChartWidget.h"
#include "output/glue/CaptureIndicator.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace flowloom;
using testsupport::WindowHarness;

namespace {
QStringList captures(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files);
}

// Capture on into `folder` with P points per page, PNG, label "Traffic".
std::string captureSettings(const QString& folder, int points, const std::string& more = {})
{
    return "[Plotter]\r\nCapture=1\r\nPNG=1\r\nLabel=Traffic\r\nPoints=" + std::to_string(points) +
           "\r\nFolder=" + folder.toStdString() + "\r\n" + more;
}
} // namespace

TEST(PageCaptureInWindow, OneImagePerPageCountedFromStartWarmUpIncluded)
{
    QTemporaryDir shots;
    WindowHarness w(captureSettings(shots.path(), 10));
    EXPECT_FALSE(w.form->capture().indicator().isHidden()) << "capture on with an existing folder";
    w.form->controls().btnStart->click();
    for (int i = 0; i < 9; ++i)
        w.tick(1000);
    EXPECT_TRUE(captures(shots.path()).isEmpty());
    w.tick(1000); // tick 10: CaptureCount reaches the page size
    ASSERT_EQ(captures(shots.path()).size(), 1);
    EXPECT_EQ(captures(shots.path()).front(), "Traffic-2026Dec06-1944.png");
    // A further page in the same minute gets a numbered name; the next minute its own.
    for (int i = 0; i < 10; ++i)
        w.tick(1000);
    w.clock.set({2026, 12, 6, 19, 50, 0});
    for (int i = 0; i < 10; ++i)
        w.tick(1000);
    EXPECT_EQ(captures(shots.path()),
              QStringList({"Traffic-2026Dec06-1944-2.png", "Traffic-2026Dec06-1944.png",
                           "Traffic-2026Dec06-1950.png"}));
}

TEST(PageCaptureInWindow, StopAfterPagesStopsOnTheTickAfterTheLastCapture)
{
    QTemporaryDir shots;
    WindowHarness w(captureSettings(shots.path(), 10, "Pages=2\r\nStop=1\r\n"));
    w.form->controls().btnStart->click();
    std::vector<int> capturedOn;
    for (int tick = 1; tick <= 21; ++tick) {
        w.clock.set({2026, 12, 6, 19, tick, 0}); // one minute per tick: one name per capture
        const auto before = captures(shots.path()).size();
        w.tick(1000);
        if (captures(shots.path()).size() > before)
            capturedOn.push_back(tick);
        if (tick < 21) {
            EXPECT_TRUE(w.form->controls().btnStart->isChecked()) << tick;
        }
    }
    EXPECT_EQ(capturedOn, (std::vector<int>{10, 20}));
    EXPECT_TRUE(w.form->controls().btnStop->isChecked()) << "stopped on tick 21";
}

TEST(PageCaptureInWindow, MissingFolderSkipsSilentlyAndCapturesOnceItExists)
{
    QTemporaryDir base;
    const QString folder = base.path() + "/later";
    WindowHarness w(captureSettings(folder, 10));
    EXPECT_FALSE(w.form->controls().Setup->cbCapture->isEnabled());
    EXPECT_TRUE(w.form->controls().Setup->cbCapture->isChecked())
        << "a disabled box keeps its state";
    EXPECT_FALSE(w.form->controls().btnSave->isEnabled());
    w.form->PopupMenu3Popup();
    EXPECT_FALSE(w.form->controls().Save1->isEnabled());
    w.form->controls().btnStart->click();
    for (int i = 0; i < 25; ++i)
        w.tick(1000);
    EXPECT_TRUE(w.messages.empty()) << "no message from the tick";
    QDir().mkpath(folder);
    w.tick(1000); // CaptureCount ran past the page: the very next tick captures
    EXPECT_EQ(captures(folder).size(), 1);
    w.form->PopupMenu3Popup();
    EXPECT_TRUE(w.form->controls().Save1->isEnabled());
}

TEST(PageCaptureInWindow, CloseCapturesThePageInProgressAndCaptureNowReportsFailures)
{
    QTemporaryDir shots;
    {
        WindowHarness w(captureSettings(shots.path(), 400));
        w.form->controls().btnStart->click();
        for (int i = 0; i < 5; ++i)
            w.tick(1000);
        w.form->close();
        EXPECT_EQ(captures(shots.path()).size(), 1) << "the shutdown capture";
    }
    WindowHarness w(captureSettings(shots.path(), 400));
    w.form->controls().Setup->edLabel->setText("x");
    // A folder that is gone cannot take the file.
    w.form->controls().Setup->edFolder->setText(shots.path() + "/gone");
    w.form->btnSaveClick();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].rfind("Cannot create file \"" + shots.path().toStdString() +
                                      "/gone/x-2026Dec06-1944.png\". ",
                                  0),
              0u)
        << w.messages[0];
}

TEST(ImageSizeInWindow, PercentBoxAndPreviews)
{
    WindowHarness w;
    app::SetupPage& s = *w.form->controls().Setup;
    w.form->show();
    w.form->controls().Chart1->resize(791, 385);
    EXPECT_EQ(s.SizeNote->text(), "Items not checked will use screen graph size (791 x 385)");
    s.spPercent->setValue(20);
    EXPECT_EQ(s.PercentLabel->text(), "(158 x 77)");

    // A typed 500 takes effect when the box is left, limited to 200.
    QLineEdit* edit = s.spPercent->findChild<QLineEdit*>();
    edit->setText("500");
    EXPECT_EQ(s.spPercent->value(), 20) << "not committed yet";
    EXPECT_EQ(s.PercentLabel->text(), "(158 x 77)");
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(s.spPercent, &leave);
    EXPECT_EQ(s.spPercent->value(), 200);
    EXPECT_EQ(s.PercentLabel->text(), "(1582 x 770)");

    s.rbPixels->setChecked(true);
    EXPECT_FALSE(s.spPercent->isEnabled());
    EXPECT_TRUE(s.spGrWidth->isEnabled());
    EXPECT_TRUE(s.TimesLabel->isEnabled());
}

#include "WindowHarness.h"
#include "app/NumberBox.h"
#include "app/pages/SetupPage.h"
#include "graph/ChartWidget.h"
#include "graph/GraphInteraction.h"
#include "graph/PlotFeed.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace flowloom;
using testsupport::WindowHarness;

namespace {
int countColour(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
    return n;
}

void plot(WindowHarness& w, int ticks, std::uint32_t bytes = 400 * 1024)
{
    for (int i = 0; i < ticks; ++i)
        w.tick(bytes, bytes / 4);
}
} // namespace

TEST(GraphAppearance, TitleGetsTheCompactAddressOfTheSelectedInterface)
{
    WindowHarness w;
    chart::Chart& chart = w.form->controls().Chart1->chart();
    EXPECT_EQ(chart.title(), "Bandwidth graph of 127.0.0.1");
    w.form->controls().cbURL->setCurrentIndex(1);
    EXPECT_EQ(chart.title(), "Bandwidth graph of 192.168.1.10");
    w.form->controls().Setup->cbAppend->click();
    EXPECT_EQ(chart.title(), "Bandwidth graph of ");
    EXPECT_EQ(chart.leftAxis().title(), "KBytes / sec");
    w.form->controls().Setup->rbBytes->setChecked(true);
    EXPECT_EQ(chart.leftAxis().title(), "Bytes / sec");
}

TEST(GraphAppearance, LabelRefusesFileNameCharactersAndStopsAtThirty)
{
    WindowHarness w;
    QLineEdit* label = w.form->controls().Setup->edLabel;
    label->clear();
    label->setFocus();
    QTest::keyClicks(label, "in:out/s");
    EXPECT_EQ(label->text(), "inouts");
    QTest::keyClicks(label, "\"*<>?\\|");
    EXPECT_EQ(label->text(), "inouts");
    label->setText(QString(30, 'x'));
    label->end(false);
    QTest::keyClick(label, Qt::Key_Y);
    EXPECT_EQ(label->text().size(), 30);
}

TEST(GraphAppearance, NewDownloadColourLeavesOldPointsInTheOldOne)
{
    WindowHarness w;
    w.form->controls().btnStart->click();
    plot(w, 12);
    const QRgb lime = qRgb(0, 255, 0);
    const QRgb red = qRgb(255, 0, 0);
    w.dialogs.chooseColour = [&](QWidget*, const QColor&) { return QColor(red); };
    w.form->btnDownColourClick();
    EXPECT_EQ(w.form->controls().Panel22->palette().color(QPalette::Window), QColor(red))
        << "the legend bar changes at once";
    QImage before = w.form->controls().Chart1->renderToImage({791, 385});
    EXPECT_GT(countColour(before, lime), 0);
    EXPECT_EQ(countColour(before, red), 0);
    plot(w, 12);
    QImage after = w.form->controls().Chart1->renderToImage({791, 385});
    EXPECT_GT(countColour(after, lime), 0) << "old points keep their colour";
    EXPECT_GT(countColour(after, red), 0) << "new points take the new one";
    EXPECT_EQ(w.form->variables().Plot, 0x0000FFu);

    w.dialogs.chooseColour = [](QWidget*, const QColor&) { return std::nullopt; };
    w.form->btnDownColourClick();
    EXPECT_EQ(w.form->variables().Plot, 0x0000FFu) << "a cancelled dialog changes nothing";
}

TEST(GraphAppearance, LineTypeShowsOnlyThePlottedDirections)
{
    WindowHarness w;
    const graph::PlotFeed& feed = w.form->graph().plotFeed();
    w.form->controls().Setup->cbDoPlotUp->setChecked(false);
    w.form->controls().Setup->rbLine->setChecked(true);
    EXPECT_FALSE(feed.series1().visible());
    EXPECT_FALSE(feed.series2().visible());
    EXPECT_TRUE(feed.series3().visible());
    EXPECT_FALSE(feed.series4().visible());
    EXPECT_FALSE(w.form->controls().btnLine->isChecked()) << "the toggle is down only for Filled";
    w.form->controls().btnLine->click();
    EXPECT_TRUE(w.form->controls().Setup->rbArea->isChecked());
    EXPECT_TRUE(feed.series1().visible());
    EXPECT_FALSE(feed.series3().visible());
}

TEST(GraphAppearance, SwapTwiceRestoresTheOrderAndTheFlag)
{
    WindowHarness w;
    const auto order = w.form->controls().Chart1->chart().drawingOrder();
    w.form->controls().btnSwap->click();
    EXPECT_NE(w.form->controls().Chart1->chart().drawingOrder(), order);
    EXPECT_FALSE(w.form->variables().Default);
    w.form->controls().btnSwap->click();
    EXPECT_EQ(w.form->controls().Chart1->chart().drawingOrder(), order);
    EXPECT_TRUE(w.form->variables().Default);

    WindowHarness swapped("[Plotter]\r\nDefault=0\r\n");
    EXPECT_NE(swapped.form->controls().Chart1->chart().drawingOrder(), order)
        << "applied at start-up";
}

TEST(GraphAppearance, OrientationAndThreeDimensionalView)
{
    WindowHarness w;
    chart::Chart& chart = w.form->controls().Chart1->chart();
    EXPECT_EQ(chart.margins().bottom, 4.0);
    w.form->controls().Setup->rbVertical->setChecked(true);
    EXPECT_EQ(chart.margins().bottom, 1.0);
    EXPECT_EQ(chart.bottomAxis().labelAngle(), chart::LabelAngle::Vertical);
    w.form->controls().btn3D->click();
    EXPECT_TRUE(chart.threeD());
    EXPECT_TRUE(w.form->graph().plotFeed().series1().dividingLines());
    w.form->controls().btn3D->click();
    EXPECT_FALSE(w.form->graph().plotFeed().series1().dividingLines());
}

TEST(GraphInteraction, HoldingTheGraphPausesAndTheNextTwoTicksAreNotPlotted)
{
    WindowHarness w;
    w.form->controls().btnStart->click();
    plot(w, 5);
    const std::size_t points = w.form->graph().plotFeed().series1().size();
    EXPECT_EQ(points, 3u);
    w.form->Chart1MouseDown(Qt::LeftButton, false);
    EXPECT_FALSE(w.form->run().plotting()) << "no plotting while the graph is held";
    EXPECT_TRUE(w.form->run().ThreadedTimer1().Enabled()) << "the clock counts on";
    w.form->Chart1MouseUp(Qt::LeftButton, false);
    EXPECT_TRUE(w.form->run().plotting());
    plot(w, 2);
    EXPECT_EQ(w.form->graph().plotFeed().series1().size(), points);
    plot(w, 1);
    EXPECT_EQ(w.form->graph().plotFeed().series1().size(), points + 1);

    // A right-button press does not pause; its release restarts the warm-up.
    w.form->Chart1MouseDown(Qt::RightButton, false);
    EXPECT_TRUE(w.form->run().plotting());
    w.form->Chart1MouseUp(Qt::RightButton, false);
    EXPECT_TRUE(w.form->run().plotting());
    EXPECT_EQ(w.form->run().counters().WarmUpCount, 0);

    // With plotting stopped a press and release do not start it; the clock
    // still counts.
    w.form->controls().btnStop->click();
    w.form->Chart1MouseDown(Qt::LeftButton, false);
    w.form->Chart1MouseUp(Qt::LeftButton, false);
    EXPECT_FALSE(w.form->run().plotting());
    EXPECT_TRUE(w.form->run().ThreadedTimer1().Enabled());
}

TEST(GraphInteraction, ClickOnALegendPanelOpensTheColourChoiceAndLeavesTheClockRunning)
{
    WindowHarness w;
    w.form->show();
    w.form->controls().btnStart->click();
    int asked = 0;
    w.dialogs.chooseColour = [&](QWidget*, const QColor&) -> std::optional<QColor> {
        ++asked;
        EXPECT_TRUE(w.form->run().plotting()) << "the press reached the graph";
        return std::nullopt;
    };
    for (QWidget* panel : {w.form->controls().Panel23, w.form->controls().Panel25}) {
        QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(10, 5));
        EXPECT_TRUE(w.form->run().plotting());
    }
    EXPECT_EQ(asked, 2);
}

TEST(GraphInteraction, ScrollRulesApplyAndRestoreTheVerticalAxis)
{
    WindowHarness w;
    chart::Chart& chart = w.form->controls().Chart1->chart();
    w.form->controls().Setup->spMax->setValue(1000);
    EXPECT_DOUBLE_EQ(chart.leftAxis().minimum(), -5.0);

    // Shift-drag: the engine moved the maximum to 2500; the floor stays near zero.
    w.form->Chart1MouseDown(Qt::LeftButton, true);
    chart.leftAxis().setRange(-5, 2500);
    w.form->Chart1Scroll();
    EXPECT_DOUBLE_EQ(chart.leftAxis().minimum(), -5.0);
    EXPECT_DOUBLE_EQ(chart.leftAxis().maximum(), 2500.0);
    w.form->Chart1MouseUp(Qt::LeftButton, true);
    w.form->mnuApplyClick();
    EXPECT_EQ(w.form->controls().Setup->spMax->value(), 2500);
    EXPECT_DOUBLE_EQ(chart.leftAxis().minimum(), -12.5);
    EXPECT_DOUBLE_EQ(chart.leftAxis().maximum(), 2500.0);

    // An ordinary drag that pulls the floor down snaps back to "Maximum value".
    w.form->controls().Setup->spMax->setValue(1000);
    w.form->Chart1MouseDown(Qt::LeftButton, false);
    chart.leftAxis().setRange(-300, 1500);
    w.form->Chart1Scroll();
    EXPECT_DOUBLE_EQ(chart.leftAxis().minimum(), -3.0);
    EXPECT_DOUBLE_EQ(chart.leftAxis().maximum(), 1000.0);

    // Dragged to before the first point: back to the first page.
    chart.bottomAxis().setRange(-40, 360);
    w.form->Chart1Scroll();
    EXPECT_DOUBLE_EQ(chart.bottomAxis().minimum(), 0.0);
    EXPECT_DOUBLE_EQ(chart.bottomAxis().maximum(), 400.0);
    w.form->Chart1MouseUp(Qt::LeftButton, false);

    chart.leftAxis().setRange(-50, 7000);
    w.form->RestoreVerticalAxis1Click();
    EXPECT_DOUBLE_EQ(chart.leftAxis().minimum(), -5.0);
    EXPECT_DOUBLE_EQ(chart.leftAxis().maximum(), 1000.0);
}

TEST(GraphInteraction, CursorIsTheFourWayHandOnlyOnceTheWindowCanMoveInTime)
{
    EXPECT_EQ(graph::dragCursorFor(399, 400), graph::DragCursor::Vertical);
    EXPECT_EQ(graph::dragCursorFor(400, 400), graph::DragCursor::FourWay);
    WindowHarness w;
    w.form->Chart1MouseDown(Qt::LeftButton, false);
    EXPECT_EQ(w.form->controls().Chart1->cursor().shape(), Qt::BitmapCursor);
    w.form->Chart1MouseUp(Qt::LeftButton, false);
    EXPECT_EQ(w.form->controls().Chart1->cursor().shape(), Qt::ArrowCursor);
}

TEST(GraphInteraction, ApplyVerticalAxisMaximumTruncatesIntoTheBoxesNumbers)
{
    EXPECT_EQ(graph::spMaxFromAxis(2500.9), 2500);
    EXPECT_EQ(graph::spMaxFromAxis(-12.7), -12);
    EXPECT_EQ(graph::spMaxFromAxis(2147483647.5), 2147483647);
    EXPECT_EQ(graph::spMaxFromAxis(5e9), 2147483647);
    EXPECT_EQ(graph::spMaxFromAxis(-5e9), -2147483647 - 1);

    WindowHarness w;
    w.form->controls().Chart1->chart().leftAxis().setRange(-5, 5e9);
    w.form->mnuApplyClick();
    EXPECT_EQ(w.form->controls().Setup->spMax->value(), 2147483647);
}

TEST(GraphAxes, VisiblePageBringsTheAxisDownOnceABurstHasScrolledAway)
{
    WindowHarness w("[Plotter]\r\nPoints=20\r\n");
    app::SetupPage& s = *w.form->controls().Setup;
    chart::Axis& vertical = w.form->controls().Chart1->chart().leftAxis();
    s.rbFit->setChecked(true);
    EXPECT_FALSE(s.rbPeak->isChecked()) << "one choice of the three";
    w.form->controls().btnStart->click();
    w.tick(0);
    w.tick(0);
    plot(w, 5, 2 * 1024 * 1024); // 2,048 KB/s -> 2,252.8 -> 2,500
    EXPECT_DOUBLE_EQ(vertical.maximum(), 2500.0);
    plot(w, 1, 1024u * 1024 * 1024); // 1 GB/s: 1,048,576 KB/s -> 1,153,433.6 -> 1,200,000
    EXPECT_DOUBLE_EQ(vertical.maximum(), 1'200'000.0);
    plot(w, 40, 2 * 1024 * 1024); // two pages later the burst is out of sight
    EXPECT_DOUBLE_EQ(vertical.maximum(), 2500.0);

    // Peak keeps the session's burst, as it always did.
    s.rbPeak->setChecked(true);
    plot(w, 1, 2 * 1024 * 1024);
    EXPECT_DOUBLE_EQ(vertical.maximum(), 1'048'576.0 * 1.01);
    // Choosing "Visible page" again fits at once, without waiting for a tick.
    s.rbFit->setChecked(true);
    EXPECT_DOUBLE_EQ(vertical.maximum(), 2500.0);
}

TEST(GraphAxes, BitUnitsReachTheAxisThePanelsAndTheTrayHint)
{
    WindowHarness w;
    app::SetupPage& s = *w.form->controls().Setup;
    s.rbMbits->setChecked(true);
    EXPECT_EQ(s.edLabel->text(), "Mbit / sec");
    EXPECT_EQ(w.form->controls().Chart1->chart().leftAxis().title(), "Mbit / sec");
    w.form->controls().btnStart->click();
    w.tick(0);
    w.tick(0);
    w.tick(1'250'000, 125'000); // 10 and 1 Mbit/s
    EXPECT_EQ(w.form->controls().StatusPanel[1]->text(), "In: 10.00 Mbit/s");
    EXPECT_EQ(w.form->controls().StatusPanel[2]->text(), "Out: 1.00 Mbit/s");
    EXPECT_EQ(w.form->graph().plotFeed().series1().y(0), 10.0);
    EXPECT_EQ(w.form->run().trayHint(), "Flowloom - 0.001 GB\nIn: 10.00 Mbit/s  Out: 1.00 Mbit/s");
    // The Statistics tab keeps its bytes: web documents and the average mode read them.
    EXPECT_EQ(w.text("Panel14"), "1,250,000");

    s.rbKbits->setChecked(true);
    EXPECT_EQ(s.edLabel->text(), "kbit / sec");
    w.tick(1'250'000, 0);
    EXPECT_EQ(w.form->controls().StatusPanel[1]->text(), "In: 10,000.0 kbit/s");

    // Back to KB/sec: the panels and the hint are as they always were.
    s.rbKBytes->setChecked(true);
    w.tick(2048, 0);
    EXPECT_EQ(w.form->controls().StatusPanel[1]->text(), "In: 2.0 KB/s");
    EXPECT_EQ(w.form->run().trayHint(), "Flowloom - 0.002 GB");
}

TEST(GraphAxes, TheRatePanelsHoldTheLongestRateAndTheLabelsSayBytes)
{
    WindowHarness w;
    w.form->show();
    QLabel* out = w.form->controls().StatusPanel[2];
    for (const char* text : {"Out: 4,194,304.0 KB/s", "Out: 34,359,738.4 kbit/s",
                             "Out: 34,359.74 Mbit/s", "Out: 236,068.4 KB/s"})
        EXPECT_LE(out->fontMetrics().horizontalAdvance(QString::fromLatin1(text)),
                  out->contentsRect().width())
            << text;
    int bytesPerSec = 0;
    for (const QLabel* label : w.form->findChildren<QLabel*>()) {
        EXPECT_NE(label->text(), "Bytess / sec");
        bytesPerSec += label->text() == "Bytes / sec" ? 1 : 0;
    }
    EXPECT_EQ(bytesPerSec, 2) << "download and upload";
}

TEST(GraphAxes, ALabelOfTheUsersOwnSurvivesABitUnitAtTheNextStart)
{
    // As saved after the user chose Mbit/s and then wrote a label of their own.
    WindowHarness w("[Plotter]\r\nFirst=0\r\nKB=0\r\nMbits=1\r\nLabel=Mbits on eth0\r\n"
                    "Peak=0\r\nFit=1\r\n");
    const app::SetupPage& s = *w.form->controls().Setup;
    EXPECT_TRUE(s.rbMbits->isChecked());
    EXPECT_FALSE(s.rbKBytes->isChecked());
    EXPECT_TRUE(s.rbFit->isChecked());
    EXPECT_FALSE(s.rbPeak->isChecked());
    EXPECT_EQ(s.edLabel->text(), "Mbits on eth0");
    EXPECT_EQ(w.form->controls().Chart1->chart().leftAxis().title(), "Mbits on eth0");
    w.form->close();
    const std::string saved = w.readSettings();
    for (const char* line : {"\r\nKB=0\r\n", "\r\nMbits=1\r\n", "\r\nKbits=0\r\n", "\r\nFit=1\r\n",
                             "\r\nPeak=0\r\n", "\r\nLabel=Mbits on eth0\r\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line;
}

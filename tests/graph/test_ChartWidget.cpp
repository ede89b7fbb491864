#include "graph/ChartWidget.h"

#include <QPaintEvent>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

using flowloom::graph::ChartWidget;

namespace {
// Pixels inside the bevel (which only the screen has) where the picture
// differs from a whole drawing of the widget's chart; -1 when their sizes differ.
int differingFromWholeDrawing(const ChartWidget& widget, const QImage& picture)
{
    const QImage whole = widget.renderToImage(widget.size());
    const QImage shown = picture.convertToFormat(QImage::Format_RGB32);
    if (shown.size() != whole.size())
        return -1;
    int differing = 0;
    for (int y = 2; y < whole.height() - 2; ++y) {
        for (int x = 2; x < whole.width() - 2; ++x)
            differing += (shown.pixel(x, y) & 0xffffff) != (whole.pixel(x, y) & 0xffffff);
    }
    return differing;
}

// What the window shows, read back from the screen, not drawn anew.
QImage onScreen(const ChartWidget& widget)
{
    return widget.screen()->grabWindow(widget.winId()).toImage();
}
} // namespace

TEST(ChartWidget, RendersTheWholeChartIntoAnImageOfExactlyTheAskedSize)
{
    ChartWidget widget;
    widget.resize(791, 385);
    widget.chart().setPanelColour(QColor(12, 34, 56));
    const QImage image = widget.renderToImage(QSize(158, 77));
    EXPECT_EQ(image.size(), QSize(158, 77));
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(0, 0), qRgb(12, 34, 56));
    EXPECT_EQ(image.pixel(157, 76), qRgb(12, 34, 56));
    EXPECT_EQ(widget.size(), QSize(791, 385)); // the widget itself is not resized
    EXPECT_EQ(widget.renderToImage(QSize(2000, 2000)).size(), QSize(2000, 2000));

    // On screen the graph sits in a sunken bevel: shadow at the top left,
    // light at the bottom right; images hold the chart alone.
    const QImage screen = widget.grab().toImage();
    const QPalette palette = widget.palette();
    EXPECT_EQ(screen.pixel(0, 0), palette.color(QPalette::Dark).rgb());
    EXPECT_EQ(screen.pixel(790, 384), palette.color(QPalette::Light).rgb());
    EXPECT_EQ(screen.pixel(3, 3), qRgb(12, 34, 56)) << "the panel inside the bevel";
}

TEST(ChartWidget, DraggingPansAndReportsButtonsShiftAndEachStep)
{
    ChartWidget widget;
    widget.resize(600, 400);
    widget.chart().bottomAxis().setRange(0.0, 100.0);
    widget.chart().leftAxis().setRange(0.0, 1000.0);
    QSignalSpy pressed(&widget, &ChartWidget::mousePressed);
    QSignalSpy released(&widget, &ChartWidget::mouseReleased);
    QSignalSpy scrolled(&widget, &ChartWidget::scrolled);

    const QPoint centre(300, 200);
    QTest::mousePress(&widget, Qt::LeftButton, Qt::ShiftModifier, centre);
    ASSERT_EQ(pressed.count(), 1);
    EXPECT_EQ(pressed.at(0).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
    EXPECT_TRUE(pressed.at(0).at(1).toBool());

    QTest::mouseMove(&widget, centre + QPoint(30, 0));
    QTest::mouseMove(&widget, centre + QPoint(30, 20));
    EXPECT_EQ(scrolled.count(), 2);
    EXPECT_LT(widget.chart().bottomAxis().minimum(), 0.0); // content dragged right
    EXPECT_GT(widget.chart().leftAxis().minimum(), 0.0);   // and down

    QTest::mouseRelease(&widget, Qt::LeftButton, Qt::NoModifier, centre + QPoint(30, 20));
    ASSERT_EQ(released.count(), 1);
    EXPECT_FALSE(released.at(0).at(1).toBool());
    QTest::mouseMove(&widget, centre);
    EXPECT_EQ(scrolled.count(), 2);
}

// The screen keeps its drawing from tick to tick and scrolls it; what it
// shows must be what a whole drawing of the same chart shows.
TEST(ChartWidget, ScrolledScreenMatchesAWholeDrawingEveryTick)
{
    ChartWidget widget;
    widget.resize(791, 385);
    flowloom::chart::Chart& chart = widget.chart();
    flowloom::chart::Series& area = chart.addSeries(flowloom::chart::SeriesKind::Area, "in");
    flowloom::chart::Series& line = chart.addSeries(flowloom::chart::SeriesKind::Line, "out");
    chart.leftAxis().setRange(-2.0, 1000.0);
    const auto append = [&](int t) {
        const flowloom::chart::TimeLabel label(static_cast<std::uint32_t>(36000 + t));
        area.append(500.0 + 400.0 * std::sin(t / 4.0), label, qRgb(0, 255, 0));
        line.append(300.0 + 250.0 * std::cos(t / 2.0), label, qRgb(255, 255, 0));
        chart.bottomAxis().setRange(t - 400.0, t);
    };
    for (int t = 0; t < 450; ++t)
        append(t);
    for (int t = 450; t < 460; ++t) {
        append(t);
        ASSERT_EQ(differingFromWholeDrawing(widget, widget.grab().toImage()), 0) << "tick " << t;
    }
}

// Counts the pixels of a tick's paint events.
class PaintRecorder : public QObject
{
public:
    QRegion painted;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

// A tick moves what the screen shows and paints only the new strip and the
// time labels; the screen (read back from the window, not drawn anew) must
// then hold what a whole drawing shows, also after the vertical scale changed
// and with another part to repaint in the same pass.
TEST(ChartWidget, TickScrollsTheScreenAndPaintsOnlyWhatChanged)
{
    ChartWidget widget;
    widget.resize(791, 385);
    flowloom::chart::Chart& chart = widget.chart();
    flowloom::chart::Series& area = chart.addSeries(flowloom::chart::SeriesKind::Area, "in");
    chart.leftAxis().setRange(-2.0, 1000.0);
    const auto append = [&](int t) {
        area.append(500.0 + 400.0 * std::sin(t / 4.0),
                    flowloom::chart::TimeLabel(static_cast<std::uint32_t>(36000 + t)),
                    qRgb(0, 255, 0));
        chart.bottomAxis().setRange(t - 100.0, t);
    };
    for (int t = 0; t < 150; ++t)
        append(t);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    QCoreApplication::processEvents();
    PaintRecorder recorder;
    widget.installEventFilter(&recorder);
    const QPoint oldPart = widget.rect().center() - QPoint(widget.width() / 4, 0);
    for (int t = 150; t < 160; ++t) {
        append(t);
        const bool rescaled = t == 155;
        if (rescaled)
            chart.leftAxis().setRange(-4.0, 2000.0);
        recorder.painted = QRegion();
        // A part of the screen to repaint as well (a closed tooltip): drawn
        // whole there, scrolled elsewhere.
        if (t == 152)
            widget.update(QRect(120, 100, 40, 40));
        widget.showTick();
        QCoreApplication::processEvents();
        EXPECT_EQ(recorder.painted.contains(oldPart), rescaled) << "tick " << t;
        ASSERT_EQ(differingFromWholeDrawing(widget, onScreen(widget)), 0) << "tick " << t;
    }
}

// A see-through panel colour draws the whole chart at every tick, each time
// over the panel's own colour: the screen never piles one drawing on another.
TEST(ChartWidget, SeeThroughPanelLooksAsItsImageTickAfterTick)
{
    ChartWidget widget;
    widget.resize(400, 240);
    flowloom::chart::Chart& chart = widget.chart();
    chart.setPanelColour(QColor(40, 60, 200, 90));
    flowloom::chart::Series& area = chart.addSeries(flowloom::chart::SeriesKind::Area, "in");
    chart.leftAxis().setRange(0.0, 100.0);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    for (int t = 0; t < 4; ++t) {
        area.append(20.0 + 15.0 * t,
                    flowloom::chart::TimeLabel(static_cast<std::uint32_t>(36000 + t)),
                    qRgb(0, 255, 0));
        chart.bottomAxis().setRange(t - 50.0, t);
        widget.showTick();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(differingFromWholeDrawing(widget, onScreen(widget)), 0);
}

// Hidden or minimised, the window may lose what it showed: the first tick
// after it draws the whole chart instead of scrolling a screen it assumes.
TEST(ChartWidget, ScrollsNothingAfterBeingUnseen)
{
    QWidget window;
    auto* widget = new ChartWidget(&window);
    widget->resize(400, 300);
    window.show();
    widget->grab();
    EXPECT_TRUE(widget->scrollsNextTick());
    window.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(widget->scrollsNextTick()) << "minimised";
    window.setWindowState(Qt::WindowNoState);
    widget->grab();
    EXPECT_TRUE(widget->scrollsNextTick());
    widget->hide();
    EXPECT_FALSE(widget->scrollsNextTick()) << "hidden";
}

// What a tick does while nobody sees the window, and what it repaints while
// somebody does: figures kept while minimised and current the moment the
// window shows, the web figures built only when asked for, texts handed over
// only when they changed.
#include "WindowHarness.h"
#include "app/MainControls.h"
#include "app/Unit1.h"
#include "app/pages/HistoryPage.h"
#include "app/pages/StatisticsPage.h"
#include "app/unseen/ShownText.h"
#include "chart/Chart.h"
#include "graph/ChartWidget.h"
#include "usage/UsageRules.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QLabel>
#include <QToolButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace flowloom;
using Window = testsupport::WindowHarness;

namespace {

void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// Counts the paint events a widget receives.
class PaintCounter final : public QObject
{
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The window shown and plotting, after `ticks` ticks of `bytesIn` each.
::testing::AssertionResult shownAndPlotting(Window& w, int ticks, std::uint32_t bytesIn = 1024)
{
    w.form->show();
    if (!QTest::qWaitForWindowExposed(w.form.get()))
        return ::testing::AssertionFailure() << "the window was never exposed";
    w.form->controls().btnStart->click();
    for (int i = 0; i < ticks; ++i)
        w.tick(bytesIn);
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(ShownText, HandsOverOnlyChangedTextsAndOnlyWhileSeen)
{
    struct Step
    {
        const char* text;
        bool seen;
        bool handedOver;
    };
    const std::vector<Step> steps = {
        {"a", true, true},   // differs from the first "x"
        {"a", true, false},  // the same again
        {"b", false, false}, // unseen: waits
        {"c", false, false}, // unseen: the newer one waits instead
        {"a", true, false},  // seen, but what is shown already
        {"d", true, true},
    };
    app::ShownText text(QStringLiteral("x"));
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(text.set(QString::fromLatin1(steps[i].text), steps[i].seen), steps[i].handedOver)
            << "step " << i;
        EXPECT_EQ(text.latest(), QString::fromLatin1(steps[i].text)) << "step " << i;
    }
}

TEST(ShownText, RevealHandsOverTheLatestUnseenTextOnce)
{
    app::ShownText text(QStringLiteral("x"));
    EXPECT_FALSE(text.reveal().has_value()) << "nothing new";
    text.set(QStringLiteral("b"), false);
    text.set(QStringLiteral("c"), false);
    EXPECT_EQ(text.reveal(), std::optional<QString>(QStringLiteral("c")));
    EXPECT_FALSE(text.reveal().has_value()) << "shown already";
    text.set(QStringLiteral("x"), false);
    text.set(QStringLiteral("c"), false); // back to what is shown
    EXPECT_FALSE(text.reveal().has_value());
}

TEST(Unseen, MinimisedTicksShowTheirNewestFiguresTheMomentTheWindowShows)
{
    Window w;
    app::TForm1& f = *w.form;
    ASSERT_TRUE(shownAndPlotting(w, 3)); // the third is the first shown tick: 1 KB/s
    settle();
    ASSERT_EQ(f.controls().StatusPanel[1]->text(), "In: 1.0 KB/s");
    const std::size_t pointsBefore = f.controls().Chart1->chart().series(0).size();

    f.showMinimized();
    settle();
    ASSERT_FALSE(f.updatesEnabled()) << "nothing is painted while minimised";
    // Rates of 2, 3 and then 5 KB/s; the labels themselves wait.
    const std::uint32_t ticks[] = {2048, 3072, 5120};
    for (const std::uint32_t bytes : ticks)
        w.tick(bytes);
    EXPECT_EQ(f.controls().StatusPanel[1]->text(), "In: 1.0 KB/s") << "not written while unseen";
    EXPECT_EQ(f.figures().figure(f.controls().StatusPanel[1]), "In: 5.0 KB/s")
        << "but kept for the moment it shows";

    f.showNormal();
    settle();
    EXPECT_TRUE(f.updatesEnabled());
    EXPECT_EQ(f.controls().StatusPanel[1]->text(), "In: 5.0 KB/s");
    EXPECT_EQ(w.text("Panel14"), "5,120");
    EXPECT_EQ(w.text("Panel15"), "5,120") << "the peak of the unseen ticks";
    // Every byte since the start: three warm-up and shown ticks of 1024, then 2048 + 3072 + 5120.
    EXPECT_EQ(w.text("Panel26"), "13,312");
    EXPECT_EQ(f.controls().Chart1->chart().series(0).size(), pointsBefore + 3)
        << "the graph took every unseen tick";
    EXPECT_EQ(f.run().trayHint(), "Flowloom - 0.000 GB");
}

TEST(Unseen, MinimisedTicksFormNoTextsUntilOneIsReadOrTheWindowShows)
{
    Window w;
    app::TForm1& f = *w.form;
    ASSERT_TRUE(shownAndPlotting(w, 3));
    // With the graph in front only the status bar's rates are formed.
    EXPECT_EQ(f.run().figuresFormed(), 0);
    EXPECT_EQ(f.controls().StatusPanel[1]->text(), "In: 1.0 KB/s");
    f.controls().PageControl1->setCurrentWidget(f.controls().Statistics);
    EXPECT_EQ(w.text("Panel14"), "1,024") << "formed when their page comes to the front";
    const int formedShown = f.run().figuresFormed();
    ASSERT_EQ(formedShown, 1);

    f.showMinimized();
    settle();
    w.tick(2048);
    w.tick(4096, 512);
    EXPECT_EQ(f.run().figuresFormed(), formedShown) << "nobody reads them: none formed";
    // Read (as the web view or the icon's balloon does): the newest tick's, once.
    EXPECT_EQ(f.figures().figure(f.controls().StatusPanel[2]), "Out: 0.5 KB/s");
    EXPECT_EQ(f.figures().figure(f.controls().StatusPanel[1]), "In: 4.0 KB/s");
    EXPECT_EQ(f.run().figuresFormed(), formedShown + 1);

    w.tick(3072);
    f.controls().btnStop->click(); // stopped while unseen: the last figures stay
    f.showNormal();
    settle();
    EXPECT_EQ(f.run().figuresFormed(), formedShown + 2) << "formed once more, for the last tick";
    EXPECT_EQ(f.controls().StatusPanel[1]->text(), "Stopped");
    EXPECT_EQ(w.text("Panel14"), "3,072");
    EXPECT_EQ(w.text("Panel15"), "4,096") << "the peak";
    // 1024 three times (warm-up included), then 2048 + 4096 + 3072.
    EXPECT_EQ(w.text("Panel26"), "12,288");
    EXPECT_EQ(w.text("Panel27"), "512");
}

TEST(Unseen, WebFiguresAreBuiltOnlyWhenAskedForAndAtMostOnceATick)
{
    Window w; // the web server is off: nobody asks
    app::TForm1& f = *w.form;
    f.controls().btnStart->click();
    for (int i = 0; i < 5; ++i)
        w.tick(1000);
    EXPECT_EQ(f.run().figuresBuilt(), 0);

    const std::shared_ptr<const web::Figures> first = f.run().figures();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(f.run().figuresBuilt(), 1);
    EXPECT_EQ(first->time, usage::SystemZone().toInstant(w.clock.now()))
        << "the figures of the latest tick, at its moment";
    EXPECT_EQ(f.run().figures(), first) << "asked again within the tick: the same figures";
    EXPECT_EQ(f.run().figuresBuilt(), 1);

    w.tick(1000, 0, 7);
    const std::shared_ptr<const web::Figures> second = f.run().figures();
    EXPECT_EQ(f.run().figuresBuilt(), 2);
    EXPECT_EQ(second->time - first->time, 7) << "seven seconds later";
}

TEST(Unseen, ALabelWhoseTextStaysIsNotRepaintedAndOneThatChangesIs)
{
    Window w;
    app::TForm1& f = *w.form;
    ASSERT_TRUE(shownAndPlotting(w, 4, 0));
    settle();
    QLabel* rate = f.controls().StatusPanel[1];
    ASSERT_EQ(rate->text(), "In: 0.0 KB/s");
    PaintCounter paints(rate);
    PaintCounter chartPaints(f.controls().Chart1);

    w.tick(0);
    settle();
    EXPECT_EQ(paints.paints, 0) << "the same text: no repaint";
    EXPECT_GT(chartPaints.paints, 0) << "while the graph took its new point";

    w.tick(2048);
    settle();
    EXPECT_EQ(rate->text(), "In: 2.0 KB/s");
    EXPECT_GT(paints.paints, 0) << "a new text is painted";
}

TEST(Unseen, APageBehindAnotherTakesItsFiguresWhenItComesToTheFront)
{
    Window w;
    app::TForm1& f = *w.form;
    ASSERT_TRUE(shownAndPlotting(w, 3)); // the graph's page in front
    settle();
    QLabel* current = w.get<QLabel>("Panel14");
    const QString before = current->text();
    w.tick(5120);
    settle();
    EXPECT_EQ(current->text(), before) << "not written behind the graph";
    EXPECT_EQ(f.figures().figure(current), "5,120") << "but current for whoever reads it";
    EXPECT_EQ(f.controls().StatusPanel[1]->text(), "In: 5.0 KB/s") << "the status bar is seen";

    f.controls().PageControl1->setCurrentWidget(f.controls().Statistics);
    settle();
    EXPECT_EQ(current->text(), "5,120") << "shown as the page comes to the front";
    w.tick(2048);
    EXPECT_EQ(current->text(), "2,048") << "in front: written at once";
}

namespace {
// Counts, application-wide, the events that mean drawing or laying out.
class DrawingEvents final : public QObject
{
public:
    DrawingEvents() { QCoreApplication::instance()->installEventFilter(this); }
    ~DrawingEvents() override { QCoreApplication::instance()->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Paint:
        case QEvent::UpdateRequest:
        case QEvent::LayoutRequest:
        case QEvent::ToolTipChange:
            ++count;
            break;
        default:
            break;
        }
        return false;
    }
};
} // namespace

TEST(Unseen, AMinimisedTickNeitherPaintsNorLaysOutAnything)
{
    Window w;
    app::TForm1& f = *w.form;
    ASSERT_TRUE(shownAndPlotting(w, 3));
    f.showMinimized();
    settle();
    {
        DrawingEvents events;
        for (std::uint32_t bytes = 1; bytes <= 5; ++bytes) {
            w.tick(bytes * 1000, bytes * 100);
            settle();
        }
        EXPECT_EQ(events.count, 0);
    }
    // The control: shown, the same ticks do draw.
    f.showNormal();
    settle();
    DrawingEvents events;
    w.tick(7000);
    settle();
    EXPECT_GT(events.count, 0);
}

TEST(Unseen, TheHistoryPageWaitsWhileMinimisedAndCatchesUpWhenShown)
{
    Window w;
    app::TForm1& f = *w.form;
    ASSERT_TRUE(shownAndPlotting(w, 0));
    f.controls().PageControl1->setCurrentWidget(f.controls().History);
    w.tick(1'000'000);
    settle();
    QLabel* used = f.controls().History->LabelUsed;
    const QString shownBefore = used->text();

    f.showMinimized();
    settle();
    for (int i = 0; i < 12; ++i) // more than the page's refresh interval, 5 ticks
        w.tick(3'000'000);
    EXPECT_EQ(used->text(), shownBefore) << "not refreshed while minimised";

    f.showNormal();
    settle();
    const QString shownAgain = used->text();
    EXPECT_NE(shownAgain, shownBefore) << "refreshed the moment it shows";
    // What a fresh look at the page shows: leave it and come back.
    f.controls().PageControl1->setCurrentWidget(f.controls().TabSheet1);
    f.controls().PageControl1->setCurrentWidget(f.controls().History);
    EXPECT_EQ(used->text(), shownAgain) << "the newest tick's figures";
}

namespace {

// Tables of 1 KB more each, scripted before any is read, for ticks 5 ms apart.
void scriptFastTicks(Window& w, int tables)
{
    for (int i = 0; i < tables; ++i) {
        w.in += 1024;
        w.source.push(w.table());
    }
    w.form->run().setInterval(5);
}

// The selected interface's total once it reaches `bytes` (or after 10 s).
std::uint64_t countedUpTo(app::TForm1& f, std::uint64_t bytes)
{
    const QDeadlineTimer deadline(std::chrono::seconds(10));
    while (f.run().totals().at(0).totalIn < bytes && !deadline.hasExpired())
        QTest::qWait(5);
    return f.run().totals().at(0).totalIn;
}

} // namespace

TEST(Unseen, MinimisedTheTableIsReadOffTheWindowsThreadAndEveryReadingCounts)
{
    Window w("", false);
    w.readsUnseenOnThread = true;
    w.create();
    app::TForm1& f = *w.form;
    ASSERT_TRUE(shownAndPlotting(w, 3));
    f.controls().PageControl1->setCurrentWidget(f.controls().Statistics);
    scriptFastTicks(w, 25);
    const std::uint64_t allBytes = (3 + 25) * 1024;
    f.showMinimized();
    settle();
    ASSERT_FALSE(f.updatesEnabled());

    // Worked out in batches while the window stays minimised.
    EXPECT_EQ(countedUpTo(f, allBytes), allBytes);
    EXPECT_TRUE(f.run().readingUnseen());
    EXPECT_FALSE(f.run().ThreadedTimer1().Enabled()) << "the window's thread sleeps";
    EXPECT_EQ(w.text("Panel26"), "3,072") << "labels wait while unseen";

    f.showNormal();
    settle();
    // What was read last counts before anything shows, and the window's clock goes on.
    const std::size_t taken = w.source.snapshotsTaken();
    const std::size_t points = f.controls().Chart1->chart().series(0).size();
    EXPECT_FALSE(f.run().readingUnseen());
    EXPECT_TRUE(f.run().ThreadedTimer1().Enabled());
    EXPECT_EQ(w.text("Panel26"), "28,672");
    // One graph point per reading after the start-up one and the two warm-up ticks.
    EXPECT_EQ(points, taken - 3);
}

TEST(Unseen, HeadlessTheTableIsReadOffTheWindowsThreadAndCountedUpToTheClose)
{
    Window w("", false);
    w.readsUnseenOnThread = true;
    w.headless = true;
    w.create();
    app::TForm1& f = *w.form;
    scriptFastTicks(w, 25);
    EXPECT_EQ(countedUpTo(f, 25 * 1024), 25 * 1024u);
    EXPECT_TRUE(f.run().readingUnseen()) << "no window to be seen: read off its thread";

    f.close();
    EXPECT_FALSE(f.run().readingUnseen()) << "closing takes the last readings in";
    EXPECT_NE(w.readSettings().find("LastTotalIn0=25600"), std::string::npos);
}

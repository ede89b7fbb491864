#pragma once

#include "graph/ChartWidget.h"
#include "graph/PlotFeed.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>

// gtest shows Qt texts as text rather than as bytes.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace flowloom::test {

// The graph as the window shows it: 791 x 385, the program's dark look, two
// filled series fed through the plot feed with some synthetic traffic.
struct GraphFixture
{
    graph::ChartWidget widget;
    graph::PlotFeed feed{widget.chart()};
    graph::PlotFeedSettings settings;
    sampling::RunCounters counters;
    sampling::TStatRec rec;
    int tickCount = 0;
    int secondsPerTick = 1;
    // The page capture of each tick's tail, as the window passes it.
    std::function<bool()> capture;

    explicit GraphFixture(int points = 120, int ticks = 90)
    {
        widget.resize(791, 385);
        widget.chart().setTitle(QStringLiteral("Traffic"));
        settings.pointsPerPage = points;
        settings.maxValue = 100.0;
        feed.startUp(settings);
        for (int i = 0; i < ticks; ++i)
            tick();
    }

    sampling::DateTime now() const
    {
        const int seconds = 19 * 3600 + 44 * 60 + tickCount * secondsPerTick;
        return {2026, 12, 6, seconds / 3600 % 24, seconds / 60 % 60, seconds % 60};
    }

    // One shown tick: the traffic rises and falls like a download with bursts.
    void tick()
    {
        ++tickCount;
        counters.raiseAll();
        const double t = tickCount;
        rec.CurIn =
            static_cast<std::uint32_t>(40960 + 30000 * std::sin(t / 7.0) + 9000 * std::sin(t));
        rec.CurOut = static_cast<std::uint32_t>(12000 + 8000 * std::sin(t / 5.0 + 1.0));
        rec.PeakIn = std::max(rec.PeakIn, rec.CurIn);
        rec.PeakOut = std::max(rec.PeakOut, rec.CurOut);
        feed.addShownTick(rec, settings, "0", "0", now());
        feed.tickTail(counters, settings, capture);
    }
};

// Runs action on the next modal dialog that opens (it is polled for, since it
// opens inside the exec() of the code under test), then lets that code go on.
template <typename Dialog> void onNextModal(std::function<void(Dialog&)> action)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        poll->stop();
        poll->deleteLater();
        action(*dialog);
    });
    poll->start();
}

// What the user types into a file dialog's name box, then confirms. Typing
// rather than selectFile(): selecting an item depends on the dialog's folder
// model, which fills in on a thread of its own.
inline void typeAndAccept(QFileDialog& dialog, const QString& name)
{
    if (auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        edit->setText(name);
    // A dialog that refuses the name answers with a message box of its own;
    // close it so that the test fails instead of waiting for ever.
    QTimer::singleShot(3000, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "the file dialog refused the name: " << box->text().toStdString();
            box->reject();
        }
    });
    static_cast<QDialog&>(dialog).accept(); // QFileDialog hides it
}

} // namespace flowloom::test

// Writes a PNG of every page and sub-page of the main window into the folder
// given on the command line, so that a developer can look at the layout.
// Run it on the offscreen platform or under Xvfb; it is not part of the suite.
#include "app/Unit1.h"
#include "app/pages/SetupPage.h"
#include "sampling/ScriptedSource.h"
#include "support/ManualClock.h"
#include "usage/UsageStore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <cmath>

using namespace flowloom;

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 2)
        return 2;
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir folder;
    sampling::ScriptedSource source;
    using S = sampling::ScriptedSource;
    source.setAddresses({{S::address(127, 0, 0, 1), 1}, {S::address(192, 168, 1, 10), 2}});
    source.push({S::row(1, "lo", 1000, 1000), S::row(2, "eth0", 5000, 4000)});
    testsupport::ManualClock clock;
    // Two months of history for the History page, and a data cap of 1,600 MB
    // that December has nearly used up, so that the warning shows.
    {
        const std::string history = (folder.path() + "/flowloom-history.sqlite").toStdString();
        usage::UsageStore::prepare(history, clock.now());
        usage::UsageBatch batch;
        batch.seq = 1;
        const auto lo = usage::identityOf(S::row(1, "lo", 0, 0));
        for (int back = 1; back <= 60; ++back) {
            const std::uint64_t mb = 1ULL << 20;
            batch.days.push_back({lo, usage::dayKey(usage::addDays(clock.now(), -back)),
                                  (150 + (back * 37) % 200) * mb, (20 + (back * 11) % 40) * mb});
        }
        std::string error;
        usage::UsageStore::open(history)->write({batch}, error);
        QFile ini(folder.path() + "/flowloom.ini");
        ini.open(QIODevice::WriteOnly);
        ini.write("[Plotter]\r\nFirst=0\r\nDataCap=1\r\nCapSize=1600\r\nCapUnit=0\r\n");
    }
    app::TForm1 form({source, clock, (folder.path() + "/flowloom").toStdString()});
    form.show();
    // Some synthetic traffic so that the graph and the figures have something to show.
    form.btnStartClick();
    std::uint32_t in = 1000, sent = 1000;
    for (int i = 0; i < 300; ++i) {
        in += static_cast<std::uint32_t>(200000 + 150000 * std::sin(i / 9.0) + (i * 7919) % 90000);
        sent += static_cast<std::uint32_t>(60000 + 40000 * std::cos(i / 13.0));
        source.push({S::row(1, "lo", in, sent), S::row(2, "eth0", 5000, 4000)});
        clock.advance(1);
        form.Timer1Timer();
    }
    auto shoot = [&](const QString& name) {
        QApplication::processEvents();
        form.grab().save(out.filePath(name + ".png"));
    };
    for (int i = 0; i < form.controls().PageControl1->count(); ++i) {
        form.controls().PageControl1->setCurrentIndex(i);
        if (form.controls().PageControl1->currentWidget() == form.controls().Setup) {
            for (int j = 0; j < form.controls().Setup->PageControl2->count(); ++j) {
                form.controls().Setup->PageControl2->setCurrentIndex(j);
                shoot(QStringLiteral("setup-%1").arg(j));
            }
        } else {
            shoot(QStringLiteral("page-%1").arg(i));
        }
    }
    if (auto* notice = form.findChild<QMessageBox*>("HistoryNotice"))
        notice->grab().save(out.filePath(QStringLiteral("history-notice.png")));
    // The graph in its looks: flat and three-dimensional, filled and line,
    // horizontal and vertical time labels.
    form.controls().PageControl1->setCurrentWidget(form.controls().TabSheet1);
    shoot(QStringLiteral("graph-flat-filled-horizontal"));
    form.controls().btn3D->click();
    shoot(QStringLiteral("graph-3d-filled-horizontal"));
    form.controls().Setup->rbVertical->setChecked(true);
    shoot(QStringLiteral("graph-3d-filled-vertical"));
    form.controls().Setup->rbLine->setChecked(true);
    shoot(QStringLiteral("graph-3d-line-vertical"));
    form.controls().btn3D->click();
    shoot(QStringLiteral("graph-flat-line-vertical"));
    form.controls().Setup->rbHorizontal->setChecked(true);
    shoot(QStringLiteral("graph-flat-line-horizontal"));
    return 0;
}

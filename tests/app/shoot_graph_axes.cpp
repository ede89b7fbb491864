// Writes PNGs of the main window showing the vertical axis choices: the
// "Visible page" axis while a burst is in sight and after it has scrolled
// away, "Peak" after the same burst for comparison, and a bit-rate axis, into
// the folder given on the command line. Run it on the offscreen platform or
// under Xvfb; it is not part of the suite.
#include "app/Unit1.h"
#include "app/pages/SetupPage.h"
#include "sampling/ScriptedSource.h"
#include "support/ManualClock.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <functional>

using namespace flowloom;

namespace {
using S = sampling::ScriptedSource;

// One program over a scripted interface whose traffic the caller chooses per tick.
struct Shot
{
    QTemporaryDir folder;
    S source;
    testsupport::ManualClock clock;
    std::uint32_t in = 1000;
    std::uint32_t out = 1000;
    std::unique_ptr<app::TForm1> form;

    explicit Shot(const char* settings)
    {
        source.setAddresses({{S::address(127, 0, 0, 1), 1}});
        source.push(table());
        QFile ini(folder.path() + "/flowloom.ini");
        ini.open(QIODevice::WriteOnly);
        ini.write(settings);
        ini.close();
        form = std::make_unique<app::TForm1>(
            app::Environment{source, clock, (folder.path() + "/flowloom").toStdString()});
        form->show();
        form->btnStartClick();
    }
    sampling::TMIBIfArray table() const { return {S::row(1, "lo", in, out)}; }
    void tick(std::uint32_t down, std::uint32_t up)
    {
        in += down;
        out += up;
        source.push(table());
        clock.advance(1);
        form->Timer1Timer();
    }
    // Steady traffic of about 2 MB/s down and 300 KB/s up, with some wobble.
    void steady(int ticks, int& t)
    {
        for (int i = 0; i < ticks; ++i, ++t)
            tick(static_cast<std::uint32_t>(2'000'000 + 400'000 * std::sin(t / 7.0)),
                 static_cast<std::uint32_t>(300'000 + 80'000 * std::cos(t / 11.0)));
    }
    void save(const QDir& out, const QString& name)
    {
        form->controls().PageControl1->setCurrentWidget(form->controls().TabSheet1);
        QApplication::processEvents();
        form->grab().save(out.filePath(name + ".png"));
    }
};

constexpr std::uint32_t kBurst = 3u * 1024 * 1024 * 1024; // 3 GB in one second
} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 2)
        return 2;
    const QDir out(QString::fromLocal8Bit(argv[1]));

    // "Visible page" with 120 points per page: 60 s of steady traffic, one
    // burst, 40 s more (burst in sight), then two pages more (burst gone).
    {
        Shot shot("[Plotter]\r\nFirst=0\r\nPoints=120\r\nPeak=0\r\nFit=1\r\n");
        int t = 0;
        shot.steady(60, t);
        shot.tick(kBurst, 300'000);
        shot.steady(40, t);
        shot.save(out, QStringLiteral("fit-burst-in-sight"));
        shot.steady(240, t);
        shot.save(out, QStringLiteral("fit-after-burst"));
    }
    // The same traffic under "Peak": the burst keeps the axis for the session.
    {
        Shot shot("[Plotter]\r\nFirst=0\r\nPoints=120\r\n");
        int t = 0;
        shot.steady(60, t);
        shot.tick(kBurst, 300'000);
        shot.steady(280, t);
        shot.save(out, QStringLiteral("peak-after-burst"));
    }
    // Mbit/s with the fitted axis: the axis, the status bar and the label in bits.
    {
        Shot shot("[Plotter]\r\nFirst=0\r\nPoints=120\r\nPeak=0\r\nFit=1\r\nKB=0\r\nMbits=1\r\n");
        int t = 0;
        shot.steady(150, t);
        shot.save(out, QStringLiteral("mbit-axis"));
        shot.form->controls().Setup->rbKbits->setChecked(true);
        shot.form->btnClearClick();
        shot.steady(150, t);
        shot.save(out, QStringLiteral("kbit-axis"));
    }
    return 0;
}

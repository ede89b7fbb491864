// Writes a PNG of the main window as the screen shows it after the graph has
// scrolled: a page of 60 points, 150 ticks of scripted traffic on a manual
// clock, the window's repaints handled after every tick as the running
// program handles them. The picture is read back from the screen (the X
// server under Xvfb), not drawn anew, so it shows what the ticks painted.
// Two builds' pictures compared show whether a change altered the look.
// Not part of the suite.
//
//   shoot_graph_scroll OUT.png      (QT_QPA_PLATFORM=xcb under Xvfb)
#include "app/Unit1.h"
#include "sampling/ScriptedSource.h"
#include "support/ManualClock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QWindow>
#include <cmath>
#include <cstdint>

using namespace flowloom;

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 2)
        return 2;
    using S = sampling::ScriptedSource;
    QTemporaryDir folder;
    S source;
    testsupport::ManualClock clock;
    std::uint32_t in = 1000;
    std::uint32_t out = 1000;
    auto table = [&] { return sampling::TMIBIfArray{S::row(1, "lo", in, out)}; };
    source.setAddresses({{S::address(127, 0, 0, 1), 1}});
    source.push(table());
    QFile ini(folder.path() + "/flowloom.ini");
    ini.open(QIODevice::WriteOnly);
    ini.write("[Plotter]\r\nFirst=0\r\nPoints=60\r\n");
    ini.close();
    app::TForm1 form(app::Environment{source, clock, (folder.path() + "/flowloom").toStdString()});
    form.show();
    // A window manager maps the window in its own time: a picture read back
    // before that is black.
    QElapsedTimer waited;
    waited.start();
    while (!form.windowHandle()->isExposed() && waited.elapsed() < 10'000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    form.btnStartClick();
    for (int t = 0; t < 150; ++t) {
        in += static_cast<std::uint32_t>(2'000'000 + 900'000 * std::sin(t / 5.0));
        out += static_cast<std::uint32_t>(300'000 + 200'000 * std::cos(t / 3.0));
        source.push(table());
        clock.advance(1);
        form.Timer1Timer();
        QApplication::processEvents();
    }
    QApplication::processEvents();
    QApplication::sync();
    const QPixmap screen = form.windowHandle()->screen()->grabWindow(form.winId());
    return screen.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}

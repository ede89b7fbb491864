// Notices without a notification service (the tests keep off every bus):
// the tray's balloon while its icon shows, else the caller's own way; the
// status bar's notice panel in any case, for a few seconds.
#include "app/desktop/DesktopNotices.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using flowloom::app::DesktopNotices;
using flowloom::app::Notice;

TEST(DesktopNotices, WithoutAServiceTheBalloonOrTheCallersWayAndThePanelForAWhile)
{
    struct Case
    {
        bool trayShown;
        int balloons;
        int ownWay;
    };
    for (const Case c : {Case{true, 1, 0}, Case{false, 0, 1}}) {
        QLabel panel;
        std::vector<QString> balloons;
        DesktopNotices notices(panel, {[&] { return c.trayShown; },
                                       [&](const QString& title, const QString& text) {
                                           balloons.push_back(title + " | " + text);
                                       }});
        int ownWay = 0;
        notices.notify({QStringLiteral("Data cap reached"), QStringLiteral("All 8 GB used."), true},
                       [&] { ++ownWay; });
        EXPECT_EQ(static_cast<int>(balloons.size()), c.balloons);
        if (!balloons.empty()) {
            EXPECT_EQ(balloons[0], "Flowloom - Data cap reached | All 8 GB used.");
        }
        EXPECT_EQ(ownWay, c.ownWay);
        EXPECT_EQ(panel.text(), "All 8 GB used.");
        EXPECT_EQ(panel.toolTip(), "All 8 GB used.") << "the whole text where the panel is short";
    }

    // A notice without a way of its own is left to the panel alone.
    QLabel panel;
    DesktopNotices notices(panel, {[] { return false; }, [](const QString&, const QString&) {}},
                           nullptr, 50);
    notices.notify({QStringLiteral("Settings not saved"), QStringLiteral("Unable to write.")});
    EXPECT_EQ(panel.text(), "Unable to write.");
    // The panel empties itself after its few seconds.
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.text().isEmpty(); }, 10'000));
}

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Tests never need a real display; a developer may still override this.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // No test reaches the developer's desktop: notices fall back at once,
    // as on a machine without a notification service, and no logind is heard.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/flowloom-test-bus", 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/flowloom-test-bus", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

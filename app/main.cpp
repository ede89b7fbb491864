#include "app/Unit1.h"
#include "sampling/NetlinkSource.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Flowloom"));
    QApplication::setApplicationDisplayName(QStringLiteral("Flowloom"));

    flowloom::sampling::NetlinkSource interfaces;
    flowloom::sampling::SystemWallClock clock;
    flowloom::app::TForm1 form(
        {interfaces, clock, QApplication::applicationFilePath().toStdString()});
    form.show();
    return QApplication::exec();
}

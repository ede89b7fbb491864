// Writes a PNG of the Applications page under real traffic from two named
// programs (copies of the test peer under other names), for a developer to
// look at. Run it in a network namespace of its own on the offscreen
// platform; it is not part of the suite:
//   unshare -n sh -c 'ip link set lo up && QT_QPA_PLATFORM=offscreen \
//       shoot_applications OUT-FOLDER PATH-OF-appnet_peer'
#include "app/Unit1.h"
#include "app/apps/ApplicationsPage.h"
#include "sampling/NetlinkSource.h"
#include "support/ManualClock.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

using namespace flowloom;

namespace {

// A copy of the peer under a program name of its own, ready for commands.
std::unique_ptr<QProcess> startNamed(const QString& peer, const QString& folder,
                                     const QString& name, const char* family)
{
    const QString copy = folder + "/" + name;
    QFile::copy(peer, copy);
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    auto process = std::make_unique<QProcess>();
    process->start(copy, {QString::fromLatin1(family)});
    process->waitForStarted();
    return process;
}

void command(QProcess& process, const QByteArray& line)
{
    process.write(line + "\n");
    process.waitForBytesWritten();
    while (!process.canReadLine())
        process.waitForReadyRead(5000);
    process.readLine();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc < 3)
        return 2;
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString peer = QString::fromLocal8Bit(argv[2]);
    QTemporaryDir folder;
    auto backup = startNamed(peer, folder.path(), "backup-agent", "4");
    auto music = startNamed(peer, folder.path(), "music-stream", "6");

    sampling::NetlinkSource source;
    testsupport::ManualClock clock;
    app::TForm1 form({source, clock, (folder.path() + "/flowloom").toStdString()});
    form.show();
    form.btnStartClick();
    form.controls().PageControl1->setCurrentWidget(form.controls().Applications);
    form.controls().Applications->cbAppScope->setCurrentIndex(1); // loopback
    for (int tick = 0; tick < 8; ++tick) {
        command(*backup, "long " + QByteArray::number(2'000'000 + tick * 150'000));
        command(*music, "long " + QByteArray::number(600'000));
        command(*music, "udp 150000");
        QThread::msleep(200);
        clock.advance(1);
        form.Timer1Timer();
    }
    QApplication::processEvents();
    form.grab().save(out.filePath(QStringLiteral("applications.png")));
    backup->closeWriteChannel();
    music->closeWriteChannel();
    backup->waitForFinished(3000);
    music->waitForFinished(3000);
    return 0;
}

#pragma once

#include <QIconEngine>
#include <QPixmap>
#include <QString>
#include <vector>

namespace flowloom::app {

// One square picture of an icon, read from a file (or the resources).
struct IconFile
{
    int size = 0;
    QString path;
    QPixmap decoded; // kept once read, for the sizes that are kept
};

// Which of the files serves a request: the smallest at least as large as it
// (by area), else the largest; -1 when there are none.
int bestIconFile(const std::vector<IconFile>& files, QSize requested);

// An icon drawn from picture files of several sizes, each read when asked
// for. The sizes up to `keptUpTo` stay decoded once read (the notification
// area paints them again and again); the larger ones, wanted once for the
// window manager's icon, are handed over and dropped instead of staying in
// memory for the program's life.
class FileIconEngine final : public QIconEngine
{
public:
    FileIconEngine(std::vector<IconFile> files, int keptUpTo);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;

private:
    std::vector<IconFile> m_files;
    int m_keptUpTo;
};

} // namespace flowloom::app

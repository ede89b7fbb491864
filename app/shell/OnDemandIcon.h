#pragma once

#include <QIconEngine>
#include <QPixmap>
#include <QString>
#include <functional>
#include <vector>

namespace flowloom::app {

// One square picture of an icon, made (read from a file, or drawn) when a
// size it serves is asked for.
struct IconPicture
{
    int size = 0;
    std::function<QPixmap()> make;
    QPixmap kept; // once made, for the sizes that are kept
};

// A picture read from a file (or the resources).
IconPicture iconFile(int size, const QString& path);

// Which of the pictures serves a request: the smallest at least as large as
// it (by area), else the largest; -1 when there are none.
int bestIconPicture(const std::vector<IconPicture>& pictures, QSize requested);

// An icon of pictures in several sizes, each made when asked for and
// served as Qt's own icons serve theirs (shrunk to fit, never grown; the
// disabled and selected looks made by the style). The sizes up to
// `keptUpTo` stay once made (the notification area paints them again and
// again); the others are handed over and dropped instead of staying in
// memory for the program's life.
class OnDemandIconEngine final : public QIconEngine
{
public:
    OnDemandIconEngine(std::vector<IconPicture> pictures, int keptUpTo);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString key() const override;

private:
    std::vector<IconPicture> m_pictures;
    int m_keptUpTo;
};

} // namespace flowloom::app

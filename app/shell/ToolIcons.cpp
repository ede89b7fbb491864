#include "app/shell/ToolIcons.h"

#include "app/shell/OnDemandIcon.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace flowloom::app {

namespace {
constexpr int kSize = 44; // drawn at twice the shown size for crisp edges

void drawIcon(QPainter& p, ToolIcon icon)
{
    const QColor ink(40, 48, 60);
    const QColor green(30, 150, 60);
    const QColor red(190, 40, 40);
    const QColor blue(40, 100, 190);
    const QColor amber(235, 170, 30);
    p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    switch (icon) {
    case ToolIcon::Start: {
        QPainterPath play;
        play.moveTo(12, 7);
        play.lineTo(36, 22);
        play.lineTo(12, 37);
        play.closeSubpath();
        p.fillPath(play, green);
        break;
    }
    case ToolIcon::Stop:
        p.fillRect(QRectF(10, 10, 24, 24), red);
        break;
    case ToolIcon::Clear:
        p.setPen(QPen(red, 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(12, 12, 32, 32);
        p.drawLine(32, 12, 12, 32);
        break;
    case ToolIcon::Line: {
        QPainterPath area;
        area.moveTo(4, 38);
        area.lineTo(4, 26);
        area.lineTo(14, 16);
        area.lineTo(24, 24);
        area.lineTo(40, 8);
        area.lineTo(40, 38);
        area.closeSubpath();
        p.fillPath(area, QColor(60, 200, 80));
        p.drawLine(4, 38, 40, 38);
        break;
    }
    case ToolIcon::ThreeD: {
        p.setBrush(QColor(120, 170, 230));
        p.drawRect(8, 16, 20, 20);
        QPolygonF top({QPointF(8, 16), QPointF(16, 8), QPointF(36, 8), QPointF(28, 16)});
        QPolygonF side({QPointF(28, 16), QPointF(36, 8), QPointF(36, 28), QPointF(28, 36)});
        p.setBrush(QColor(170, 205, 245));
        p.drawPolygon(top);
        p.setBrush(QColor(80, 130, 200));
        p.drawPolygon(side);
        break;
    }
    case ToolIcon::Swap:
        p.setPen(QPen(blue, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(8, 14, 34, 14);
        p.drawPolyline(QPolygonF({QPointF(28, 8), QPointF(35, 14), QPointF(28, 20)}));
        p.setPen(QPen(amber, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(36, 30, 10, 30);
        p.drawPolyline(QPolygonF({QPointF(16, 24), QPointF(9, 30), QPointF(16, 36)}));
        break;
    case ToolIcon::Stay:
        p.setBrush(QColor(250, 250, 250));
        p.drawRect(12, 14, 26, 22);
        p.setBrush(QColor(120, 170, 230));
        p.drawRect(6, 6, 26, 22);
        break;
    case ToolIcon::Save: {
        p.setBrush(QColor(230, 230, 235));
        p.drawRoundedRect(6, 10, 32, 26, 4, 4);
        p.setBrush(blue);
        p.drawEllipse(QPointF(22, 23), 8, 8);
        p.fillRect(QRectF(13, 6, 10, 5), ink);
        break;
    }
    case ToolIcon::Copy:
        p.setBrush(QColor(250, 250, 250));
        p.drawRect(6, 6, 20, 24);
        p.drawRect(16, 14, 20, 24);
        break;
    case ToolIcon::Print:
        p.setBrush(QColor(250, 250, 250));
        p.drawRect(12, 6, 20, 12);
        p.setBrush(QColor(150, 155, 165));
        p.drawRoundedRect(5, 17, 34, 14, 3, 3);
        p.setBrush(QColor(250, 250, 250));
        p.drawRect(12, 26, 20, 12);
        break;
    case ToolIcon::Help: {
        p.setBrush(blue);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(22, 22), 17, 17);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(26);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    }
}
} // namespace

QIcon toolIcon(ToolIcon icon)
{
    // Drawn each time a button paints it and not kept: eleven pictures and
    // their shrunk copies stay out of memory for a few microseconds a paint.
    auto draw = [icon] {
        QPixmap pixmap(kSize, kSize);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        drawIcon(painter, icon);
        return pixmap;
    };
    return QIcon(new OnDemandIconEngine({{kSize, draw, {}}}, 0));
}

namespace {
// Made once for the whole program: the application, the window and the
// notification area share it. It goes with the application object, before
// the pixel store is torn down.
QIcon* g_applicationIcon = nullptr;

void dropApplicationIcon()
{
    delete g_applicationIcon;
    g_applicationIcon = nullptr;
}

// The sizes a notification area paints stay decoded; 128 and 256 pixels
// (64 KB and 256 KB of pixels) are read when the window manager asks.
constexpr int kKeptIconSize = 64;
} // namespace

QIcon applicationIcon()
{
    if (g_applicationIcon == nullptr) {
        std::vector<IconPicture> files;
        for (const int size : {16, 32, 48, 64, 128, 256})
            files.push_back(iconFile(size, QStringLiteral(":/icons/flowloom-%1.png").arg(size)));
        g_applicationIcon = new QIcon(new OnDemandIconEngine(std::move(files), kKeptIconSize));
        qAddPostRoutine(dropApplicationIcon);
    }
    return *g_applicationIcon;
}

} // namespace flowloom::app

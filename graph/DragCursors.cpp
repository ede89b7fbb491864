#include "graph/DragCursors.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace flowloom::graph {

namespace {
constexpr int kSize = 32;

// A closed hand (the grab) with arrow heads in the allowed directions.
QCursor drawCursor(bool horizontal, bool vertical)
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath hand;
    hand.addRoundedRect(QRectF(10, 11, 12, 11), 4, 4);
    for (int finger = 0; finger < 4; ++finger)
        hand.addRoundedRect(QRectF(10.5 + finger * 2.8, 8.5, 2.8, 5), 1.4, 1.4);
    hand.addRoundedRect(QRectF(7.5, 13, 4, 6), 2, 2); // thumb
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawPath(hand.simplified());
    auto arrow = [&](QPointF tip, QPointF back, QPointF side) {
        QPainterPath head;
        head.moveTo(tip);
        head.lineTo(back + side);
        head.lineTo(back - side);
        head.closeSubpath();
        p.fillPath(head, Qt::black);
    };
    if (vertical) {
        arrow({16, 1}, {16, 6}, {3, 0});
        arrow({16, 31}, {16, 26}, {3, 0});
    }
    if (horizontal) {
        arrow({1, 16}, {6, 16}, {0, 3});
        arrow({31, 16}, {26, 16}, {0, 3});
    }
    p.end();
    return QCursor(pixmap, kSize / 2, kSize / 2);
}
} // namespace

const QCursor& DragCursors::cursor(DragCursor which)
{
    auto drawn = [](std::optional<QCursor>& cursor, bool horizontal,
                    bool vertical) -> const QCursor& {
        if (!cursor)
            cursor = drawCursor(horizontal, vertical);
        return *cursor;
    };
    switch (which) {
    case DragCursor::FourWay:
        return drawn(m_fourWay, true, true);
    case DragCursor::Horizontal:
        return drawn(m_horizontal, true, false);
    case DragCursor::Vertical:
        break;
    }
    return drawn(m_vertical, false, true);
}

} // namespace flowloom::graph

#include "graph/DragCursors.h"

#include <QBitmap>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

using flowloom::graph::DragCursor;
using flowloom::graph::DragCursors;

namespace {
// Inside the left arrow head (tip 1,16; base at x 6) and the top one (tip
// 16,1; base at y 6), both outside the hand.
bool inked(const QImage& image, int x, int y)
{
    return qAlpha(image.pixel(x, y)) > 128;
}
} // namespace

TEST(DragCursors, EachCursorIsDrawnOnFirstUseWithItsOwnArrowsAndKept)
{
    struct Case
    {
        DragCursor which;
        bool sideways; // arrows left and right
        bool upDown;   // arrows up and down
    };
    const Case cases[] = {
        {DragCursor::FourWay, true, true},
        {DragCursor::Horizontal, true, false},
        {DragCursor::Vertical, false, true},
    };
    DragCursors cursors;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.which));
        const QCursor& first = cursors.cursor(c.which);
        EXPECT_EQ(first.shape(), Qt::BitmapCursor);
        EXPECT_EQ(first.hotSpot(), QPoint(16, 16));
        const QImage image = first.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(32, 32));
        EXPECT_EQ(inked(image, 3, 16), c.sideways);
        EXPECT_EQ(inked(image, 28, 16), c.sideways);
        EXPECT_EQ(inked(image, 16, 3), c.upDown);
        EXPECT_EQ(inked(image, 16, 28), c.upDown);
        EXPECT_EQ(&cursors.cursor(c.which), &first); // drawn once
    }
}

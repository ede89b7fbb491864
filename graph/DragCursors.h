#pragma once

#include "graph/GraphInteraction.h"

#include <QCursor>

namespace flowloom::graph {

// The three hand cursors used while the graph is dragged ("draghandALL",
// "draghandEW", "draghandNS"), drawn by the program at start-up.
class DragCursors
{
public:
    DragCursors();
    const QCursor& cursor(DragCursor which) const;

private:
    QCursor m_fourWay;
    QCursor m_horizontal;
    QCursor m_vertical;
};

} // namespace flowloom::graph

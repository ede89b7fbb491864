#pragma once

#include "graph/GraphInteraction.h"

#include <QCursor>
#include <optional>

namespace flowloom::graph {

// The three hand cursors used while the graph is dragged ("draghandALL",
// "draghandEW", "draghandNS"), each drawn by the program the first time a
// drag asks for it: most runs never drag, and three drawn cursors hold some
// 100 KB.
class DragCursors
{
public:
    const QCursor& cursor(DragCursor which);

private:
    std::optional<QCursor> m_fourWay;
    std::optional<QCursor> m_horizontal;
    std::optional<QCursor> m_vertical;
};

} // namespace flowloom::graph

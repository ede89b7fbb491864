#include "chart/PanController.h"

namespace flowloom::chart {

bool PanController::press(QPointF pos, Qt::MouseButton button, const QRectF& plotArea)
{
    if (button != m_button || !plotArea.contains(pos))
        return false;
    m_dragging = true;
    m_last = pos;
    return true;
}

std::optional<PanController::Step> PanController::move(QPointF pos, const QRectF& plotArea)
{
    if (!m_dragging)
        return std::nullopt;
    if (!plotArea.contains(pos)) {
        m_dragging = false;
        return std::nullopt;
    }
    Step step;
    if (m_directions == PanDirections::Both)
        step.dx = pos.x() - m_last.x();
    step.dy = pos.y() - m_last.y();
    m_last = pos;
    if (step.dx == 0.0 && step.dy == 0.0)
        return std::nullopt;
    return step;
}

} // namespace flowloom::chart

#pragma once

#include <QPointF>
#include <QRectF>
#include <Qt>

#include <optional>

namespace flowloom::chart {

enum class PanDirections { Vertical, Both };

// The mouse-drag state of panning, free of any drawing: a press of the panning
// button inside the plot area starts a drag; every move then yields the pixel
// distance to pan by, in the allowed directions only; the drag ends when the
// button is released or the pointer leaves the plot area. There is no zoom.
class PanController
{
public:
    struct Step
    {
        double dx = 0.0; // pixels the content follows the pointer horizontally
        double dy = 0.0; // and vertically (screen direction: down is positive)
    };

    PanDirections directions() const { return m_directions; }
    void setDirections(PanDirections directions) { m_directions = directions; }
    Qt::MouseButton button() const { return m_button; }
    void setButton(Qt::MouseButton button) { m_button = button; }

    // Returns whether a drag started.
    bool press(QPointF pos, Qt::MouseButton button, const QRectF& plotArea);
    // The step since the last position, or nothing when no drag is running,
    // the pointer left the plot area (which ends the drag) or nothing moved
    // in an allowed direction.
    std::optional<Step> move(QPointF pos, const QRectF& plotArea);
    void release() { m_dragging = false; }
    bool dragging() const { return m_dragging; }

private:
    PanDirections m_directions = PanDirections::Both;
    Qt::MouseButton m_button = Qt::LeftButton;
    bool m_dragging = false;
    QPointF m_last;
};

} // namespace flowloom::chart

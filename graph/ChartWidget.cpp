#include "graph/ChartWidget.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

namespace flowloom::graph {

ChartWidget::ChartWidget(QWidget* parent) : QWidget(parent)
{
    // The chart paints every pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_chart.setScrollHandler([this] {
        emit scrolled();
        update();
    });
    m_chart.setMouseDownHandler(
        [this](Qt::MouseButton button, bool shift) { emit mousePressed(button, shift); });
    m_chart.setMouseUpHandler(
        [this](Qt::MouseButton button, bool shift) { emit mouseReleased(button, shift); });
}

QImage ChartWidget::renderToImage(QSize size) const
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    // The chart paints its whole panel first; only a see-through panel colour
    // would leave the new image's bytes showing.
    if (m_chart.panelColour().alpha() != 255)
        image.fill(m_chart.backgroundColour());
    QPainter painter(&image);
    m_chart.draw(painter, QRect(QPoint(0, 0), size));
    return image;
}

void ChartWidget::showTick()
{
    // Only a drawing that is on screen can be scrolled there; a tick that
    // comes before the last one was painted is painted with it.
    if (!isVisible() || !updatesEnabled() || !m_canvas.valid() || m_drawnSize != size() ||
        !m_drawnUnscaled || !m_drawnAhead.isEmpty()) {
        update();
        return;
    }
    using Canvas = chart::ScrollingCanvas;
    m_canvas.plan(m_chart, size(), Canvas::Since::Tick, this);
    m_geometry = m_canvas.layout();
    // The bevel is painted over the drawing and never moves.
    const QRect inside = rect().adjusted(kBevelWidth, kBevelWidth, -kBevelWidth, -kBevelWidth);
    const QRect moved = m_canvas.scrolledArea() & inside;
    // Qt moves what is on screen and repaints the columns that came free.
    if (m_canvas.scrolledBy() > 0 && !moved.isEmpty())
        scroll(-m_canvas.scrolledBy(), 0, moved);
    const QRegion drawn = m_canvas.drawn() & inside;
    m_drawnAhead = QRegion(moved) + drawn;
    // Painted and sent now, within the tick: a posted repaint would take the
    // event loop round once more, a second wake-up every tick.
    repaint(drawn);
}

void ChartWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    // What a tick planned is painted as planned; anything else asks the
    // screen's scale (which a tick does not: the window repaints whole when
    // it changes).
    const bool drawnAhead = m_drawnUnscaled && !m_drawnAhead.isEmpty() && m_drawnSize == size() &&
                            event->region().subtracted(m_drawnAhead).isEmpty();
    m_drawnAhead = QRegion();
    if (!drawnAhead)
        m_drawnUnscaled = devicePixelRatioF() == 1.0;
    if (!m_drawnUnscaled) {
        // A scaled screen draws at its own resolution.
        m_geometry = m_chart.draw(painter, rect());
        m_canvas.invalidate();
    } else {
        // The window's backing store keeps the last drawing: a tick's plan
        // paints only what the scroll could not carry, anything else draws
        // the whole chart (clipped to what needs painting).
        if (!drawnAhead) {
            m_canvas.invalidate();
            m_canvas.plan(m_chart, size(), chart::ScrollingCanvas::Since::Anything, this);
            m_geometry = m_canvas.layout();
            m_drawnSize = size();
        }
        // A see-through panel colour paints over the panel's own colour, as
        // in an image filled with it first.
        if (m_canvas.plannedWhole() && m_chart.panelColour().alpha() != 255)
            painter.fillRect(rect(), QColor(m_chart.backgroundColour().rgb()));
        m_canvas.paint(m_chart, painter);
    }
    // The graph's sunken bevel, on screen only: images hold the chart alone.
    const QRect inside = rect().adjusted(kBevelWidth, kBevelWidth, -kBevelWidth, -kBevelWidth);
    if (!event->region().subtracted(inside).isEmpty())
        qDrawShadePanel(&painter, rect(), palette(), true, kBevelWidth);
}

void ChartWidget::showEvent(QShowEvent* event)
{
    // Minimising a window hides none of its widgets; the window says so.
    window()->installEventFilter(this);
    QWidget::showEvent(event);
}

bool ChartWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window() && event->type() == QEvent::WindowStateChange &&
        window()->isMinimized()) {
        m_canvas.invalidate();
        m_drawnAhead = QRegion();
    }
    return QWidget::eventFilter(watched, event);
}

void ChartWidget::hideEvent(QHideEvent* event)
{
    // Shown again, the screen is painted whole before anything scrolls.
    m_canvas.invalidate();
    m_drawnAhead = QRegion();
    QWidget::hideEvent(event);
}

void ChartWidget::resizeEvent(QResizeEvent* event)
{
    m_drawnAhead = QRegion();
    QWidget::resizeEvent(event);
}

void ChartWidget::mousePressEvent(QMouseEvent* event)
{
    if (m_geometry.bounds() != QRectF(rect()))
        m_geometry = m_chart.layout(rect(), this);
    m_chart.mousePress(m_geometry, event->position(), event->button(),
                       event->modifiers().testFlag(Qt::ShiftModifier));
}

void ChartWidget::mouseMoveEvent(QMouseEvent* event)
{
    m_chart.mouseMove(m_geometry, event->position());
}

void ChartWidget::mouseReleaseEvent(QMouseEvent* event)
{
    m_chart.mouseRelease(event->button(), event->modifiers().testFlag(Qt::ShiftModifier));
}

} // namespace flowloom::graph

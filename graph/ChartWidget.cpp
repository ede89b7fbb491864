#include "graph/ChartWidget.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

namespace flowloom::graph {

namespace {

// Qt hands a large image blend, or one of many rows, to its pool of paint
// threads, which then wake on every tick; bands this small and this low are
// blended by the calling thread alone.
constexpr int bandPixels = 32768;
constexpr int bandRows = 64;

void drawInBands(QPainter& painter, const QImage& image, const QRegion& region)
{
    for (const QRect& area : region& image.rect()) {
        const int rows = std::clamp(bandPixels / std::max(1, area.width()), 1, bandRows);
        for (int top = area.top(); top <= area.bottom(); top += rows) {
            const QRect band(area.left(), top, area.width(),
                             std::min(rows, area.bottom() + 1 - top));
            painter.drawImage(band.topLeft(), image, band);
        }
    }
}

} // namespace

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
    if (!isVisible() || !updatesEnabled() || !keepsDrawing() || m_canvas.image().size() != size() ||
        devicePixelRatioF() != 1.0 || !m_drawnAhead.isEmpty()) {
        update();
        return;
    }
    using Canvas = chart::ScrollingCanvas;
    m_canvas.render(m_chart, size(), Canvas::Since::Tick);
    m_geometry = m_canvas.layout();
    // The bevel is painted over the drawing and never moves.
    const QRect inside = rect().adjusted(kBevelWidth, kBevelWidth, -kBevelWidth, -kBevelWidth);
    const QRect moved = m_canvas.scrolledArea() & inside;
    // Qt moves what is on screen and repaints the columns that came free.
    if (m_canvas.scrolledBy() > 0 && !moved.isEmpty())
        scroll(-m_canvas.scrolledBy(), 0, moved);
    const QRegion drawn = m_canvas.drawn() & inside;
    m_drawnAhead = QRegion(moved) + drawn;
    update(drawn);
}

void ChartWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (devicePixelRatioF() != 1.0) {
        // A scaled screen draws at its own resolution, never from an image.
        m_geometry = m_chart.draw(painter, rect());
    } else {
        const bool drawnAhead = !m_drawnAhead.isEmpty() && m_canvas.image().size() == size() &&
                                event->region().subtracted(m_drawnAhead).isEmpty();
        m_drawnAhead = QRegion();
        if (!drawnAhead) {
            // The kept image measures text as the screen does.
            constexpr double inchesPerMeter = 1.0 / 0.0254;
            m_canvas.setResolution(static_cast<int>(std::lround(logicalDpiX() * inchesPerMeter)),
                                   static_cast<int>(std::lround(logicalDpiY() * inchesPerMeter)));
            m_canvas.render(m_chart, size());
            m_geometry = m_canvas.layout();
        }
        drawInBands(painter, m_canvas.image(), event->region());
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
        m_canvas.release();
        m_drawnAhead = QRegion();
    }
    return QWidget::eventFilter(watched, event);
}

void ChartWidget::hideEvent(QHideEvent* event)
{
    // Hidden or minimised, the kept drawing is only memory.
    m_canvas.release();
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

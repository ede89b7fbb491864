#include "graph/ChartWidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>

namespace flowloom::graph {

namespace {

// Qt hands a large image blend to its pool of paint threads, which then wake
// on every tick; bands this small are blended by the calling thread alone.
constexpr int bandPixels = 32768;

void drawInBands(QPainter& painter, const QImage& image)
{
    const int rows = std::max(1, bandPixels / std::max(1, image.width()));
    for (int top = 0; top < image.height(); top += rows) {
        const QRect band(0, top, image.width(), std::min(rows, image.height() - top));
        painter.drawImage(band.topLeft(), image, band);
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

void ChartWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (devicePixelRatioF() != 1.0) {
        // A scaled screen draws at its own resolution, never from an image.
        m_geometry = m_chart.draw(painter, rect());
    } else {
        // The kept image measures text as the screen does.
        constexpr double inchesPerMeter = 1.0 / 0.0254;
        m_canvas.setResolution(static_cast<int>(std::lround(logicalDpiX() * inchesPerMeter)),
                               static_cast<int>(std::lround(logicalDpiY() * inchesPerMeter)));
        m_canvas.render(m_chart, size());
        m_geometry = m_canvas.layout();
        drawInBands(painter, m_canvas.image());
    }
    // The graph's sunken bevel, on screen only: images hold the chart alone.
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
        window()->isMinimized())
        m_canvas.release();
    return QWidget::eventFilter(watched, event);
}

void ChartWidget::hideEvent(QHideEvent* event)
{
    // Hidden or minimised, the kept drawing is only memory.
    m_canvas.release();
    QWidget::hideEvent(event);
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

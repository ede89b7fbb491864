#pragma once

#include "chart/Chart.h"
#include "chart/ChartLayout.h"
#include "chart/ScrollingCanvas.h"

#include <QImage>
#include <QRegion>
#include <QSize>
#include <QWidget>

namespace flowloom::graph {

// The graph on screen (objectName "Chart1", given by the window). It owns the
// chart engine, paints it, turns mouse input into panning and reports it as
// signals. A change only schedules a repaint (update()), so many changes in
// one event-loop pass cost one drawing. The window's backing store keeps the
// drawing between repaints: a tick that only appended points and moved the
// window on scrolls it there and paints only the new strip and the time
// labels (showTick(), planned by chart::ScrollingCanvas, which keeps no
// pixels of its own here).
class ChartWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ChartWidget(QWidget* parent = nullptr);

    chart::Chart& chart() { return m_chart; }
    const chart::Chart& chart() const { return m_chart; }

    // The whole chart drawn into a new image of exactly size pixels, filled
    // with the chart's background colour first. The image is drawn directly
    // (no intermediate buffer) and leaves the widget untouched.
    QImage renderToImage(QSize size) const;

    // After a tick, which only appends points and moves the horizontal window
    // on: what is on screen scrolls along and only what it cannot carry is
    // painted. Any other change of the chart asks for update().
    void showTick();

    // Whether the next tick may scroll what the screen shows: it holds the
    // last drawing (not while the graph is hidden or its window minimised).
    bool scrollsNextTick() const { return m_canvas.valid() && m_drawnSize == size(); }

signals:
    // After each panning step that moved an axis; the axes have already moved.
    void scrolled();
    void mousePressed(Qt::MouseButton button, bool shift);
    void mouseReleased(Qt::MouseButton button, bool shift);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    static constexpr int kBevelWidth = 2;
    chart::Chart m_chart;
    // Geometry of the last screen drawing, so that a drag maps the pixels the
    // user actually sees.
    chart::ChartLayout m_geometry;
    // Plans each tick's drawing; the window's backing store holds the pixels.
    chart::ScrollingCanvas m_canvas;
    QSize m_drawnSize;
    // Whether the last drawing was at the screen's own scale of 1, which a
    // tick needs in order to scroll it.
    bool m_drawnUnscaled = false;
    // What showTick() scheduled from a drawing already made: a repaint within
    // it only copies that drawing, anything more draws anew.
    QRegion m_drawnAhead;
};

} // namespace flowloom::graph

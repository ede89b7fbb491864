#pragma once

#include "chart/Axis.h"
#include "chart/ChartLayout.h"
#include "chart/ColumnHandle.h"
#include "chart/PanController.h"
#include "chart/Series.h"

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRect>
#include <QString>
#include <Qt>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

class QPainter;

namespace flowloom::chart {

enum class AxisId { Bottom, Left };

// Margins around the graph in percent of its width (left, right) and height
// (top, bottom).
struct Margins
{
    double left = 1.0;
    double right = 1.0;
    double top = 4.0;
    double bottom = 4.0;
};

// The chart engine: series, two axes, title, colours and the three-dimensional
// view, drawn with QPainter into any paint device through one path, so that
// the screen, an off-screen image and a printer page look alike.
//
// A new chart has the look the program starts with: black panel and plot
// area, white "Arial" title and axis texts, grey dotted grid, horizontal time
// labels, ranges -10..250 (bottom) and -100..30000 (left), flat view.
class Chart
{
public:
    Chart();
    Chart(const Chart&) = delete;
    Chart& operator=(const Chart&) = delete;
    ~Chart();

    // --- series -----------------------------------------------------------
    // Adds a series at the end of the drawing order. A series that the program
    // will feed the same values as another may name it in sameValuesAs: the two
    // then read one stored copy for as long as their values agree (see
    // ColumnHandle); the hint never changes what either series holds.
    Series& addSeries(SeriesKind kind, std::string name, const Series* sameValuesAs = nullptr);
    std::size_t seriesCount() const { return m_series.size(); }
    Series& series(std::size_t index) { return *m_series.at(index); }
    const Series& series(std::size_t index) const { return *m_series.at(index); }
    Series* findSeries(std::string_view name);

    // Indices of the series in the order they are drawn (later ones cover
    // earlier ones; in the three-dimensional view later ones stand in front).
    const std::vector<std::size_t>& drawingOrder() const { return m_order; }
    // Exchanges the drawing positions of two series.
    void swapDrawingOrder(std::size_t seriesA, std::size_t seriesB);

    // --- axes -------------------------------------------------------------
    Axis& bottomAxis() { return m_bottom; }
    const Axis& bottomAxis() const { return m_bottom; }
    Axis& leftAxis() { return m_left; }
    const Axis& leftAxis() const { return m_left; }
    Axis& axis(AxisId id) { return id == AxisId::Bottom ? m_bottom : m_left; }

    // Moves both limits of an axis by delta, but only towards data: a positive
    // shift only when the data reach beyond the axis maximum, a negative one
    // only when they begin before its minimum; zero does nothing. Returns
    // whether the axis moved.
    //
    // The data extent is taken over ALL points of all series, shown or hidden,
    // not over a first page of them, so the window can always catch up with
    // the newest point however long the history is.
    bool shiftAxis(AxisId id, double delta);

    // --- appearance ---------------------------------------------------------
    const QString& title() const { return m_title; }
    void setTitle(const QString& title) { m_title = title; }
    const QFont& titleFont() const { return m_titleFont; }
    void setTitleFont(const QFont& font) { m_titleFont = font; }
    QColor titleColour() const { return m_titleColour; }
    void setTitleColour(const QColor& colour) { m_titleColour = colour; }

    // The panel around the plot area; also the chart's background colour.
    QColor panelColour() const { return m_panelColour; }
    void setPanelColour(const QColor& colour) { m_panelColour = colour; }
    QColor backgroundColour() const { return m_panelColour; }
    // The plot area (back wall).
    QColor plotColour() const { return m_plotColour; }
    void setPlotColour(const QColor& colour) { m_plotColour = colour; }
    QColor bottomWallColour() const { return m_bottomWallColour; }
    void setBottomWallColour(const QColor& colour) { m_bottomWallColour = colour; }
    QColor leftWallColour() const { return m_leftWallColour; }
    void setLeftWallColour(const QColor& colour) { m_leftWallColour = colour; }

    const Margins& margins() const { return m_margins; }
    void setMargins(const Margins& margins) { m_margins = margins; }

    bool threeD() const { return m_threeD; }
    void setThreeD(bool on) { m_threeD = on; }
    // Depth of the three-dimensional view in percent of the plot height; the
    // projection is parallel (no perspective).
    double depthPercent() const { return m_depthPercent; }
    void setDepthPercent(double percent) { m_depthPercent = percent; }

    // The text under a labelled point of the horizontal axis; unset, the
    // point's time label. Bar charts of days or months name their points.
    void setLabelText(std::function<QString(std::size_t index)> text)
    {
        m_labelText = std::move(text);
    }
    QString labelText(const Series& source, std::size_t index) const;

    // --- drawing ----------------------------------------------------------
    // Draws the whole chart into rect of the painter's device and returns the
    // geometry it used (for mouse input and for tests). The painter's state is
    // restored afterwards.
    ChartLayout draw(QPainter& painter, const QRect& rect) const;
    // The geometry a draw into rect of device would use, without drawing.
    ChartLayout layout(const QRect& rect, const QPaintDevice* device) const;

    // The series whose labels the horizontal axis shows: the first shown
    // series holding points, else the longest series; null when all are empty.
    const Series* labelSeries() const;

    // --- panning and mouse notifications ------------------------------------
    PanDirections panDirections() const { return m_pan.directions(); }
    void setPanDirections(PanDirections directions) { m_pan.setDirections(directions); }
    void setScrollHandler(std::function<void()> handler) { m_onScroll = std::move(handler); }
    void setMouseDownHandler(std::function<void(Qt::MouseButton, bool shift)> handler)
    {
        m_onMouseDown = std::move(handler);
    }
    void setMouseUpHandler(std::function<void(Qt::MouseButton, bool shift)> handler)
    {
        m_onMouseUp = std::move(handler);
    }
    // Mouse input in the coordinates of the drawing that returned geometry.
    void mousePress(const ChartLayout& geometry, QPointF pos, Qt::MouseButton button, bool shift);
    // Returns whether an axis moved (the scroll handler has then run).
    bool mouseMove(const ChartLayout& geometry, QPointF pos);
    void mouseRelease(Qt::MouseButton button, bool shift);
    bool panning() const { return m_pan.dragging(); }

    // --- memory -------------------------------------------------------------
    // Heap bytes held by the points of all series, each shared column counted once.
    std::size_t storageBytes() const;

private:
    std::vector<std::unique_ptr<Series>> m_series;
    std::vector<std::size_t> m_order;
    ColumnHandle<std::uint32_t> m_labelRoot; // every series' labels start on this column
    Axis m_bottom;
    Axis m_left;
    QString m_title;
    QFont m_titleFont;
    QColor m_titleColour{Qt::white};
    QColor m_panelColour{Qt::black};
    QColor m_plotColour{Qt::black};
    QColor m_bottomWallColour{218, 218, 218};
    QColor m_leftWallColour{192, 192, 192};
    Margins m_margins;
    bool m_threeD = false;
    double m_depthPercent = 10.0;
    PanController m_pan;
    std::function<QString(std::size_t)> m_labelText;
    std::function<void()> m_onScroll;
    std::function<void(Qt::MouseButton, bool)> m_onMouseDown;
    std::function<void(Qt::MouseButton, bool)> m_onMouseUp;
};

} // namespace flowloom::chart

#pragma once

#include "chart/ChartLayout.h"

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QString>

#include <cstddef>
#include <vector>

class QPainter;

namespace flowloom::chart {

class Chart;
class Series;

// Draws one chart into one painter along a computed layout, back to front:
// panel, title, walls, grid, series, axis line, labels, axis titles. Only the
// points inside the horizontal window are read.
// The layout was measured on the painter's device (or one of its resolution).
class ChartPainter
{
public:
    ChartPainter(const Chart& chart, const ChartLayout& layout, QPainter& painter);

    void paint();
    // The parts of paint() outside the plot area: panel, title, axis line,
    // labels, gap markers and axis titles. The caller clips to what it wants.
    void paintSurroundings();
    // The parts of paint() inside the plot area (flat view only), reading only
    // the points that can reach columns from fromX on. The caller clips to
    // those columns; what it shows is what paint() shows there.
    void paintPlotFrom(double fromX);

    // Points between two of the vertical grid lines, which stand on the
    // multiples of it.
    static std::size_t bottomGridStep(const ChartLayout& layout);

private:
    void paintPanel();
    void paintTitle();
    void paintWalls();
    void paintGrid();
    void paintAllSeries();
    // zFront, zBack: the slot of the series in the depth (0 in the flat view).
    void paintSeries(const Series& series, double zFront, double zBack);
    void paintBars(const Series& series, std::size_t slot, std::size_t barCount);
    void paintPiece(const Series& series, QColor colour, double zFront, double zBack, double baseY);
    // Fills polygon (front-plane coordinates) moved z pixels into the depth.
    void fillShifted(std::vector<QPointF>& polygon, QColor colour, double z);
    void paintDividers(QColor colour, double zFront, double zBack);
    void paintAxisLine();
    void paintBottomLabels();
    void paintGapMarkers();
    void paintLeftLabels();
    void paintAxisTitles();

    QString fitted(const QString& text, const QFont& font, double width) const;
    // Whether nothing drawn in area (a text's box) can pass the painter's clip.
    bool clippedAway(const QRectF& area) const;
    // Pixel position of point index of a series, kept inside what a painter
    // can rasterise even for far-away values.
    QPointF mapPoint(const Series& series, std::size_t index, bool snap) const;

    const Chart& m_chart;
    const ChartLayout& m_layout;
    QPainter& m_painter;
    std::vector<QPointF> m_points;  // mapped points of the current piece
    std::vector<QPointF> m_outline; // line or area outline built from them
    std::vector<QPointF> m_upper;   // edges of the sweep into the depth
    std::vector<QPointF> m_lower;
    std::vector<QPointF> m_scratch;
    double m_seriesFromX; // columns left of it need no points
};

} // namespace flowloom::chart

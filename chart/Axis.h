#pragma once

#include <QColor>
#include <QFont>
#include <QString>

namespace flowloom::chart {

enum class LabelAngle { Horizontal, Vertical }; // 0 or 90 degrees

// One axis of the chart. Its range is whatever the program sets: the chart
// never scales an axis from the data.
class Axis
{
public:
    Axis(double minimum, double maximum);

    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }
    // Both throw AxisError, leaving the axis unchanged, for a limit that would
    // cross the other one or that is not finite.
    void setMinimum(double value);
    void setMaximum(double value);
    // Sets both limits at once, in whichever order is valid; throws AxisError
    // only when minimum > maximum or a limit is not finite.
    void setRange(double minimum, double maximum);
    // Moves both limits by the same amount (panning, scrolling).
    void move(double delta);

    const QString& title() const { return m_title; }
    void setTitle(const QString& title) { m_title = title; }
    QColor titleColour() const { return m_titleColour; }
    void setTitleColour(const QColor& colour) { m_titleColour = colour; }
    QColor labelColour() const { return m_labelColour; }
    void setLabelColour(const QColor& colour) { m_labelColour = colour; }
    const QFont& labelFont() const { return m_labelFont; }
    void setLabelFont(const QFont& font) { m_labelFont = font; }
    const QFont& titleFont() const { return m_titleFont; }
    void setTitleFont(const QFont& font) { m_titleFont = font; }
    bool labelsVisible() const { return m_labelsVisible; }
    void setLabelsVisible(bool visible) { m_labelsVisible = visible; }
    LabelAngle labelAngle() const { return m_labelAngle; }
    void setLabelAngle(LabelAngle angle) { m_labelAngle = angle; }
    // Smallest gap between two labels, in percent of a label's size along the axis.
    double minLabelSeparation() const { return m_minLabelSeparation; }
    void setMinLabelSeparation(double percent) { m_minLabelSeparation = percent; }

    bool gridVisible() const { return m_gridVisible; }
    void setGridVisible(bool visible) { m_gridVisible = visible; }
    QColor gridColour() const { return m_gridColour; }
    void setGridColour(const QColor& colour) { m_gridColour = colour; }
    bool gridDotted() const { return m_gridDotted; }
    void setGridDotted(bool dotted) { m_gridDotted = dotted; }

    bool lineVisible() const { return m_lineVisible; }
    void setLineVisible(bool visible) { m_lineVisible = visible; }
    QColor lineColour() const { return m_lineColour; }
    void setLineColour(const QColor& colour) { m_lineColour = colour; }

    // Where the axis starts and ends, in percent of the plot area's length
    // (0 at the left or bottom edge).
    double startPosition() const { return m_startPosition; }
    double endPosition() const { return m_endPosition; }
    void setPositions(double startPercent, double endPercent);

private:
    double m_minimum;
    double m_maximum;
    QString m_title;
    QColor m_titleColour{Qt::white};
    QColor m_labelColour{Qt::white};
    QFont m_labelFont;
    QFont m_titleFont;
    bool m_labelsVisible = true;
    LabelAngle m_labelAngle = LabelAngle::Horizontal;
    double m_minLabelSeparation = 20.0;
    bool m_gridVisible = true;
    QColor m_gridColour{Qt::gray};
    bool m_gridDotted = true;
    bool m_lineVisible = true;
    QColor m_lineColour{Qt::gray};
    double m_startPosition = 0.0;
    double m_endPosition = 100.0;
};

} // namespace flowloom::chart

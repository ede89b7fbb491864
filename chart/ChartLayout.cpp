#include "chart/ChartLayout.h"

#include "chart/Chart.h"
#include "chart/LabelLayout.h"

#include <QFontMetricsF>
#include <QPaintDevice>

#include <algorithm>
#include <cmath>

namespace flowloom::chart {

namespace {

// The widest time label; the digits of the chart's fonts share one width.
const QString widestTimeLabel = QStringLiteral("  00:00:00  ");

// Vertical-axis labels keep about two text lines between them.
constexpr double valueLabelSpacing = 2.2;

QFontMetricsF metricsFor(const QFont& font, const QPaintDevice* device)
{
    return device != nullptr ? QFontMetricsF(font, device) : QFontMetricsF(font);
}

} // namespace

ChartLayout::ChartLayout(const Chart& chart, const QRectF& bounds, const QPaintDevice* device)
    : m_bounds(bounds)
{
    const Axis& bottom = chart.bottomAxis();
    const Axis& left = chart.leftAxis();
    const Margins& margins = chart.margins();
    const double w = bounds.width();
    const double h = bounds.height();

    const QFontMetricsF labelMetrics = metricsFor(bottom.labelFont(), device);
    const QFontMetricsF valueMetrics = metricsFor(left.labelFont(), device);
    m_labelHeight = labelMetrics.height();
    m_timeLabelWidth = labelMetrics.horizontalAdvance(widestTimeLabel);

    const double innerLeft = bounds.left() + std::round(w * margins.left / 100.0);
    const double innerRight = bounds.right() + 1.0 - std::round(w * margins.right / 100.0);
    const double topMargin = std::round(h * margins.top / 100.0);
    const double innerBottom = bounds.bottom() + 1.0 - std::round(h * margins.bottom / 100.0);

    // Title first, then the top margin below it.
    double top = bounds.top();
    if (!chart.title().isEmpty()) {
        const double titleHeight = std::ceil(metricsFor(chart.titleFont(), device).height());
        m_titleRect = QRectF(innerLeft, top + std::round(topMargin / 3.0), innerRight - innerLeft,
                             titleHeight);
        top = m_titleRect.bottom();
    }
    top += topMargin;

    // Horizontal axis: labels and title below the plot.
    double bottomSpace = 0.0;
    if (bottom.labelsVisible()) {
        const double across =
            bottom.labelAngle() == LabelAngle::Horizontal ? m_labelHeight : m_timeLabelWidth;
        bottomSpace += std::ceil(across) + labelGap;
    }
    if (!bottom.title().isEmpty())
        bottomSpace += std::ceil(metricsFor(bottom.titleFont(), device).height());
    const double wallTop = top;
    const double wallBottom = std::max(wallTop + 2.0, innerBottom - bottomSpace);
    const double wallHeight = wallBottom - wallTop;
    m_depth = chart.threeD() ? std::round(wallHeight * chart.depthPercent() / 100.0) : 0.0;
    const double frontTop = wallTop + m_depth;
    const double frontHeight = wallBottom - frontTop;

    m_leftScale = AxisScale(left.minimum(), left.maximum(),
                            wallBottom - frontHeight * left.startPosition() / 100.0,
                            wallBottom - frontHeight * left.endPosition() / 100.0);
    m_leftTicks = ValueTicks(left.minimum(), left.maximum(), m_leftScale.pixelsPerUnit(),
                             valueMetrics.height() * valueLabelSpacing);

    // Vertical axis: title and labels left of the plot.
    double leftSpace = 0.0;
    if (!left.title().isEmpty()) {
        const double titleHeight = std::ceil(metricsFor(left.titleFont(), device).height());
        m_leftTitleRect = QRectF(innerLeft, frontTop, titleHeight, frontHeight);
        leftSpace += titleHeight + labelGap;
    }
    if (left.labelsVisible()) {
        double widest = 0.0;
        for (std::size_t i = 0; i < m_leftTicks.count(); ++i)
            widest = std::max(
                widest, valueMetrics.horizontalAdvance(ValueTicks::text(m_leftTicks.value(i))));
        leftSpace += std::ceil(widest) + labelGap;
    }
    const double wallLeft = innerLeft + leftSpace;
    const double wallRight = std::max(wallLeft + 2.0 + m_depth, innerRight);
    m_leftLabelRight = wallLeft - labelGap;
    m_bottomLabelTop = wallBottom + labelGap;

    m_plotArea = QRectF(wallLeft, wallTop, wallRight - wallLeft, wallHeight);
    m_front = QRectF(wallLeft, frontTop, wallRight - m_depth - wallLeft, frontHeight);
    if (!bottom.title().isEmpty()) {
        const double titleHeight = std::ceil(metricsFor(bottom.titleFont(), device).height());
        m_bottomTitleRect =
            QRectF(m_front.left(), innerBottom - titleHeight, m_front.width(), titleHeight);
    }

    m_bottomScale = AxisScale(bottom.minimum(), bottom.maximum(),
                              m_front.left() + m_front.width() * bottom.startPosition() / 100.0,
                              m_front.left() + m_front.width() * bottom.endPosition() / 100.0);
    const double along =
        bottom.labelAngle() == LabelAngle::Horizontal ? m_timeLabelWidth : m_labelHeight;
    m_labelStep =
        LabelLayout::chooseStep(m_bottomScale.pixelsPerUnit(), along, bottom.minLabelSeparation());
}

} // namespace flowloom::chart

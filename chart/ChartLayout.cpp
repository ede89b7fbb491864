#include "chart/ChartLayout.h"

#include "chart/Chart.h"
#include "chart/LabelLayout.h"

#include <QFontMetricsF>
#include <QPaintDevice>

#include <algorithm>
#include <cmath>
#include <optional>

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

// More fonts than a chart has: the kept sizes are then started afresh.
constexpr std::size_t keptFonts = 8;

} // namespace

void LayoutMeasures::measureFor(const QPaintDevice* device)
{
    m_device = device;
    m_dpiX = device != nullptr ? device->logicalDpiX() : 0;
    m_dpiY = device != nullptr ? device->logicalDpiY() : 0;
}

LayoutMeasures::Entry* LayoutMeasures::entryOf(const QFont& font)
{
    if (m_device == nullptr)
        return nullptr;
    for (Entry& e : m_fonts) {
        if (e.dpiX == m_dpiX && e.dpiY == m_dpiY && e.font == font)
            return &e;
    }
    if (m_fonts.size() >= keptFonts)
        m_fonts.clear();
    const QFontMetricsF metrics(font, m_device);
    m_fonts.push_back(Entry{font, m_dpiX, m_dpiY, FontSizes{metrics.height(), metrics.ascent()}});
    return &m_fonts.back();
}

LayoutMeasures::FontSizes LayoutMeasures::sizesOf(const QFont& font)
{
    if (const Entry* e = entryOf(font))
        return e->sizes;
    const QFontMetricsF metrics = metricsFor(font, m_device);
    return FontSizes{metrics.height(), metrics.ascent()};
}

double LayoutMeasures::timeLabelWidth(const QFont& font)
{
    Entry* e = entryOf(font);
    if (e == nullptr)
        return metricsFor(font, m_device).horizontalAdvance(widestTimeLabel);
    if (e->timeLabelWidth < 0.0)
        e->timeLabelWidth = QFontMetricsF(font, m_device).horizontalAdvance(widestTimeLabel);
    return e->timeLabelWidth;
}

double LayoutMeasures::widestValue(const ValueTicks& ticks, const QFont& font)
{
    const double first = ticks.count() > 0 ? ticks.value(0) : 0.0;
    WidestValue& w = m_widest;
    if (m_device != nullptr && w.width >= 0.0 && w.dpiX == m_dpiX && w.dpiY == m_dpiY &&
        w.first == first && w.step == ticks.step() && w.count == ticks.count() && w.font == font)
        return w.width;
    const QFontMetricsF metrics = metricsFor(font, m_device);
    double widest = 0.0;
    for (std::size_t i = 0; i < ticks.count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(ValueTicks::text(ticks.value(i))));
    if (m_device != nullptr)
        w = WidestValue{font, m_dpiX, m_dpiY, first, ticks.step(), ticks.count(), widest};
    return widest;
}

const ValueTicks& LayoutMeasures::ticksFor(double minimum, double maximum, double pixelsPerUnit,
                                           double minSpacing)
{
    KeptTicks& k = m_ticks;
    if (!k.kept || k.minimum != minimum || k.maximum != maximum ||
        k.pixelsPerUnit != pixelsPerUnit || k.minSpacing != minSpacing)
        k = KeptTicks{minimum,
                      maximum,
                      pixelsPerUnit,
                      minSpacing,
                      ValueTicks(minimum, maximum, pixelsPerUnit, minSpacing),
                      true};
    return k.ticks;
}

ChartLayout::ChartLayout(const Chart& chart, const QRectF& bounds, const QPaintDevice* device,
                         LayoutMeasures* measures)
    : m_bounds(bounds)
{
    std::optional<LayoutMeasures> ownMeasures;
    LayoutMeasures& measured = measures != nullptr ? *measures : ownMeasures.emplace();
    measured.measureFor(device);
    const Axis& bottom = chart.bottomAxis();
    const Axis& left = chart.leftAxis();
    const Margins& margins = chart.margins();
    const double w = bounds.width();
    const double h = bounds.height();

    const LayoutMeasures::FontSizes labelSizes = measured.sizesOf(bottom.labelFont());
    const LayoutMeasures::FontSizes valueSizes = measured.sizesOf(left.labelFont());
    m_labelHeight = labelSizes.height;
    m_labelAscent = labelSizes.ascent;
    m_timeLabelWidth = measured.timeLabelWidth(bottom.labelFont());
    m_valueHeight = valueSizes.height;
    m_valueAscent = valueSizes.ascent;

    const double innerLeft = bounds.left() + std::round(w * margins.left / 100.0);
    const double innerRight = bounds.right() + 1.0 - std::round(w * margins.right / 100.0);
    const double topMargin = std::round(h * margins.top / 100.0);
    const double innerBottom = bounds.bottom() + 1.0 - std::round(h * margins.bottom / 100.0);

    // Title first, then the top margin below it.
    double top = bounds.top();
    if (!chart.title().isEmpty()) {
        const double titleHeight = std::ceil(measured.sizesOf(chart.titleFont()).height);
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
        bottomSpace += std::ceil(measured.sizesOf(bottom.titleFont()).height);
    const double wallTop = top;
    const double wallBottom = std::max(wallTop + 2.0, innerBottom - bottomSpace);
    const double wallHeight = wallBottom - wallTop;
    m_depth = chart.threeD() ? std::round(wallHeight * chart.depthPercent() / 100.0) : 0.0;
    const double frontTop = wallTop + m_depth;
    const double frontHeight = wallBottom - frontTop;

    m_leftScale = AxisScale(left.minimum(), left.maximum(),
                            wallBottom - frontHeight * left.startPosition() / 100.0,
                            wallBottom - frontHeight * left.endPosition() / 100.0);
    m_leftTicks = measured.ticksFor(left.minimum(), left.maximum(), m_leftScale.pixelsPerUnit(),
                                    m_valueHeight * valueLabelSpacing);

    // Vertical axis: title and labels left of the plot.
    double leftSpace = 0.0;
    if (!left.title().isEmpty()) {
        const double titleHeight = std::ceil(measured.sizesOf(left.titleFont()).height);
        m_leftTitleRect = QRectF(innerLeft, frontTop, titleHeight, frontHeight);
        leftSpace += titleHeight + labelGap;
    }
    if (left.labelsVisible()) {
        const double widest = measured.widestValue(m_leftTicks, left.labelFont());
        leftSpace += std::ceil(widest) + labelGap;
    }
    const double wallLeft = innerLeft + leftSpace;
    const double wallRight = std::max(wallLeft + 2.0 + m_depth, innerRight);
    m_leftLabelRight = wallLeft - labelGap;
    m_bottomLabelTop = wallBottom + labelGap;

    m_plotArea = QRectF(wallLeft, wallTop, wallRight - wallLeft, wallHeight);
    m_front = QRectF(wallLeft, frontTop, wallRight - m_depth - wallLeft, frontHeight);
    if (!bottom.title().isEmpty()) {
        const double titleHeight = std::ceil(measured.sizesOf(bottom.titleFont()).height);
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

#include "output/glue/CaptureIndicator.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>

namespace flowloom::output {

namespace {

// A red dot inside a dark ring on a transparent ground, readable on the
// graph's dark and light panels alike.
QPixmap indicatorPicture()
{
    QPixmap picture(CaptureIndicator::kWidth, CaptureIndicator::kHeight);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ring(1.5, 1.0, 17.0, 17.0);
    painter.setPen(QPen(QColor(64, 64, 64), 2.0));
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawEllipse(ring);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 0, 0));
    painter.drawEllipse(ring.adjusted(4.0, 4.0, -4.0, -4.0));
    return picture;
}

} // namespace

CaptureIndicator::CaptureIndicator(QWidget* graph) : QLabel(graph)
{
    setObjectName(QStringLiteral("imgNoise"));
    setToolTip(QStringLiteral("Capture active"));
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(kWidth, kHeight);
    setPixmap(indicatorPicture());
    hide();
    if (graph != nullptr) {
        graph->installEventFilter(this);
        follow();
    }
}

QPoint CaptureIndicator::positionIn(QSize graphSize)
{
    return QPoint(kMargin, graphSize.height() - kHeight - kMargin);
}

bool CaptureIndicator::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        follow();
    return QLabel::eventFilter(watched, event);
}

void CaptureIndicator::follow()
{
    if (parentWidget() != nullptr)
        move(positionIn(parentWidget()->size()));
}

} // namespace flowloom::output

#include "app/shell/OnDemandIcon.h"

#include <QApplication>
#include <QImageReader>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>
#include <utility>

namespace flowloom::app {

namespace {
qint64 area(QSize size)
{
    return static_cast<qint64>(size.width()) * size.height();
}

// The file's size, shrunk (never grown) to fit the request.
QSize fitted(int fileSize, QSize requested)
{
    QSize actual(fileSize, fileSize);
    if (actual.width() > requested.width() || actual.height() > requested.height())
        actual.scale(requested, Qt::KeepAspectRatio);
    return actual;
}
} // namespace

IconPicture iconFile(int size, const QString& path)
{
    return {size, [path] { return QPixmap::fromImage(QImageReader(path).read()); }, {}};
}

int bestIconPicture(const std::vector<IconPicture>& files, QSize requested)
{
    const qint64 wanted = area(requested);
    int best = -1;
    for (int i = 0; i < static_cast<int>(files.size()); ++i) {
        if (best < 0) {
            best = i;
            continue;
        }
        const qint64 a = area(QSize(files[best].size, files[best].size));
        const qint64 b = area(QSize(files[i].size, files[i].size));
        // Of two large enough, the smaller; otherwise the larger.
        if (std::min(a, b) >= wanted ? b < a : b > a)
            best = i;
    }
    return best;
}

OnDemandIconEngine::OnDemandIconEngine(std::vector<IconPicture> pictures, int keptUpTo)
    : m_pictures(std::move(pictures)), m_keptUpTo(keptUpTo)
{}

void OnDemandIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                               QIcon::State state)
{
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    QPixmap drawn = pixmap(rect.size() * ratio, mode, state);
    drawn.setDevicePixelRatio(ratio);
    const QSize shown = drawn.size() / ratio;
    painter->drawPixmap(QRect(rect.topLeft() + QPoint((rect.width() - shown.width()) / 2,
                                                      (rect.height() - shown.height()) / 2),
                              shown),
                        drawn);
}

QSize OnDemandIconEngine::actualSize(const QSize& size, QIcon::Mode, QIcon::State)
{
    const int best = bestIconPicture(m_pictures, size);
    return best < 0 ? QSize() : fitted(m_pictures[best].size, size);
}

QPixmap OnDemandIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State)
{
    const int best = bestIconPicture(m_pictures, size);
    if (best < 0)
        return {};
    IconPicture& file = m_pictures[best];
    QPixmap read = file.kept;
    if (read.isNull()) {
        read = file.make();
        if (file.size <= m_keptUpTo)
            file.kept = read;
    }
    if (read.isNull())
        return {};
    const QSize actual = fitted(file.size, size);
    if (read.size() != actual)
        read = read.scaled(actual, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if ((mode == QIcon::Disabled || mode == QIcon::Selected) && qobject_cast<QApplication*>(qApp)) {
        QStyleOption option;
        option.palette = QApplication::palette();
        return QApplication::style()->generatedIconPixmap(mode, read, &option);
    }
    return read;
}

QList<QSize> OnDemandIconEngine::availableSizes(QIcon::Mode, QIcon::State)
{
    QList<QSize> sizes;
    for (const IconPicture& file : m_pictures)
        sizes.append(QSize(file.size, file.size));
    return sizes;
}

QIconEngine* OnDemandIconEngine::clone() const
{
    return new OnDemandIconEngine(*this);
}

QString OnDemandIconEngine::key() const
{
    return QStringLiteral("OnDemandIconEngine");
}

} // namespace flowloom::app

#include "windows/pictures.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

QPixmap picture(const QString& resource, const QSize& size, qreal devicePixelRatio)
{
    static QHash<QString, QPixmap> cache;
    const QString key =
        QStringLiteral("%1@%2x%3@%4").arg(resource).arg(size.width()).arg(size.height()).arg(devicePixelRatio);
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;

    QPixmap pixmap(size * devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    cache.insert(key, pixmap);
    return pixmap;
}

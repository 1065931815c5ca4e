#include "windows/pictures.h"

#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QResource>
#include <QSvgRenderer>

namespace {

int g_renderedFromSvg = 0;

// The picture drawn at build time for `resource` at exactly `pixels`, read in place; null when there is none.
QImage drawnPicture(const QString& resource, const QSize& pixels)
{
    const QResource drawn(QStringLiteral(":/drawn/%1-%2x%3.argb")
                              .arg(QFileInfo(resource).completeBaseName())
                              .arg(pixels.width())
                              .arg(pixels.height()));
    const qint64 bytesPerLine = qint64(pixels.width()) * 4;
    if (!drawn.isValid() || drawn.compressionAlgorithm() != QResource::NoCompression ||
        drawn.size() != bytesPerLine * pixels.height())
        return {};
    const QImage inPlace(drawn.data(), pixels.width(), pixels.height(), bytesPerLine,
                         QImage::Format_ARGB32_Premultiplied);
    // Pixels are read as 32-bit words: data that is not aligned for that is copied.
    return reinterpret_cast<quintptr>(drawn.data()) % alignof(quint32) == 0 ? inPlace : inPlace.copy();
}

QImage renderedPicture(const QString& resource, const QSize& pixels)
{
    ++g_renderedFromSvg;
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    if (renderer.isValid()) {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    return image;
}

} // namespace

QImage picture(const QString& resource, const QSize& size, qreal devicePixelRatio)
{
    static QHash<QString, QImage> cache;
    const QString key =
        QStringLiteral("%1@%2x%3@%4").arg(resource).arg(size.width()).arg(size.height()).arg(devicePixelRatio);
    auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;

    const QSize pixels = size * devicePixelRatio;
    QImage image = drawnPicture(resource, pixels);
    if (image.isNull())
        image = renderedPicture(resource, pixels);
    image.setDevicePixelRatio(devicePixelRatio);
    cache.insert(key, image);
    return image;
}

QIcon appIcon()
{
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(QPixmap::fromImage(picture(QStringLiteral(":/app-icon.svg"), QSize(side, side))));
    return icon;
}

int picturesRenderedFromSvg()
{
    return g_renderedFromSvg;
}

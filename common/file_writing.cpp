#include "common/file_writing.h"

#include "common/safe_text.h"

#include <QBuffer>
#include <QImageWriter>

QString writePng(const QString& path, const QImage& picture)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture))
        return QStringLiteral("cannot draw %1 as PNG: %2").arg(visibleForMessage(path), writer.errorString());
    return writeWholeFile(path, png);
}

#include "common/file_writing.h"

#include "common/safe_text.h"

#include <QImageWriter>
#include <QSaveFile>

QString writeFileWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(visibleForMessage(path), file.errorString());
    return QString();
}

QString writePng(const QString& path, const QImage& picture)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1: %2").arg(visibleForMessage(path), file.errorString());
    QImageWriter writer(&file, "png");
    if (!writer.write(picture))
        return QStringLiteral("cannot write %1: %2").arg(visibleForMessage(path), writer.errorString());
    if (!file.commit())
        return QStringLiteral("cannot write %1: %2").arg(visibleForMessage(path), file.errorString());
    return QString();
}

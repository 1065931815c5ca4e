#include "render/label_types.h"

#include "render/message_words.h"
#include "render/pcx_picture.h"

qint64 storedFormBytes(const PrinterMemory& memory)
{
    qint64 total = 0;
    for (const QList<StoredLine>& form : memory.forms) {
        for (const StoredLine& line : form)
            total += line.text.size();
    }
    return total;
}

qint64 storedGraphicDots(const PrinterMemory& memory)
{
    qint64 total = 0;
    for (const QImage& graphic : memory.graphics)
        total += qint64(graphic.width()) * graphic.height();
    return total;
}

qint64 storedSoftFontBytes(const PrinterMemory& memory)
{
    qint64 total = 0;
    for (const SoftFont& font : memory.softFonts)
        total += font.data.size();
    return total;
}

QString storeSoftFont(PrinterMemory& memory, const QByteArray& name, const QByteArray& data)
{
    QString why;
    std::optional<SoftFont> font = readSoftFont(data, &why);
    if (!font)
        return QStringLiteral("ES\"%1\": %2; no font is stored").arg(printableExcerpt(name), why);
    const qint64 stored = storedSoftFontBytes(memory) - memory.softFonts.value(name).data.size() + data.size();
    if (stored > kMaxSoftFontBytes)
        return QStringLiteral("ES\"%1\": the soft font memory is full; EK deletes soft fonts")
            .arg(printableExcerpt(name));
    memory.softFonts.insert(name, std::move(*font));
    ++memory.generation;
    return QString();
}

QString storeGraphic(PrinterMemory& memory, const QByteArray& name, const QByteArray& pcx)
{
    QString why;
    const QImage picture = pcxPicture(pcx, &why);
    if (picture.isNull())
        return QStringLiteral("GM\"%1\": %2").arg(printableExcerpt(name), why);
    const QImage replaced = memory.graphics.value(name);
    const qint64 stored = storedGraphicDots(memory) - qint64(replaced.width()) * replaced.height() +
                          qint64(picture.width()) * picture.height();
    if (stored > kMaxStoredGraphicDots)
        return QStringLiteral("GM\"%1\": the graphics memory is full; GK deletes graphics").arg(printableExcerpt(name));
    memory.graphics.insert(name, picture);
    ++memory.generation;
    return QString();
}

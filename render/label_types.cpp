#include "render/label_types.h"

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

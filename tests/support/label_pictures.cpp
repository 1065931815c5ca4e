#include "support/label_pictures.h"

#include "printing/epl2_job.h"
#include "render/label_render.h"

QRect blackBounds(const QImage& image, const QRect& within)
{
    const QRect area = (within.isNull() ? image.rect() : within) & image.rect();
    QRect bounds;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = area.left(); x <= area.right(); ++x) {
            if (row[x] == 0)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

int blackPixels(const QImage& image, const QRect& area)
{
    int count = 0;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = inside.left(); x <= inside.right(); ++x)
            count += row[x] == 0 ? 1 : 0;
    }
    return count;
}

bool onlyBlackAndWhite(const QImage& image)
{
    if (image.format() != QImage::Format_Grayscale8)
        return false;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] != 0 && row[x] != 255)
                return false;
        }
    }
    return true;
}

QRect characterCell(const QRect& cells, int rotation, int index, int count)
{
    const bool across = rotation % 2 == 0;
    const int size = (across ? cells.width() : cells.height()) / count;
    const int step = rotation == 2 || rotation == 3 ? count - 1 - index : index;
    return across ? QRect(cells.left() + step * size, cells.top(), size, cells.height())
                  : QRect(cells.left(), cells.top() + step * size, cells.width(), size);
}

QByteArray presetJob(LabelSize size, bool fiveAcross, const QStringList& texts, const QList<FieldNudge>& nudges)
{
    LabelSettings settings = presetSettings(size, nudges).settings;
    settings.fiveAcross = fiveAcross ? 1 : 0;
    QString* boxes[] = {&settings.item, &settings.version, &settings.data, &settings.checksum};
    for (int i = 0; i < texts.size() && i < 4; ++i)
        *boxes[i] = texts.at(i);
    return composeJob(settings).bytes;
}

QStringList artOf(const QImage& image)
{
    QStringList rows;
    for (int y = 0; y < image.height(); ++y) {
        QString row;
        const uchar* pixels = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x)
            row += pixels[x] == 0 ? QLatin1Char('#') : QLatin1Char('.');
        rows << row;
    }
    return rows;
}

RenderedLabel onlyLabelOf(const QByteArray& job)
{
    const RenderResult result = renderJob(job);
    if (!result.error.isEmpty())
        qWarning("%s", qPrintable(result.error));
    for (const JobNote& note : result.notUnderstood)
        qWarning("line %d: %s", note.line, qPrintable(note.text));
    if (result.labels.size() != 1 || !result.notUnderstood.isEmpty())
        return RenderedLabel();
    return result.labels.first();
}

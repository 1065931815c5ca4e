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

QByteArray codeJob(const QByteArray& line, const QByteArray& before)
{
    return "N\r\nq800\r\nQ800,24\r\n" + before + line + "\r\nP1\r\n";
}

RenderedLabel onlyLabelOf(const QByteArray& job, const RenderOptions& options)
{
    const RenderResult result = renderJob(job, options);
    if (!result.error.isEmpty())
        qWarning("%s", qPrintable(result.error));
    for (const JobNote& note : result.notUnderstood)
        qWarning("line %d: %s", note.line, qPrintable(note.text));
    if (result.labels.size() != 1 || !result.notUnderstood.isEmpty())
        return RenderedLabel();
    return result.labels.first();
}

QByteArray pcxFile(const QStringList& art)
{
    const int width = int(art.first().size());
    const int height = int(art.size());
    const int bytesPerLine = (width + 15) / 16 * 2;
    QByteArray file(128, '\0');
    const auto word = [&file](int at, int value) {
        file[at] = char(value & 0xFF);
        file[at + 1] = char(value >> 8);
    };
    file[0] = 0x0A;
    file[1] = 5;
    file[2] = 1;
    file[3] = 1;
    word(8, width - 1);
    word(10, height - 1);
    file[65] = 1;
    word(66, bytesPerLine);
    for (const QString& row : art) {
        QByteArray bytes(bytesPerLine, char(0xFF));
        for (int x = 0; x < width; ++x) {
            if (row.at(x) == QLatin1Char('#'))
                bytes[x / 8] = char(uchar(bytes[x / 8]) & ~(0x80 >> (x % 8)));
        }
        for (const char b : bytes) {
            if ((uchar(b) & 0xC0) == 0xC0)
                file += char(0xC1); // a run of one, as a byte that looks like a count must be sent
            file += b;
        }
    }
    return file;
}

QByteArray softFontStore(char name, int characters, int sets, int height, const QList<QList<int>>& glyphs)
{
    QByteArray bytes = "ES\"" + QByteArray(1, name) + '"';
    for (const int each : {characters, sets, height})
        bytes += char(each);
    for (const QList<int>& glyph : glyphs) {
        for (const int each : glyph)
            bytes += char(each);
    }
    return bytes;
}

QByteArray softFontF()
{
    return softFontStore(
               'f', 3, 0, 3,
               {{'A', 4, 3, 0xA0, 0x40, 0xE0}, {'B', 3, 2, 0xC0, 0x00, 0x40}, {'C', 8, 8, 0x0A, 0x0D, 0x00}}) +
           "\r\n";
}

#include "render/glyph_cells.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

namespace {

constexpr char kFontFile[] = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
// Outlines are taken at this size and scaled into each cell.
constexpr qreal kOutlinePixels = 256;
// A dot prints when the letter covers at least this share of it: thin strokes of small cells stay whole.
constexpr int kInkCoverage = 40; // percent
// Cell sizes are few for real jobs; a job that asks for very many is not let to grow the cache without end.
constexpr int kMaxCachedBitmaps = 4096;

quint64 glyphKey(char16_t character, int width, int height)
{
    return (quint64(character) << 48) | (quint64(quint32(width)) << 24) | quint64(quint32(height));
}

} // namespace

struct CellGlyphs::Impl
{
    QRawFont font;
    QHash<char16_t, QPainterPath> outlines; // each in a cell of 1 by 1, top left at 0,0; taken as needed
    QHash<quint64, GlyphBitmap> bitmaps;

    const QPainterPath& outline(char16_t character);
};

const QPainterPath& CellGlyphs::Impl::outline(char16_t character)
{
    const auto found = outlines.constFind(character);
    if (found != outlines.constEnd())
        return *found;
    QPainterPath path;
    const QList<quint32> indexes = font.glyphIndexesForString(QString(QChar(character)));
    if (printsInk(character) && indexes.size() == 1 && indexes.first() != 0) {
        const qreal lineHeight = font.ascent() + font.descent();
        const QList<QPointF> advances = font.advancesForGlyphIndexes(indexes);
        const qreal advance = advances.isEmpty() || advances.first().x() <= 0 ? lineHeight / 2 : advances.first().x();
        QTransform toCell;
        toCell.scale(1 / advance, 1 / lineHeight);
        toCell.translate(0, font.ascent());
        QPainterPath cell;
        cell.addRect(0, 0, 1, 1);
        path = toCell.map(font.pathForGlyph(indexes.first())).intersected(cell);
    }
    return *outlines.insert(character, path);
}

CellGlyphs* CellGlyphs::instance(QString* why)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        *why = QStringLiteral("drawing letters needs a QGuiApplication");
        return nullptr;
    }
    static CellGlyphs* loaded = nullptr;
    static QString failure;
    if (loaded || !failure.isEmpty()) {
        *why = failure;
        return loaded;
    }

    QRawFont font;
    if (QFile::exists(QLatin1String(kFontFile)))
        font = QRawFont(QLatin1String(kFontFile), kOutlinePixels);
    if (!font.isValid())
        font = QRawFont::fromFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    if (!font.isValid()) {
        failure = QStringLiteral("no monospace font to draw letters with (install fonts-dejavu-core)");
        *why = failure;
        return nullptr;
    }
    font.setPixelSize(kOutlinePixels);

    auto* glyphs = new CellGlyphs;
    glyphs->d = new Impl;
    glyphs->d->font = font;
    // Deliberately kept for the life of the process, like the font database it comes from.
    loaded = glyphs;
    return loaded;
}

const GlyphBitmap& CellGlyphs::glyph(char16_t character, int cellWidth, int cellHeight)
{
    const quint64 key = glyphKey(character, cellWidth, cellHeight);
    const auto found = d->bitmaps.constFind(key);
    if (found != d->bitmaps.constEnd())
        return *found;

    GlyphBitmap bitmap;
    bitmap.width = cellWidth;
    bitmap.height = cellHeight;
    bitmap.ink = QByteArray(qsizetype(cellWidth) * cellHeight, '\0');
    const QPainterPath& outline = d->outline(character);
    if (!outline.isEmpty()) {
        QImage coverage(cellWidth, cellHeight, QImage::Format_Grayscale8);
        coverage.fill(255);
        QPainter painter(&coverage);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.scale(cellWidth, cellHeight);
        painter.fillPath(outline, Qt::black);
        painter.end();
        const int printsBelow = 255 - 255 * kInkCoverage / 100;
        for (int y = 0; y < cellHeight; ++y) {
            const uchar* row = coverage.constScanLine(y);
            for (int x = 0; x < cellWidth; ++x)
                bitmap.ink[y * cellWidth + x] = row[x] <= printsBelow ? 1 : 0;
        }
    }
    if (d->bitmaps.size() >= kMaxCachedBitmaps)
        d->bitmaps.clear();
    return *d->bitmaps.insert(key, bitmap);
}

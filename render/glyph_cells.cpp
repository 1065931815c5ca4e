#include "render/glyph_cells.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QStringList>

#include <optional>

namespace {

constexpr char kFontFile[] = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf";
// Fonts for the Asian fonts 8 and 9: Korean from Nanum Gothic, the others (and Hanja Nanum lacks) from
// WenQuanYi Zen Hei.
constexpr char kKoreanFontFile[] = "/usr/share/fonts/truetype/nanum/NanumGothicBold.ttf";
constexpr char kChineseFontFile[] = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc";
// Outlines are taken at this size and scaled into each cell.
constexpr qreal kOutlinePixels = 256;
// A dot prints when the letter covers at least this share of it: thin strokes of small cells stay whole.
constexpr int kInkCoverage = 40; // percent
// Cell sizes are few for real jobs; a job that asks for very many is not let to grow the cache without end.
constexpr int kMaxCachedBitmaps = 4096;
// Nor to hold more than this many bytes of them (thousands of Asian characters at the largest multipliers).
constexpr qsizetype kMaxCachedBytes = 32 * 1024 * 1024;
// And outlines of at most this many characters (an Asian character set has thousands).
constexpr int kMaxCachedOutlines = 8192;

quint64 glyphKey(char16_t character, int width, int height, AsianLanguage language)
{
    return (quint64(character) << 48) | (quint64(language) << 44) | (quint64(quint32(width)) << 22) |
           quint64(quint32(height));
}

QRawFont loadFont(const char* file)
{
    return QFile::exists(QLatin1String(file)) ? QRawFont(QLatin1String(file), kOutlinePixels) : QRawFont();
}

} // namespace

struct CellGlyphs::Impl
{
    QRawFont font;
    // The Korean font and the Chinese one (also Japanese), each loaded when first asked for.
    std::optional<QRawFont> asian[2];
    // Each in a cell of 1 by 1, top left at 0,0; taken as needed, keyed by language and character.
    QHash<quint32, QPainterPath> outlines;
    QHash<quint64, GlyphBitmap> bitmaps;
    qsizetype bitmapBytes = 0;

    const QPainterPath& outline(char16_t character, AsianLanguage language);
    const QRawFont& asianFont(int which);
};

const QRawFont& CellGlyphs::Impl::asianFont(int which)
{
    if (!asian[which])
        asian[which] = loadFont(which == 0 ? kKoreanFontFile : kChineseFontFile);
    return *asian[which];
}

const QPainterPath& CellGlyphs::Impl::outline(char16_t character, AsianLanguage language)
{
    const quint32 key = quint32(language) << 16 | character;
    const auto found = outlines.constFind(key);
    if (found != outlines.constEnd())
        return *found;
    QPainterPath path;
    // The fonts to look in, in order: a Korean character the Korean font lacks is taken from the other.
    // -1 the letters of fonts 1 to 5; 0 and 1 asianFont.
    const QList<int> fonts = language == AsianLanguage::None     ? QList<int>{-1}
                             : language == AsianLanguage::Korean ? QList<int>{0, 1}
                                                                 : QList<int>{1, 0};
    // A character no font has is drawn as its compatibility form (half-width katakana as the full-width ones,
    // which the narrow cell then squeezes).
    QStringList forms{QString(QChar(character))};
    const QString compatible = forms.first().normalized(QString::NormalizationForm_KC);
    if (language != AsianLanguage::None && compatible.size() == 1 && compatible != forms.first())
        forms << compatible;
    for (qsizetype f = 0; printsInk(character) && f < forms.size() * fonts.size() && path.isEmpty(); ++f) {
        const int which = fonts.at(f % fonts.size());
        const QRawFont* face = which < 0 ? &font : &asianFont(which);
        const QList<quint32> indexes =
            face->isValid() ? face->glyphIndexesForString(forms.at(f / fonts.size())) : QList<quint32>();
        if (indexes.size() != 1 || indexes.first() == 0)
            continue;
        const qreal lineHeight = face->ascent() + face->descent();
        const QList<QPointF> advances = face->advancesForGlyphIndexes(indexes);
        const qreal advance = advances.isEmpty() || advances.first().x() <= 0 ? lineHeight / 2 : advances.first().x();
        QTransform toCell;
        if (language == AsianLanguage::None) {
            // The advance and the line fill the cell.
            toCell.scale(1 / advance, 1 / lineHeight);
            toCell.translate(0, face->ascent());
        } else {
            // The advance and the em square fill the cell, in the middle of the line.
            const qreal em = kOutlinePixels;
            toCell.scale(1 / advance, 1 / em);
            toCell.translate(0, face->ascent() - (lineHeight - em) / 2);
        }
        QPainterPath cell;
        cell.addRect(0, 0, 1, 1);
        path = toCell.map(face->pathForGlyph(indexes.first())).intersected(cell);
    }
    if (outlines.size() >= kMaxCachedOutlines)
        outlines.clear();
    return *outlines.insert(key, path);
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

bool CellGlyphs::hasAsianFont(AsianLanguage language, QString* why)
{
    if (language == AsianLanguage::Korean ? d->asianFont(0).isValid() || d->asianFont(1).isValid()
                                          : d->asianFont(1).isValid())
        return true;
    *why = language == AsianLanguage::Korean ? QStringLiteral("no font to draw Korean with (install fonts-nanum)")
                                             : QStringLiteral("no font to draw Chinese and Japanese with (install "
                                                              "fonts-wqy-zenhei)");
    return false;
}

const GlyphBitmap& CellGlyphs::glyph(char16_t character, int cellWidth, int cellHeight, AsianLanguage language)
{
    const quint64 key = glyphKey(character, cellWidth, cellHeight, language);
    const auto found = d->bitmaps.constFind(key);
    if (found != d->bitmaps.constEnd())
        return *found;

    GlyphBitmap bitmap;
    bitmap.width = cellWidth;
    bitmap.height = cellHeight;
    bitmap.ink = QByteArray(qsizetype(cellWidth) * cellHeight, '\0');
    const QPainterPath& outline = d->outline(character, language);
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
    if (d->bitmaps.size() >= kMaxCachedBitmaps || d->bitmapBytes + bitmap.ink.size() > kMaxCachedBytes) {
        d->bitmaps.clear();
        d->bitmapBytes = 0;
    }
    d->bitmapBytes += bitmap.ink.size();
    return *d->bitmaps.insert(key, bitmap);
}

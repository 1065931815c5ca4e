#include "render/soft_fonts.h"

#include "render/message_words.h"

namespace {

constexpr qsizetype kFontHeader = 3;
constexpr qsizetype kCharacterHeader = 3;

int byteAt(QByteArrayView data, qsizetype at)
{
    return uchar(data[at]);
}

// The characters an ES holds by its header: p1 (00 for 256), twice that for both sets.
int charactersOf(QByteArrayView data)
{
    const int count = byteAt(data, 0) == 0 ? 256 : byteAt(data, 0);
    return byteAt(data, 1) == 2 ? 2 * count : count;
}

qsizetype bitmapBytes(int height, int width)
{
    return qsizetype(height) * ((width + 7) / 8);
}

} // namespace

qsizetype softFontBytesWanted(QByteArrayView sofar)
{
    if (sofar.size() < kFontHeader)
        return kFontHeader - sofar.size();
    const int height = byteAt(sofar, 2);
    const int characters = charactersOf(sofar);
    qsizetype at = kFontHeader;
    for (int i = 0; i < characters; ++i) {
        if (sofar.size() < at + kCharacterHeader)
            return at + kCharacterHeader - sofar.size();
        at += kCharacterHeader + bitmapBytes(height, byteAt(sofar, at + 2));
        if (sofar.size() < at)
            return at - sofar.size();
    }
    return 0;
}

std::optional<SoftFont> readSoftFont(const QByteArray& data, QString* why)
{
    if (softFontBytesWanted(data) != 0) {
        *why = QStringLiteral("the data ends before its last character");
        return std::nullopt;
    }
    const int sets = byteAt(data, 1);
    if (sets > 2) {
        *why = QStringLiteral("the rotation byte is %1 where 00, 01 or 02 are taken")
                   .arg(hexBytes(QByteArray(1, char(sets))));
        return std::nullopt;
    }
    SoftFont font;
    font.height = byteAt(data, 2);
    if (font.height == 0) {
        *why = QStringLiteral("the height is 0 dots");
        return std::nullopt;
    }
    const int characters = charactersOf(data);
    qsizetype at = kFontHeader;
    for (int i = 0; i < characters; ++i) {
        SoftGlyph glyph;
        const int position = byteAt(data, at);
        glyph.spacing = byteAt(data, at + 1);
        glyph.width = byteAt(data, at + 2);
        const qsizetype bytes = bitmapBytes(font.height, glyph.width);
        glyph.rows = data.mid(at + kCharacterHeader, bytes);
        at += kCharacterHeader + bytes;
        for (int v = 0; v < font.height && !glyph.inked; ++v) {
            for (int u = 0; u < glyph.width && !glyph.inked; ++u)
                glyph.inked = glyph.at(u, v);
        }
        if (glyph.width > glyph.spacing) {
            *why = QStringLiteral("character %1 is %2 dots wide, more than its spacing of %3")
                       .arg(hexBytes(QByteArray(1, char(position))))
                       .arg(glyph.width)
                       .arg(glyph.spacing);
            return std::nullopt;
        }
        // The first p1 characters are the set of the first rotation pair, the rest (p2 02) the second.
        const bool sideways = sets == 1 || (sets == 2 && i >= characters / 2);
        (sideways ? font.sideways : font.upright).insert(uchar(position), glyph);
    }
    font.data = data;
    return font;
}

bool isSoftFontName(QByteArrayView name)
{
    return name.size() == 1 && ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'));
}

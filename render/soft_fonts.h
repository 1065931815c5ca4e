#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <optional>

// Soft fonts: bitmap fonts a job stores with ES"name" and prints with A by their letter.
//
// The data after ES"name" follows at once, read by count whatever its bytes are, each number one byte:
// p1, the number of characters (00 for 256); p2, the sets that follow (00 the set for 0 and 180 degrees, 01 the
// set for 90 and 270 degrees, 02 both, the second set after the whole first one, so twice p1 characters); p3, the
// height in dots. Then for each character its position a, its spacing b to the next character and its width c
// in dots, and its bitmap: p3 rows of c dots, each row in whole bytes, the leftmost dot in the high bit, 1
// printing. The top left dot is the character's top left as it reads, in either set.

// One character of a soft font.
struct SoftGlyph
{
    int spacing = 0;
    int width = 0;
    QByteArray rows;    // the font's height in rows of (width + 7) / 8 bytes
    bool inked = false; // a dot of it prints

    bool at(int u, int v) const
    {
        const qsizetype index = qsizetype(v) * ((width + 7) / 8) + u / 8;
        return (uchar(rows.at(index)) & (0x80 >> (u % 8))) != 0;
    }
};

using SoftGlyphs = QHash<uchar, SoftGlyph>;

struct SoftFont
{
    int height = 0;
    SoftGlyphs upright;  // the set for 0 and 180 degrees
    SoftGlyphs sideways; // the set for 90 and 270 degrees
    QByteArray data;     // as received after ES"name", for whoever keeps the font

    // The set a rotation (0 to 3 quarter turns) draws from: its own, or the other one when the font was stored
    // without it.
    const SoftGlyphs& setFor(int rotation) const
    {
        const bool turned = rotation % 2 == 1;
        if (turned)
            return sideways.isEmpty() ? upright : sideways;
        return upright.isEmpty() ? sideways : upright;
    }
};

// What all stored soft fonts together may take, in bytes of their data.
inline constexpr qint64 kMaxSoftFontBytes = 16 * 1024 * 1024;

// How many more bytes of ES data to read, of which `sofar` has arrived, before more is known of its length; 0
// when the data is whole. Its length follows from p1, p2, p3 and each character's width, whatever the bytes
// are, so a stream stays in step after data that is refused.
qsizetype softFontBytesWanted(QByteArrayView sofar);

// The font the whole data of an ES holds, or nothing and why.
std::optional<SoftFont> readSoftFont(const QByteArray& data, QString* why);

// Whether `name` names a soft font: one letter, a to z or A to Z.
bool isSoftFontName(QByteArrayView name);

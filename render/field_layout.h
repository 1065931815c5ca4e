#pragma once

#include "render/asian_text.h"
#include "render/barcodes.h"
#include "render/epl2_commands.h"
#include "render/label_types.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

// Where everything a label draws lands, in dots: character cells, bars, modules, lines, boxes and pictures,
// turned as their commands say, and which of them run past an edge. Pure arithmetic; nothing is painted here.

struct CellSize
{
    int width;
    int height;
};
// Fonts 1 to 5 at 203 dots per inch.
inline constexpr CellSize kFontCells[] = {{8, 12}, {10, 16}, {12, 20}, {14, 24}, {32, 48}};
// Dots along of a MaxiCode hexagon 7 dots across (rows are 6 dots apart, so neighbouring rows interlock).
inline constexpr int kHexHeight = 8;

// Fonts 1 to 5 only; fonts 8 and 9 lay out with asianCells.
CellSize cellOf(const TextField& field);

// A character of a field of font 8 or 9 and its cell before the field is turned, with X,Y at 0,0.
struct AsianCell
{
    QRect cell;
    AsianCharacter character;
};
// Fonts 8 and 9: every character's cell, a pair of bytes a whole cell and a single byte half as wide, times
// the multipliers; left to right for rotations 0 to 3, top to bottom for 4 to 7, i's spacing (times the
// multiplier along the line) between neighbours.
QList<AsianCell> asianCells(const TextField& field, const QList<AsianCharacter>& characters);
// The cells [first, first + count) of a field, turned about X,Y as its rotation says.
QRect cellsRect(const TextField& field, int first, int count);
// The band of a field from `along` dots along its line, `length` dots long and `height` dots high, turned.
QRect bandRect(const TextField& field, int along, int length, int height);
// Calls draw(character, glyph, along) for each byte of `text` a soft font holds, `along` the dots from X,Y along
// the line to its cell; returns the dots of the whole line. `missing` gets the bytes the font holds none for.
template <typename Draw>
int forEachSoftGlyph(const TextField& field, const SoftFont& font, const QByteArray& text, QByteArray* missing,
                     const Draw& draw)
{
    const SoftGlyphs& glyphs = font.setFor(field.rotation);
    int along = 0;
    for (const char byte : text) {
        const auto found = glyphs.constFind(uchar(byte));
        if (found == glyphs.constEnd()) {
            if (missing)
                missing->append(byte);
            continue;
        }
        draw(byte, *found, along);
        along += found->spacing * field.widthTimes;
    }
    return along;
}
// The dot that dot (u, v) of an unturned field at x,y lands on when turned `rotation` quarter turns.
QPoint turned(int x, int y, int rotation, int u, int v);
QPoint turned(const TextField& field, int u, int v);
// The dots of the unturned rectangle `r` of a field at x,y turned `rotation` quarter turns.
QRect turnedRect(int x, int y, int rotation, const QRect& r);

// A field, bar code, line, box or picture in the image buffer, in the order the job drew them.
struct BufferedField
{
    Epl2Command::Kind kind = Epl2Command::Text;
    TextField field;
    int line = 0;
    QByteArray form;
    BarcodeField barcode;
    MatrixField matrix;
    int numbers[5] = {};
    QImage picture;                           // GG
    QByteArray bits;                          // GW
    LinearCode bars;                          // B with quoted data, encoded once
    MatrixCode modules;                       // b with quoted data, encoded once
    std::shared_ptr<const SoftFont> softFont; // A with a soft font: the font as it was when A was read
};

// What one buffered item draws on one label.
struct Layout
{
    QByteArray text;    // of a text field or a bar code
    LinearCode bars;    // B
    MatrixCode modules; // b
    QPoint origin;      // b: the top left corner of its modules (quiet zone included)
    QRect extent;       // every dot it may ink
    bool isField = false;
    RenderedField field;
    // A of font 8 or 9: each character in its cell, before the field is turned.
    QList<AsianCell> asianCells;
    // A: why part of the text is not drawn (a soft font without a character, bytes of no Asian character in a
    // variable's value); empty when all of it is.
    QString leftOut;
};

// A bar code's human-readable text: font 1 to 4 by its narrow width, 2 dots below the bars.
TextField readableText(const BarcodeField& barcode, const LinearCode& bars, int barsLength);
int sumOf(const QList<int>& values);
// The size in dots of a two-dimensional code's modules (and quiet zone).
QSize matrixSize(const MatrixCode& code);
// PDF417's data under its symbol (p1): font 1, 2 dots below the rows, as many characters as the symbol is wide.
TextField pdfText(const MatrixCode& code, const QByteArray& text, int* characters);
// The dots a two-dimensional code takes on the label: PDF417 with its printed data and turned by o.
QSize placedSize(const MatrixField& field, const MatrixCode& code, const QByteArray& text);
// "LO line", "X box", "GW graphic": what a drawing command other than a field draws, by its command.
QString shapeName(Epl2Command::Kind kind);

// Where `item` lands on this label, given `out` with its text, bars or modules for this label already in it.
void placeItem(const BufferedField& item, int codePage, Layout& out);

// Every field, line, box and graphic that runs past an edge of a label of `dots`, with the edges named as the
// label reads as the job laid it out (before any turn by ZB): into label.overruns and label.shapeOverruns. An
// edge the job gave no size for (no q, no Q) is not an edge.
void findOverruns(const QList<BufferedField>& items, const QList<Layout>& layouts, QSize dots, bool knownWidth,
                  bool knownLength, RenderedLabel& label);

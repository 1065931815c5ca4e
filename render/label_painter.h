#pragma once

#include "render/field_layout.h"
#include "render/glyph_cells.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QRect>

// Painting what the layout placed: letters into their cells, bars, every module of every symbol (MaxiCode's
// hexagons and finder included), lines, boxes and pictures, on a Format_Grayscale8 picture of one pixel per
// dot, black (0) on white (255). Nothing outside the picture is touched.

enum class Paint { Black, White, Invert };

// Paints the dots of `area` that lie on the picture.
void paintRect(QImage& image, const QRect& area, Paint paint);
// Prints the black dots of `picture` with its top left corner at `at`.
void printPicture(QImage& image, const QImage& picture, QPoint at);
// Prints a GW picture (rows of `across` bytes, the leftmost dot in the high bit, 0 printing) at `at`.
void printBits(QImage& image, const QByteArray& bits, int across, QPoint at);
// Every dot as a block of scale by scale pixels.
QImage enlarged(const QImage& dots, int scale);

class LabelPainter
{
public:
    // `codePage`: the page fonts 1 to 5 take bytes above 0x7F from.
    LabelPainter(CellGlyphs& glyphs, int codePage) : m_glyphs(glyphs), m_codePage(codePage) {}

    // Paints one item of the image buffer where `out` placed it.
    void paint(QImage& image, const BufferedField& item, const Layout& out);
    // The characters of `text` in the cells of `field`.
    void drawField(QImage& image, const TextField& field, const QByteArray& text);
    // The characters of a soft font where `out` placed them: 1 bits black, or white in black cells for R.
    static void drawSoftField(QImage& image, const TextField& field, const SoftFont& font, const Layout& out);

private:
    void drawAsian(QImage& image, const TextField& field, const QList<AsianCell>& cells);
    // A PDF417 drawn alone, black on white, with its printed data and turned as it lies on the label.
    QImage pdfPicture(const MatrixField& field, const MatrixCode& code, const QByteArray& text);
    // Every column from one end to the other (every row when the line is steep) gets `thickness` dots from
    // the line downwards (rightwards).
    static void paintDiagonal(QImage& image, int x1, int y1, int x2, int y2, int thickness);
    static void paintModules(QImage& image, const MatrixField& field, const MatrixCode& code, QPoint origin);
    // A MaxiCode module: a hexagon with upright sides, `width` dots across and kHexHeight along, its top left
    // corner at `at`.
    static void paintHexagon(QImage& image, QPoint at, int width);
    // MaxiCode's finder: three dark rings about a light middle.
    static void paintBullseye(QImage& image, QPoint centre);

    CellGlyphs& m_glyphs;
    const int m_codePage;
};

#include "render/label_painter.h"

#include "render/code_pages.h"

#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>

// Paints the dots of `area` that lie on the picture.
void paintRect(QImage& image, const QRect& area, Paint paint)
{
    const QRect r = area & image.rect();
    if (r.isEmpty())
        return;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        uchar* row = image.scanLine(y) + r.left();
        if (paint == Paint::Invert) {
            for (int i = 0; i < r.width(); ++i)
                row[i] = uchar(255 - row[i]);
        } else {
            std::memset(row, paint == Paint::Black ? 0 : 255, size_t(r.width()));
        }
    }
}

// Prints the black dots of `picture` with its top left corner at `at`.
void printPicture(QImage& image, const QImage& picture, QPoint at)
{
    const QRect r = QRect(at, picture.size()) & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const uchar* from = picture.constScanLine(y - at.y());
        uchar* to = image.scanLine(y);
        for (int x = r.left(); x <= r.right(); ++x) {
            if (from[x - at.x()] == 0)
                to[x] = 0;
        }
    }
}

// Prints a GW picture (rows of `across` bytes, the leftmost dot in the high bit, 0 printing) at `at`.
void printBits(QImage& image, const QByteArray& bits, int across, QPoint at)
{
    const int along = across > 0 ? int(bits.size() / across) : 0;
    const QRect r = QRect(at, QSize(across * 8, along)) & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const char* from = bits.constData() + qsizetype(y - at.y()) * across;
        uchar* to = image.scanLine(y);
        for (int x = r.left(); x <= r.right(); ++x) {
            const int u = x - at.x();
            if ((uchar(from[u / 8]) & (0x80 >> (u % 8))) == 0)
                to[x] = 0;
        }
    }
}

// Every dot as a block of scale by scale pixels.
QImage enlarged(const QImage& dots, int scale)
{
    QImage pixels(dots.width() * scale, dots.height() * scale, QImage::Format_Grayscale8);
    for (int y = 0; y < dots.height(); ++y) {
        const uchar* from = dots.constScanLine(y);
        uchar* first = pixels.scanLine(y * scale);
        for (int x = 0; x < dots.width(); ++x)
            std::memset(first + x * scale, from[x], size_t(scale));
        for (int copy = 1; copy < scale; ++copy)
            std::memcpy(pixels.scanLine(y * scale + copy), first, size_t(pixels.width()));
    }
    return pixels;
}

void LabelPainter::paint(QImage& image, const BufferedField& item, const Layout& out)
{
    const int* n = item.numbers;
    switch (item.kind) {
    case Epl2Command::Text:
        if (item.softFont)
            drawSoftField(image, item.field, *item.softFont, out);
        else if (item.field.font >= 8)
            drawAsian(image, item.field, out.asianCells);
        else
            drawField(image, item.field, out.text);
        return;
    case Epl2Command::Barcode: {
        const BarcodeField& b = item.barcode;
        int u = 0;
        const QList<std::pair<int, int>>& spans = out.bars.spans;
        for (int row = 0; row < out.bars.rows.size(); ++row) {
            const QByteArray& modules = out.bars.rows.at(row);
            const auto [top, bottom] = out.bars.rowSpans.at(row);
            for (int column = 0; column < modules.size(); ++column) {
                int end = column;
                while (end < modules.size() && modules.at(end))
                    ++end;
                if (end > column)
                    paintRect(image,
                              turnedRect(b.x, b.y, b.rotation,
                                         QRect(column * b.narrow, top, (end - column) * b.narrow, bottom - top)),
                              Paint::Black);
                column = end;
            }
        }
        for (int i = 0; i < out.bars.elements.size() && out.bars.rows.isEmpty(); ++i) {
            const int width = out.bars.elements.at(i);
            if (i % 2 == 0) {
                const int top = i / 2 < spans.size() ? b.height * spans.at(i / 2).first / 15 : 0;
                const int bottom = i / 2 < spans.size() ? b.height * spans.at(i / 2).second / 15 : b.height;
                paintRect(image, turnedRect(b.x, b.y, b.rotation, QRect(u, top, width, bottom - top)), Paint::Black);
            }
            u += width;
        }
        if (b.readable && !out.bars.readable.isEmpty() && !out.bars.elements.isEmpty())
            drawField(image, readableText(b, out.bars, u), out.bars.readable);
        return;
    }
    case Epl2Command::Code2D:
        if (item.matrix.type == 'P' && (item.matrix.rotation != 0 || item.matrix.printText))
            printPicture(image, pdfPicture(item.matrix, out.modules, out.text), out.origin);
        else
            paintModules(image, item.matrix, out.modules, out.origin);
        return;
    case Epl2Command::LineBlack:
        paintRect(image, out.extent, Paint::Black);
        return;
    case Epl2Command::LineWhite:
        paintRect(image, out.extent, Paint::White);
        return;
    case Epl2Command::LineXor:
        paintRect(image, out.extent, Paint::Invert);
        return;
    case Epl2Command::LineDiagonal:
        paintDiagonal(image, n[0], n[1], n[3], n[4], n[2]);
        return;
    case Epl2Command::Box: {
        const QRect& r = out.extent;
        const int t = n[2];
        paintRect(image, QRect(r.left(), r.top(), r.width(), std::min(t, r.height())), Paint::Black);
        paintRect(image, QRect(r.left(), std::max(r.top(), r.bottom() - t + 1), r.width(), std::min(t, r.height())),
                  Paint::Black);
        paintRect(image, QRect(r.left(), r.top(), std::min(t, r.width()), r.height()), Paint::Black);
        paintRect(image, QRect(std::max(r.left(), r.right() - t + 1), r.top(), std::min(t, r.width()), r.height()),
                  Paint::Black);
        return;
    }
    case Epl2Command::GraphicWrite:
        printBits(image, item.bits, n[2], QPoint(n[0], n[1]));
        return;
    case Epl2Command::GraphicRecall:
        printPicture(image, item.picture, QPoint(n[0], n[1]));
        return;
    default:
        break;
    }
}

// Every column from one end to the other (every row when the line is steep) gets `thickness` dots from
// the line downwards (rightwards).
void LabelPainter::paintDiagonal(QImage& image, int x1, int y1, int x2, int y2, int thickness)
{
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    const bool steep = std::abs(dy) > std::abs(dx);
    const int steps = steep ? std::abs(dy) : std::abs(dx);
    for (int i = 0; i <= steps; ++i) {
        // Rounded half away from zero, in whole numbers.
        const auto along = [&](int delta) {
            if (steps == 0)
                return 0;
            const qint64 scaled = qint64(i) * delta * 2;
            return int(scaled >= 0 ? (scaled + steps) / (2 * steps) : -((-scaled + steps) / (2 * steps)));
        };
        const int at = (steep ? y1 : x1) + ((steep ? dy : dx) < 0 ? -i : i);
        if (at < -thickness || at >= (steep ? image.height() : image.width()))
            continue;
        if (steep) {
            const int y = y1 + (dy < 0 ? -i : i);
            paintRect(image, QRect(x1 + along(dx), y, thickness, 1), Paint::Black);
        } else {
            const int x = x1 + (dx < 0 ? -i : i);
            paintRect(image, QRect(x, y1 + along(dy), 1, thickness), Paint::Black);
        }
    }
}

// A PDF417 drawn alone, black on white, with its printed data and turned as it lies on the label.
QImage LabelPainter::pdfPicture(const MatrixField& field, const MatrixCode& code, const QByteArray& text)
{
    MatrixField upright = field;
    upright.rotation = 0;
    QImage picture(placedSize(upright, code, text), QImage::Format_Grayscale8);
    picture.fill(255);
    paintModules(picture, upright, code, QPoint(0, 0));
    if (field.printText) {
        int characters = 0;
        const TextField under = pdfText(code, text, &characters);
        drawField(picture, under, text.left(characters));
    }
    if (field.rotation == 0)
        return picture;
    return picture.transformed(QTransform().rotate(90.0 * field.rotation));
}

void LabelPainter::paintModules(QImage& image, const MatrixField& field, const MatrixCode& code, QPoint origin)
{
    const int mw = code.moduleWidth;
    const int mh = code.moduleHeight;
    if (code.hexagonal) {
        paintBullseye(image, origin + QPoint(15 * mw, 16 * mh + kHexHeight / 2));
        for (int row = 0; row < code.rows; ++row) {
            for (int column = 0; column < code.columns; ++column) {
                if (code.at(column, row))
                    paintHexagon(image, origin + QPoint(column * mw + (row % 2 ? mw / 2 : 0), row * mh), mw);
            }
        }
        return;
    }
    const QSize size = matrixSize(code);
    if (field.inverse)
        paintRect(image, QRect(origin, size), Paint::Black);
    const int quiet = code.quietModules;
    for (int row = 0; row < code.rows; ++row) {
        for (int column = 0; column < code.columns; ++column) {
            if (code.at(column, row))
                paintRect(image, QRect(origin.x() + (column + quiet) * mw, origin.y() + (row + quiet) * mh, mw, mh),
                          field.inverse ? Paint::White : Paint::Black);
        }
    }
}

// A MaxiCode module: a hexagon with upright sides, `width` dots across and kHexHeight along, its top left
// corner at `at`.
void LabelPainter::paintHexagon(QImage& image, QPoint at, int width)
{
    const double half = width / 2.0;
    const double tip = kHexHeight / 2.0;
    for (int v = 0; v < kHexHeight; ++v) {
        for (int u = 0; u < width; ++u) {
            const double dx = std::abs(u + 0.5 - half);
            const double dy = std::abs(v + 0.5 - tip);
            if (dy <= tip - dx / half * (tip / 2))
                paintRect(image, QRect(at.x() + u, at.y() + v, 1, 1), Paint::Black);
        }
    }
}

// MaxiCode's finder: three dark rings about a light middle.
void LabelPainter::paintBullseye(QImage& image, QPoint centre)
{
    constexpr double kRings[] = {31.5, 26.25, 21, 15.75, 10.5, 5.25}; // outer radii, dark first
    const int reach = int(kRings[0]) + 1;
    for (int y = -reach; y <= reach; ++y) {
        for (int x = -reach; x <= reach; ++x) {
            const double r = std::hypot(x + 0.5, y + 0.5);
            int zone = 0;
            while (zone < 6 && r < kRings[zone])
                ++zone;
            if (zone > 0 && zone % 2 == 1)
                paintRect(image, QRect(centre.x() + x, centre.y() + y, 1, 1), Paint::Black);
        }
    }
}

// Fonts 8 and 9: each character in its cell as the layout placed it; reversed, the field's whole extent (the
// spaces between its cells too) prints black and the letters white.
void LabelPainter::drawAsian(QImage& image, const TextField& field, const QList<AsianCell>& cells)
{
    const QRect picture = image.rect();
    if (field.reverse) {
        QRect all;
        for (const AsianCell& each : cells)
            all |= each.cell;
        paintRect(image, turnedRect(field.x, field.y, field.rotation % 4, all), Paint::Black);
    }
    for (const AsianCell& each : cells) {
        const char16_t character = each.character.character;
        if (!printsInk(character) || !turnedRect(field.x, field.y, field.rotation % 4, each.cell).intersects(picture))
            continue;
        const QRect& r = each.cell;
        const GlyphBitmap& glyph =
            m_glyphs.glyph(character, r.width(), r.height(), character < 0x80 ? AsianLanguage::None : field.language);
        for (int v = 0; v < r.height(); ++v) {
            for (int u = 0; u < r.width(); ++u) {
                const QPoint dot = turned(field, r.left() + u, r.top() + v);
                if (glyph.at(u, v) && picture.contains(dot))
                    image.scanLine(dot.y())[dot.x()] = field.reverse ? 255 : 0;
            }
        }
    }
}

void LabelPainter::drawField(QImage& image, const TextField& field, const QByteArray& text)
{
    const CellSize cell = cellOf(field);
    const QRect picture = image.rect();
    const int page = m_codePage;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!cellsRect(field, int(i), 1).intersects(picture))
            continue;
        const char16_t character = codePageCharacter(page, uchar(text[i]));
        const bool letter = printsInk(character);
        if (!letter && !field.reverse)
            continue;
        const GlyphBitmap* glyph = letter ? &m_glyphs.glyph(character, cell.width, cell.height) : nullptr;
        const int left = int(i) * cell.width;
        for (int v = 0; v < cell.height; ++v) {
            for (int u = 0; u < cell.width; ++u) {
                const bool ink = glyph && glyph->at(u, v);
                if (!ink && !field.reverse)
                    continue;
                const QPoint dot = turned(field, left + u, v);
                if (picture.contains(dot))
                    image.scanLine(dot.y())[dot.x()] = ink != field.reverse ? 0 : 255;
            }
        }
    }
}

void LabelPainter::drawSoftField(QImage& image, const TextField& field, const SoftFont& font, const Layout& out)
{
    if (field.reverse)
        paintRect(image, out.field.cells, Paint::Black);
    const int wide = field.widthTimes;
    const int high = field.heightTimes;
    const QRect picture = image.rect();
    const uchar ink = field.reverse ? 255 : 0;
    forEachSoftGlyph(field, font, out.text, nullptr, [&](char, const SoftGlyph& glyph, int along) {
        if (!glyph.inked || !bandRect(field, along, glyph.width * wide, font.height * high).intersects(picture))
            return;
        for (int v = 0; v < font.height; ++v) {
            for (int u = 0; u < glyph.width; ++u) {
                if (!glyph.at(u, v))
                    continue;
                for (int dv = 0; dv < high; ++dv) {
                    for (int du = 0; du < wide; ++du) {
                        const QPoint dot = turned(field, along + u * wide + du, v * high + dv);
                        if (picture.contains(dot))
                            image.scanLine(dot.y())[dot.x()] = ink;
                    }
                }
            }
        }
    });
}

#include "render/field_layout.h"

#include "render/code_pages.h"
#include "render/glyph_cells.h"
#include "render/message_words.h"

#include <algorithm>

CellSize cellOf(const TextField& field)
{
    const CellSize font = kFontCells[field.font - 1];
    return {font.width * field.widthTimes, font.height * field.heightTimes};
}

QList<AsianCell> asianCells(const TextField& field, const QList<AsianCharacter>& characters)
{
    QList<AsianCell> cells;
    const std::optional<QSize> whole = asianCell(field.language, field.font);
    if (!whole)
        return cells;
    const bool down = field.rotation >= 4;
    const int height = whole->height() * field.heightTimes;
    const int gap = field.spacing * (down ? field.heightTimes : field.widthTimes);
    int along = 0;
    for (const AsianCharacter& c : characters) {
        const int width = (c.wide ? whole->width() : whole->width() / 2) * field.widthTimes;
        cells << AsianCell{down ? QRect(0, along, width, height) : QRect(along, 0, width, height), c};
        along += (down ? height : width) + gap;
    }
    return cells;
}

// The cells [first, first + count) of a field, turned about X,Y as its rotation says.
QRect cellsRect(const TextField& field, int first, int count)
{
    const CellSize cell = cellOf(field);
    return bandRect(field, first * cell.width, count * cell.width, cell.height);
}

// The band of a field from `along` dots along its line, `length` dots long and `height` dots high, turned.
QRect bandRect(const TextField& field, int along, int length, int height)
{
    switch (field.rotation) {
    case 1:
        return QRect(field.x - height, field.y + along, height, length);
    case 2:
        return QRect(field.x - along - length, field.y - height, length, height);
    case 3:
        return QRect(field.x, field.y - along - length, height, length);
    default:
        break;
    }
    return QRect(field.x + along, field.y, length, height);
}

namespace {

// A text field in a soft font: each character the font holds takes its spacing, times the multiplier, and the
// font's height; the ink runs from the first character with a dot to the end of the last one's width.
void placeSoftText(const BufferedField& item, Layout& out)
{
    const TextField& f = item.field;
    const int height = item.softFont->height * f.heightTimes;
    QString printed;
    int inkFrom = -1;
    int inkTo = 0;
    QByteArray missing;
    const int length =
        forEachSoftGlyph(f, *item.softFont, out.text, &missing, [&](char byte, const SoftGlyph& glyph, int along) {
            printed += QLatin1Char(byte);
            if (!glyph.inked)
                return;
            if (inkFrom < 0)
                inkFrom = along;
            inkTo = along + glyph.width * f.widthTimes;
        });
    if (!missing.isEmpty())
        out.leftOut = QStringLiteral("the soft font \"%1\" holds no character %2")
                          .arg(QString(QLatin1Char(f.softFont)), hexBytes(missing));
    out.field.text = printed;
    out.field.reverse = f.reverse;
    out.field.cells = bandRect(f, 0, length, height);
    if (f.reverse)
        out.field.ink = out.field.cells;
    else if (inkFrom >= 0)
        out.field.ink = bandRect(f, inkFrom, inkTo - inkFrom, height);
    out.extent = out.field.cells;
    out.isField = true;
}

} // namespace

// The dot that dot (u, v) of an unturned field at x,y lands on when turned `rotation` quarter turns.
QPoint turned(int x, int y, int rotation, int u, int v)
{
    switch (rotation) {
    case 1:
        return QPoint(x - 1 - v, y + u);
    case 2:
        return QPoint(x - 1 - u, y - 1 - v);
    case 3:
        return QPoint(x + v, y - 1 - u);
    default:
        break;
    }
    return QPoint(x + u, y + v);
}

QPoint turned(const TextField& field, int u, int v)
{
    return turned(field.x, field.y, field.rotation % 4, u, v);
}

// The dots of the unturned rectangle `r` of a field at x,y turned `rotation` quarter turns.
QRect turnedRect(int x, int y, int rotation, const QRect& r)
{
    if (r.isEmpty())
        return QRect();
    const QPoint a = turned(x, y, rotation, r.left(), r.top());
    const QPoint b = turned(x, y, rotation, r.right(), r.bottom());
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

// A bar code's human-readable text: font 1 to 4 by its narrow width, 2 dots below the bars.
TextField readableText(const BarcodeField& barcode, const LinearCode& bars, int barsLength)
{
    TextField text;
    text.font = std::clamp(barcode.narrow, 1, 4);
    text.rotation = barcode.rotation;
    const CellSize cell = cellOf(text);
    const int u = (barsLength - int(bars.readable.size()) * cell.width) / 2;
    const int v = barcode.height + 2;
    // Where the text's own X,Y goes so that it turns with the bars.
    const QPoint at = turned(barcode.x, barcode.y, barcode.rotation, u, v);
    text.x = at.x() + (barcode.rotation == 1 || barcode.rotation == 2 ? 1 : 0);
    text.y = at.y() + (barcode.rotation == 2 || barcode.rotation == 3 ? 1 : 0);
    return text;
}

int sumOf(const QList<int>& values)
{
    int total = 0;
    for (const int v : values)
        total += v;
    return total;
}

// The size in dots of a two-dimensional code's modules (and quiet zone).
QSize matrixSize(const MatrixCode& code)
{
    if (code.hexagonal)
        return QSize(code.columns * code.moduleWidth + code.moduleWidth / 2,
                     (code.rows - 1) * code.moduleHeight + kHexHeight);
    return QSize((code.columns + 2 * code.quietModules) * code.moduleWidth,
                 (code.rows + 2 * code.quietModules) * code.moduleHeight);
}

// PDF417's data under its symbol (p1): font 1, 2 dots below the rows, as many characters as the symbol is
// wide.
TextField pdfText(const MatrixCode& code, const QByteArray& text, int* characters)
{
    TextField field;
    const QSize size = matrixSize(code);
    field.y = size.height() + 2;
    *characters = std::min<int>(int(text.size()), size.width() / kFontCells[0].width);
    return field;
}

// The dots a two-dimensional code takes on the label: PDF417 with its printed data and turned by o.
QSize placedSize(const MatrixField& field, const MatrixCode& code, const QByteArray& text)
{
    QSize size = matrixSize(code);
    if (field.type != 'P')
        return size;
    if (field.printText) {
        int characters = 0;
        const TextField under = pdfText(code, text, &characters);
        size.setHeight(under.y + kFontCells[0].height);
    }
    return field.rotation % 2 == 1 ? size.transposed() : size;
}

// "LO line", "X box", "GW graphic": what a drawing command other than a field draws, by its command.
QString shapeName(Epl2Command::Kind kind)
{
    switch (kind) {
    case Epl2Command::LineBlack:
        return QStringLiteral("LO line");
    case Epl2Command::LineWhite:
        return QStringLiteral("LW line");
    case Epl2Command::LineXor:
        return QStringLiteral("LE line");
    case Epl2Command::LineDiagonal:
        return QStringLiteral("LS line");
    case Epl2Command::Box:
        return QStringLiteral("X box");
    case Epl2Command::GraphicWrite:
        return QStringLiteral("GW graphic");
    default:
        break;
    }
    return QStringLiteral("GG graphic");
}

namespace {

// A field of font 8 or 9: bytes that are no character of the language print as blank cells.
void placeAsian(const TextField& text, Layout& out)
{
    QList<AsianCharacter> characters;
    const QString why = decodeAsian(text.language, out.text, &characters);
    if (!why.isEmpty())
        out.leftOut = why + QStringLiteral(" (blank cells)");
    RenderedField& field = out.field;
    field.reverse = text.reverse;
    out.asianCells = asianCells(text, characters);
    for (const AsianCell& each : std::as_const(out.asianCells)) {
        const QRect cell = turnedRect(text.x, text.y, text.rotation % 4, each.cell);
        field.text += QChar(each.character.character);
        field.cells |= cell;
        if (printsInk(each.character.character))
            field.ink |= cell;
    }
    if (field.reverse)
        field.ink = field.cells;
    out.extent = field.cells;
    out.isField = true;
}

} // namespace

void placeItem(const BufferedField& item, int codePage, Layout& out)
{
    const int* n = item.numbers;
    switch (item.kind) {
    case Epl2Command::Text: {
        if (item.softFont) {
            placeSoftText(item, out);
            break;
        }
        if (item.field.font >= 8) {
            placeAsian(item.field, out);
            break;
        }
        const QString text = fromCodePage(codePage, out.text);
        RenderedField& field = out.field;
        field.text = text;
        field.reverse = item.field.reverse;
        field.cells = cellsRect(item.field, 0, int(text.size()));
        qsizetype first = 0;
        while (first < text.size() && !printsInk(char16_t(text[first].unicode())))
            ++first;
        qsizetype last = text.size() - 1;
        while (last >= first && !printsInk(char16_t(text[last].unicode())))
            --last;
        if (field.reverse)
            field.ink = field.cells;
        else if (first <= last)
            field.ink = cellsRect(item.field, int(first), int(last - first + 1));
        out.extent = field.cells;
        out.isField = true;
        break;
    }
    case Epl2Command::Barcode: {
        out.field.text = QString::fromLatin1(out.text);
        if (out.bars.elements.isEmpty())
            break;
        const int length = sumOf(out.bars.elements);
        QRect all =
            turnedRect(item.barcode.x, item.barcode.y, item.barcode.rotation, QRect(0, 0, length, item.barcode.height));
        if (item.barcode.readable && !out.bars.readable.isEmpty()) {
            const TextField text = readableText(item.barcode, out.bars, length);
            all |= cellsRect(text, 0, int(out.bars.readable.size()));
        }
        out.field.cells = out.field.ink = out.extent = all;
        out.isField = true;
        break;
    }
    case Epl2Command::Code2D: {
        out.field.text = QString::fromLatin1(out.text);
        if (out.modules.columns == 0)
            break;
        const QSize size = placedSize(item.matrix, out.modules, out.text);
        out.origin = QPoint(item.matrix.x, item.matrix.y);
        if (item.matrix.type == 'P' && item.matrix.centred)
            out.origin -= QPoint(size.width() / 2, size.height() / 2);
        out.field.cells = out.field.ink = out.extent = QRect(out.origin, size);
        out.isField = true;
        break;
    }
    case Epl2Command::LineBlack:
    case Epl2Command::LineWhite:
    case Epl2Command::LineXor:
        out.extent = QRect(n[0], n[1], n[2], n[3]);
        break;
    case Epl2Command::LineDiagonal:
        out.extent = QRect(QPoint(std::min(n[0], n[3]), std::min(n[1], n[4])),
                           QPoint(std::max(n[0], n[3]) + n[2] - 1, std::max(n[1], n[4]) + n[2] - 1));
        break;
    case Epl2Command::Box:
        out.extent = QRect(QPoint(std::min(n[0], n[3]), std::min(n[1], n[4])),
                           QPoint(std::max(n[0], n[3]), std::max(n[1], n[4])));
        break;
    case Epl2Command::GraphicWrite:
        out.extent = QRect(n[0], n[1], n[2] * 8, n[3]);
        break;
    case Epl2Command::GraphicRecall:
        out.extent = QRect(QPoint(n[0], n[1]), item.picture.size());
        break;
    default:
        break;
    }
    out.field.line = item.line;
    out.field.form = QString::fromLatin1(item.form);
}

void findOverruns(const QList<BufferedField>& items, const QList<Layout>& layouts, QSize dots, bool knownWidth,
                  bool knownLength, RenderedLabel& label)
{
    const int width = dots.width();
    const int length = dots.height();
    const auto pastEdges = [&](const QRect& ink, const auto& add) {
        if (ink.isEmpty())
            return;
        const int past[] = {-ink.left(), -ink.top(), ink.right() + 1 - width, ink.bottom() + 1 - length};
        const LabelEdge edges[] = {LabelEdge::Left, LabelEdge::Top, LabelEdge::Right, LabelEdge::Bottom};
        for (int e = 0; e < 4; ++e) {
            const bool known =
                (edges[e] != LabelEdge::Right || knownWidth) && (edges[e] != LabelEdge::Bottom || knownLength);
            if (past[e] > 0 && known)
                add(edges[e], past[e]);
        }
    };
    int fieldIndex = 0;
    for (int i = 0; i < layouts.size(); ++i) {
        const Layout& each = layouts.at(i);
        if (each.isField) {
            pastEdges(each.field.ink, [&](LabelEdge edge, int past) {
                label.overruns << EdgeOverrun{fieldIndex, edge, past};
            });
            ++fieldIndex;
            continue;
        }
        const BufferedField& item = items.at(i);
        pastEdges(each.extent, [&](LabelEdge edge, int past) {
            label.shapeOverruns << ShapeOverrun{shapeName(item.kind), item.line, QString::fromLatin1(item.form), edge,
                                                past};
        });
    }
}

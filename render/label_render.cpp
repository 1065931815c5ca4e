#include "render/label_render.h"

#include "render/barcodes.h"
#include "render/code_pages.h"
#include "render/epl2_commands.h"
#include "render/glyph_cells.h"

#include <QHash>
#include <QMap>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

namespace {

struct CellSize
{
    int width;
    int height;
};
// Fonts 1 to 5 at 203 dots per inch.
constexpr CellSize kFontCells[] = {{8, 12}, {10, 16}, {12, 20}, {14, 24}, {32, 48}};

// Pictures larger than this many pixels are drawn at one pixel per dot instead.
constexpr qint64 kMaxPicturePixels = qint64(kMaxLabelDots) * kMaxLabelDots;
// Not-understood lines noted at most in a RenderResult; a job of nothing but garbage is not copied into it.
constexpr int kMaxNotes = 1000;
// Dots along of a MaxiCode hexagon 7 dots across (rows are 6 dots apart, so neighbouring rows interlock).
constexpr int kHexHeight = 8;
// What one label may draw, counted in dots of each item on the label (four times the largest label).
constexpr qint64 kMaxDrawnDots = qint64(4) * kMaxLabelDots * kMaxLabelDots;
// Bytes of GW pictures one label may hold.
constexpr qint64 kMaxBufferedGraphicBytes = 64 * 1024 * 1024;
// What one stored form and all of them together may take, in bytes of their lines.
constexpr qint64 kMaxFormBytes = 4 * 1024 * 1024;

CellSize cellOf(const TextField& field)
{
    const CellSize font = kFontCells[field.font - 1];
    return {font.width * field.widthTimes, font.height * field.heightTimes};
}

// The cells [first, first + count) of a field, turned about X,Y as its rotation says.
QRect cellsRect(const TextField& field, int first, int count)
{
    const CellSize cell = cellOf(field);
    const int along = first * cell.width; // from X,Y along the reading direction
    const int length = count * cell.width;
    switch (field.rotation) {
    case 1:
        return QRect(field.x - cell.height, field.y + along, cell.height, length);
    case 2:
        return QRect(field.x - along - length, field.y - cell.height, length, cell.height);
    case 3:
        return QRect(field.x, field.y - along - length, cell.height, length);
    default:
        break;
    }
    return QRect(field.x + along, field.y, length, cell.height);
}

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
    return turned(field.x, field.y, field.rotation, u, v);
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

enum class Paint { Black, White, Invert };

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

// A 1-bit PCX file (run-length encoded or not) as a picture: 0 bits print, as in the black and white files
// of paint programs. Null, with `why`, when it is not one.
QImage pcxPicture(const QByteArray& file, QString* why)
{
    const auto word = [&file](int at) { return int(uchar(file.at(at))) | (int(uchar(file.at(at + 1))) << 8); };
    if (file.size() < 128 || uchar(file.at(0)) != 0x0A || file.at(2) > 1 || file.at(3) != 1 || file.at(65) != 1) {
        *why = QStringLiteral("the data is not a 1-bit (black and white) PCX file");
        return QImage();
    }
    const int width = word(8) - word(4) + 1;
    const int height = word(10) - word(6) + 1;
    const int bytesPerLine = word(66);
    if (width < 1 || height < 1 || width > kMaxLabelDots || height > kMaxLabelDots || bytesPerLine * 8 < width ||
        bytesPerLine > kMaxLabelDots) {
        *why = QStringLiteral("the PCX picture is not 1 to %1 dots each way").arg(kMaxLabelDots);
        return QImage();
    }
    const bool compressed = file.at(2) == 1;
    QImage picture(width, height, QImage::Format_Grayscale8);
    picture.fill(255);
    qsizetype at = 128;
    QByteArray line(bytesPerLine, char(0xFF));
    for (int y = 0; y < height; ++y) {
        int filled = 0;
        while (filled < bytesPerLine) {
            if (at >= file.size()) {
                *why = QStringLiteral("the PCX file ends before its picture");
                return QImage();
            }
            uchar byte = uchar(file.at(at++));
            int count = 1;
            if (compressed && (byte & 0xC0) == 0xC0) {
                count = byte & 0x3F;
                if (at >= file.size()) {
                    *why = QStringLiteral("the PCX file ends before its picture");
                    return QImage();
                }
                byte = uchar(file.at(at++));
            }
            // A run may carry on into the next line; the rest of it is dropped with the padding.
            for (; count > 0 && filled < bytesPerLine; --count)
                line[filled++] = char(byte);
        }
        uchar* row = picture.scanLine(y);
        for (int x = 0; x < width; ++x)
            row[x] = (uchar(line.at(x / 8)) & (0x80 >> (x % 8))) ? 255 : 0;
    }
    return picture;
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

QByteArray justified(QByteArray value, int width, Justify justify)
{
    value.truncate(width);
    const int blanks = width - int(value.size());
    if (justify == Justify::Right)
        return QByteArray(blanks, ' ') + value;
    if (justify == Justify::Centre)
        return QByteArray(blanks / 2, ' ') + value + QByteArray(blanks - blanks / 2, ' ');
    return value;
}

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
    QImage picture;     // GG
    QByteArray bits;    // GW
    LinearCode bars;    // B with quoted data, encoded once
    MatrixCode modules; // b with quoted data, encoded once
};

struct Variable
{
    int length = 0;
    Justify justify = Justify::Left;
    QByteArray value;
};

struct Counter
{
    int digits = 0;
    Justify justify = Justify::Left;
    int step = 0;
    QByteArray text;    // as its data line gave it, cut to its digits
    bool steps = false; // its data line is a number
    qint64 value = 0;   // on the next label
};

// A data line after "?" fills a variable or a counter.
struct DataSlot
{
    bool counter = false;
    int number = 0;
};

class JobInterpreter
{
public:
    JobInterpreter(PrinterMemory& memory, const RenderOptions& options, CellGlyphs& glyphs, LabelSink& sink)
        : m_memory(memory), m_options(options), m_glyphs(glyphs), m_sink(sink)
    {
    }

    void feed(QByteArrayView bytes)
    {
        while (!bytes.isEmpty()) {
            if (m_dataLeft > 0) {
                // Binary data of GW or GM: taken by count, whatever bytes it holds.
                const qsizetype n = std::min<qsizetype>(m_dataLeft, bytes.size());
                if (!m_dataDiscard)
                    m_data.append(bytes.first(n));
                m_dataLeft -= n;
                bytes = bytes.sliced(n);
                if (m_dataLeft == 0)
                    endData();
                continue;
            }
            if (m_afterData != 0) {
                // The line end after binary data belongs to it; a command may also follow at once.
                const char c = bytes.front();
                if (c == '\n' || (c == '\r' && m_afterData == 1))
                    bytes = bytes.sliced(1);
                m_afterData = c == '\r' && m_afterData == 1 ? 2 : 0;
                continue;
            }
            if (mayBeGraphicHeader()) {
                // Byte by byte up to the fourth comma of a GW line, after which its data follows.
                const char c = bytes.front();
                bytes = bytes.sliced(1);
                if (c == '\n') {
                    endLine();
                    continue;
                }
                m_partial.append(c);
                if (c == ',' && m_partial.count(',') == 4)
                    startGraphicWrite();
                continue;
            }
            const qsizetype end = bytes.indexOf('\n');
            const QByteArrayView part = end < 0 ? bytes : bytes.first(end);
            if (m_overlong) {
                m_overlongBytes += part.size();
            } else if (m_partial.size() + part.size() > kMaxLineBytes) {
                m_overlong = true;
                m_overlongBytes = m_partial.size() + part.size();
                m_overlongStart = m_partial.left(40) + part.first(std::min<qsizetype>(part.size(), 40)).toByteArray();
                m_partial.clear();
            } else {
                m_partial.append(part);
            }
            if (end < 0)
                return;
            endLine();
            bytes = bytes.sliced(end + 1);
        }
    }

    void finish()
    {
        if (m_dataLeft > 0) {
            note(m_graphicLine, QStringLiteral("the stream ends %1 bytes before the end of the data of %2")
                                    .arg(m_dataLeft)
                                    .arg(QLatin1String(m_dataKind == Epl2Command::GraphicStore ? "GM" : "GW")));
            m_dataLeft = 0;
            m_data.clear();
            m_partial.clear();
        }
        m_afterData = 0;
        if (!m_partial.isEmpty() || m_overlong)
            endLine();
        if (m_storing) {
            note(m_storingLine,
                 QStringLiteral("the form \"%1\" is not ended by FE").arg(printableExcerpt(m_storingName)));
            m_storing = false;
            m_storingLines.clear();
        }
        if (!m_pending.isEmpty())
            note(m_dataLine, QStringLiteral("? expects %1 more data lines than the job has").arg(m_pending.size()));
        m_pending.clear();
    }

    quint64 labelsPrinted() const { return m_labelsPrinted; }
    int lines() const { return m_line; }

private:
    void note(int line, const QString& text) { m_sink.note(JobNote{line, text}); }
    // A code that could not be encoded: "<what> of line N is not drawn on the label of line M: <why>".
    void noteNotDrawn(const char* what, int line, int printLine, const QString& why)
    {
        note(line, QStringLiteral("%1 of line %2 is not drawn on the label of line %3: %4")
                       .arg(QLatin1String(what), QString::number(line), QString::number(printLine), why));
    }

    bool mayBeGraphicHeader() const
    {
        if (!m_pending.isEmpty() || m_overlong || m_notHeader || m_partial.size() >= 48)
            return false;
        return m_partial.size() >= 2 ? m_partial.startsWith("GW") : QByteArrayView("GW").startsWith(m_partial);
    }

    // The header of a GW line has arrived: its data follows.
    void startGraphicWrite()
    {
        const std::optional<qsizetype> size = graphicDataSize(m_partial);
        if (!size) {
            m_notHeader = true; // read as a line, and noted as one that is not understood
            return;
        }
        m_graphicLine = ++m_line;
        m_dataKind = Epl2Command::GraphicWrite;
        m_dataDiscard = !m_storing && m_sink.printerCommand(m_partial, m_graphicLine);
        m_dataLeft = *size;
        m_data.clear();
    }

    void startGraphicStore(const Epl2Command& command, int line, bool discard)
    {
        m_dataKind = Epl2Command::GraphicStore;
        m_graphicLine = line;
        m_graphicName = command.name;
        m_graphicInForm = m_storing;
        m_dataDiscard = discard;
        m_dataLeft = command.value;
        m_data.clear();
    }

    void endData()
    {
        m_afterData = 1;
        const QByteArray data = std::exchange(m_data, QByteArray());
        if (m_dataKind == Epl2Command::GraphicWrite) {
            const QByteArray line = std::exchange(m_partial, QByteArray()) + data;
            m_notHeader = false;
            if (!m_dataDiscard)
                take(line, m_graphicLine, true);
            return;
        }
        if (m_dataDiscard)
            return;
        if (m_graphicInForm) {
            note(m_graphicLine, QStringLiteral("GM: graphics cannot be stored in a form (FE is missing before it)"));
            return;
        }
        QString why;
        const QImage picture = pcxPicture(data, &why);
        if (picture.isNull()) {
            note(m_graphicLine, QStringLiteral("GM\"%1\": %2").arg(printableExcerpt(m_graphicName), why));
            return;
        }
        const QImage replaced = m_memory.graphics.value(m_graphicName);
        const qint64 stored = storedGraphicDots(m_memory) - qint64(replaced.width()) * replaced.height() +
                              qint64(picture.width()) * picture.height();
        if (stored > kMaxStoredGraphicDots) {
            note(m_graphicLine, QStringLiteral("GM\"%1\": the graphics memory is full; GK deletes graphics")
                                    .arg(printableExcerpt(m_graphicName)));
            return;
        }
        m_memory.graphics.insert(m_graphicName, picture);
        ++m_memory.generation;
    }

    void endLine()
    {
        ++m_line;
        if (m_overlong) {
            note(m_line, QStringLiteral("%1: the line is %2 bytes long; a command line has at most %3")
                             .arg(printableExcerpt(m_overlongStart))
                             .arg(m_overlongBytes)
                             .arg(kMaxLineBytes));
            m_overlong = false;
            m_overlongStart.clear();
            m_overlongBytes = 0;
            return;
        }
        QByteArrayView text(m_partial);
        if (text.endsWith('\r'))
            text.chop(1);
        take(text, m_line);
        m_partial.clear();
        m_notHeader = false;
    }

    // `offered`: the sink has been offered the line already (a GW header).
    void take(QByteArrayView text, int line, bool offered = false)
    {
        if (!m_pending.isEmpty()) {
            fill(m_pending.takeFirst(), text, line);
            return;
        }
        if (!m_storing && !offered && m_sink.printerCommand(text, line)) {
            // The printer carried it out; the data of a GM still follows and is not read as lines.
            if (text.startsWith("GM")) {
                const Epl2Command command = readEpl2Command(text);
                if (command.kind == Epl2Command::GraphicStore)
                    startGraphicStore(command, line, true);
            }
            return;
        }
        const Epl2Command command = readEpl2Command(text);
        if (command.kind == Epl2Command::GraphicStore && command.error.isEmpty()) {
            startGraphicStore(command, line, false);
            return;
        }
        if (!command.error.isEmpty()) {
            note(line, QStringLiteral("%1: %2").arg(printableExcerpt(text), command.error));
            return;
        }
        if (m_storing) {
            store(command, line, text);
            return;
        }
        execute(command, line, text, QByteArray());
    }

    void store(const Epl2Command& command, int line, QByteArrayView text)
    {
        switch (command.kind) {
        case Epl2Command::FormEnd: {
            m_storing = false;
            const QList<StoredLine> lines = std::exchange(m_storingLines, {});
            if (m_storedBytes + storedFormBytes(m_memory) > kMaxFormsBytes) {
                note(line, QStringLiteral("FE: the forms would take more than %1 bytes; \"%2\" is not stored")
                               .arg(kMaxFormsBytes)
                               .arg(printableExcerpt(m_storingName)));
                return;
            }
            m_memory.forms.insert(m_storingName, lines);
            ++m_memory.generation;
            return;
        }
        case Epl2Command::Blank:
            return;
        case Epl2Command::Density:
        case Epl2Command::Speed:
        case Epl2Command::Width:
        case Epl2Command::Length:
        case Epl2Command::Text:
        case Epl2Command::Variable:
        case Epl2Command::Counter:
        case Epl2Command::Barcode:
        case Epl2Command::Code2D:
        case Epl2Command::LineBlack:
        case Epl2Command::LineWhite:
        case Epl2Command::LineXor:
        case Epl2Command::LineDiagonal:
        case Epl2Command::Box:
        case Epl2Command::GraphicWrite:
        case Epl2Command::GraphicRecall:
        case Epl2Command::Reference:
        case Epl2Command::CodePage:
        case Epl2Command::Direction:
            if (m_storedBytes + text.size() > kMaxFormBytes) {
                note(line, QStringLiteral("%1: the form is longer than %2 bytes; the line is not stored")
                               .arg(printableExcerpt(text))
                               .arg(kMaxFormBytes));
                return;
            }
            m_storedBytes += text.size();
            m_storingLines << StoredLine{text.toByteArray(), line};
            return;
        default:
            break;
        }
        note(line,
             QStringLiteral("%1: cannot be stored in a form (FE is missing before it)").arg(printableExcerpt(text)));
    }

    void execute(const Epl2Command& command, int line, QByteArrayView text, const QByteArray& form)
    {
        const QString shown = printableExcerpt(text);
        switch (command.kind) {
        case Epl2Command::Blank:
            return;
        case Epl2Command::Density:
            m_memory.settings.density = command.value;
            return;
        case Epl2Command::Speed:
            m_memory.settings.speed = command.value;
            return;
        case Epl2Command::Clear:
            m_buffer.clear();
            m_bufferFullNoted = false;
            m_bufferedBits = 0;
            m_variables.clear();
            m_counters.clear();
            m_recalled = false;
            return;
        case Epl2Command::Width:
            m_memory.settings.width = command.value;
            return;
        case Epl2Command::Length:
            m_memory.settings.length = command.value;
            if (!command.name.isEmpty())
                m_memory.settings.gap = command.name;
            m_memory.settings.offset = command.step;
            return;
        case Epl2Command::Text:
        case Epl2Command::Barcode:
        case Epl2Command::Code2D:
        case Epl2Command::LineBlack:
        case Epl2Command::LineWhite:
        case Epl2Command::LineXor:
        case Epl2Command::LineDiagonal:
        case Epl2Command::Box:
        case Epl2Command::GraphicWrite:
        case Epl2Command::GraphicRecall:
            buffer(command, line, shown, form);
            return;
        case Epl2Command::GraphicStore:
            return; // its data is read by the stream
        case Epl2Command::GraphicDelete:
            if (command.name == "*")
                m_memory.graphics.clear();
            else
                m_memory.graphics.remove(command.name);
            ++m_memory.generation;
            return;
        case Epl2Command::GraphicList:
            return; // a reply to the host, which a printer gives; nothing is drawn
        case Epl2Command::CodePage:
            m_memory.settings.codePage = command.value;
            return;
        case Epl2Command::Reference:
            m_memory.settings.reference = QPoint(command.numbers[0], command.numbers[1]);
            return;
        case Epl2Command::Direction:
            m_memory.settings.bottomFirst = command.data == "B";
            return;
        case Epl2Command::FormBackup:
            m_memory.settings.formBackup = command.data;
            return;
        case Epl2Command::Options:
            m_memory.settings.options = command.data;
            return;
        case Epl2Command::Variable:
        case Epl2Command::Counter:
            if (form.isEmpty()) {
                note(line, QStringLiteral("%1: variables and counters belong in a stored form").arg(shown));
                return;
            }
            declare(command);
            return;
        case Epl2Command::FormDelete:
            if (command.name == "*")
                m_memory.forms.clear();
            else
                m_memory.forms.remove(command.name);
            ++m_memory.generation;
            return;
        case Epl2Command::FormStore:
            if (m_memory.forms.contains(command.name)) {
                note(line, QStringLiteral("%1: the form is already stored; FK must delete it first").arg(shown));
                return;
            }
            m_storing = true;
            m_storingName = command.name;
            m_storingLine = line;
            m_storedBytes = 0;
            return;
        case Epl2Command::FormEnd:
            note(line, QStringLiteral("%1: no FS started a form").arg(shown));
            return;
        case Epl2Command::FormRecall:
            recall(command.name, line, shown);
            return;
        case Epl2Command::DataFollows:
            if (!m_recalled) {
                note(line, QStringLiteral("%1: no form was recalled with FR").arg(shown));
                return;
            }
            m_dataLine = line;
            m_pending.clear();
            for (auto it = m_variables.keyValueBegin(); it != m_variables.keyValueEnd(); ++it)
                m_pending << DataSlot{false, it->first};
            for (auto it = m_counters.keyValueBegin(); it != m_counters.keyValueEnd(); ++it)
                m_pending << DataSlot{true, it->first};
            std::sort(m_pending.begin(), m_pending.end(), [](const DataSlot& a, const DataSlot& b) {
                return a.counter != b.counter ? !a.counter : a.number < b.number;
            });
            return;
        case Epl2Command::Print:
            print(command, line);
            return;
        }
    }

    // A bar code or 2-D code moved by the reference point and, when its data is quoted, encoded now; false,
    // with a note, when the data cannot be encoded.
    template <typename Field, typename Code, typename Encode>
    bool placeCode(Field& placed, const Field& given, Code& code, Encode encode, QPoint reference, int line,
                   const QString& shown)
    {
        placed = given;
        placed.x += reference.x();
        placed.y += reference.y();
        if (placed.source != TextSource::Quoted)
            return true;
        code = encode(placed, placed.text);
        if (code.error.isEmpty())
            return true;
        note(line, QStringLiteral("%1: %2").arg(shown, code.error));
        return false;
    }

    // A drawing command into the image buffer, moved by the reference point; bar codes with quoted data are
    // encoded here, so that data they cannot take is noted at their own line.
    void buffer(const Epl2Command& command, int line, const QString& shown, const QByteArray& form)
    {
        if (m_buffer.size() >= kMaxLabelItems) {
            if (!std::exchange(m_bufferFullNoted, true))
                note(line, QStringLiteral("%1: a label takes at most %2 fields, lines and graphics; N clears them")
                               .arg(shown)
                               .arg(kMaxLabelItems));
            return;
        }
        const QPoint r = m_memory.settings.reference;
        BufferedField item;
        item.kind = command.kind;
        item.line = line;
        item.form = form;
        TextSource source = TextSource::Quoted;
        switch (command.kind) {
        case Epl2Command::Text:
            item.field = command.field;
            item.field.x += r.x();
            item.field.y += r.y();
            source = item.field.source;
            break;
        case Epl2Command::Barcode:
            if (!placeCode(item.barcode, command.barcode, item.bars, encodeLinear, r, line, shown))
                return;
            source = item.barcode.source;
            break;
        case Epl2Command::Code2D:
            if (!placeCode(item.matrix, command.matrix, item.modules, encodeMatrix, r, line, shown))
                return;
            source = item.matrix.source;
            break;
        case Epl2Command::GraphicRecall: {
            const auto found = m_memory.graphics.constFind(command.name);
            if (found == m_memory.graphics.constEnd()) {
                note(line, QStringLiteral("%1: no such graphic was stored").arg(shown));
                return;
            }
            item.picture = *found;
            break;
        }
        case Epl2Command::GraphicWrite:
            if (m_bufferedBits + command.data.size() > kMaxBufferedGraphicBytes) {
                note(line, QStringLiteral("GW: the label holds more than %1 bytes of GW pictures; N clears them")
                               .arg(kMaxBufferedGraphicBytes));
                return;
            }
            m_bufferedBits += command.data.size();
            item.bits = command.data;
            break;
        default:
            break;
        }
        std::copy(std::begin(command.numbers), std::end(command.numbers), std::begin(item.numbers));
        item.numbers[0] += r.x();
        item.numbers[1] += r.y();
        if (command.kind == Epl2Command::LineDiagonal || command.kind == Epl2Command::Box) {
            item.numbers[3] += r.x();
            item.numbers[4] += r.y();
        }
        if (source != TextSource::Quoted && form.isEmpty()) {
            note(line, QStringLiteral("%1: a variable or counter only prints from a stored form").arg(shown));
            return;
        }
        m_buffer << item;
    }

    void declare(const Epl2Command& command)
    {
        if (command.kind == Epl2Command::Variable)
            m_variables.insert(command.number, Variable{command.value, command.justify, QByteArray()});
        else
            m_counters.insert(command.number,
                              Counter{command.value, command.justify, command.step, QByteArray(), false, 0});
    }

    void recall(const QByteArray& name, int line, const QString& shown)
    {
        const auto found = m_memory.forms.constFind(name);
        if (found == m_memory.forms.constEnd()) {
            note(line, QStringLiteral("%1: no such form was stored").arg(shown));
            return;
        }
        m_recalled = true;
        m_variables.clear();
        m_counters.clear();
        // Declarations and settings first, then what the form draws, in its order.
        const QList<StoredLine> stored = *found;
        QList<std::pair<Epl2Command, const StoredLine*>> drawn;
        for (const StoredLine& each : stored) {
            const Epl2Command command = readEpl2Command(each.text);
            if (!command.error.isEmpty())
                continue;
            if (draws(command.kind))
                drawn.append({command, &each});
            else
                execute(command, each.line, QByteArrayView(), name);
        }
        for (const auto& [command, each] : std::as_const(drawn)) {
            TextSource source = TextSource::Quoted;
            int number = 0;
            if (command.kind == Epl2Command::Text) {
                source = command.field.source;
                number = command.field.number;
            } else if (command.kind == Epl2Command::Barcode) {
                source = command.barcode.source;
                number = command.barcode.number;
            } else if (command.kind == Epl2Command::Code2D) {
                source = command.matrix.source;
                number = command.matrix.number;
            }
            const bool declared =
                source == TextSource::Quoted ||
                (source == TextSource::Variable ? m_variables.contains(number) : m_counters.contains(number));
            if (!declared) {
                note(each->line,
                     QStringLiteral("the form \"%1\" prints %2%3, which it does not declare")
                         .arg(printableExcerpt(name), QLatin1String(source == TextSource::Variable ? "V" : "C"))
                         .arg(number, source == TextSource::Variable ? 2 : 1, 10, QLatin1Char('0')));
                continue;
            }
            buffer(command, each->line, printableExcerpt(each->text), name);
        }
    }

    void fill(const DataSlot& slot, QByteArrayView text, int line)
    {
        if (!slot.counter) {
            Variable& variable = m_variables[slot.number];
            variable.value = text.toByteArray();
            return;
        }
        Counter& counter = m_counters[slot.number];
        counter.text = text.first(std::min<qsizetype>(text.size(), counter.digits)).toByteArray();
        const bool digits = !counter.text.isEmpty() && std::all_of(counter.text.begin(), counter.text.end(),
                                                                   [](char c) { return c >= '0' && c <= '9'; });
        counter.steps = digits;
        counter.value = digits ? counter.text.toLongLong() : 0;
        if (!digits)
            note(line, QStringLiteral("%1: counter C%2 steps only from a number; it prints this text on every label")
                           .arg(printableExcerpt(text))
                           .arg(slot.number));
    }

    QByteArray counterText(const Counter& counter, quint64 labelsAhead) const
    {
        if (!counter.steps)
            return counter.text;
        const qint64 modulus = modulusOf(counter);
        // The step times the labels ahead stays far inside 64 bits: steps are below 10^6, labels below 2^33.
        qint64 value = (counter.value + qint64(labelsAhead % quint64(modulus)) * counter.step) % modulus;
        if (value < 0)
            value += modulus;
        return QByteArray::number(value).rightJustified(counter.text.size(), '0');
    }

    void print(const Epl2Command& command, int line)
    {
        // Label by label, each copy after its label, until enough are drawn.
        const qint64 printed = qint64(command.value) * command.copies;
        qint64 room = m_options.maxLabels - m_drawn;
        if (m_options.maxLabelsPerPrint > 0)
            room = std::min<qint64>(room, m_options.maxLabelsPerPrint);
        const qint64 wanted = std::clamp<qint64>(room, 0, printed);
        for (qint64 i = 0; i < wanted; ++i) {
            ++m_drawn;
            m_sink.label(drawLabel(m_labelsPrinted + quint64(i) + 1, quint64(i / command.copies), line));
        }
        m_labelsPrinted += quint64(command.value) * quint64(command.copies);
        // Kept within the counter's digits, so that no number of P lines can run it past 64 bits.
        for (auto it = m_counters.begin(); it != m_counters.end(); ++it)
            it->value = it->steps ? (it->value + qint64(command.value) * it->step) % modulusOf(*it) : it->value;
    }

    // 10 to the power of the counter's digits (1 to 18): where its value wraps around.
    static qint64 modulusOf(const Counter& counter)
    {
        qint64 modulus = 1;
        for (int i = 0; i < counter.digits; ++i)
            modulus *= 10;
        return modulus;
    }

    // "LO line", "X box", "GW graphic": what a drawing command other than a field draws, by its command.
    static QString shapeName(Epl2Command::Kind kind)
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

    static bool draws(Epl2Command::Kind kind)
    {
        switch (kind) {
        case Epl2Command::Text:
        case Epl2Command::Barcode:
        case Epl2Command::Code2D:
        case Epl2Command::LineBlack:
        case Epl2Command::LineWhite:
        case Epl2Command::LineXor:
        case Epl2Command::LineDiagonal:
        case Epl2Command::Box:
        case Epl2Command::GraphicWrite:
        case Epl2Command::GraphicRecall:
            return true;
        default:
            break;
        }
        return false;
    }

    QByteArray dataOf(TextSource source, const QByteArray& text, int number, quint64 labelsAhead) const
    {
        if (source == TextSource::Variable) {
            const Variable& variable = m_variables.value(number);
            return justified(variable.value, variable.length, variable.justify);
        }
        if (source == TextSource::Counter) {
            const Counter& counter = m_counters.value(number);
            return justified(counterText(counter, labelsAhead), counter.digits, counter.justify);
        }
        return text;
    }

    QByteArray textOf(const BufferedField& buffered, quint64 labelsAhead) const
    {
        switch (buffered.kind) {
        case Epl2Command::Barcode:
            return dataOf(buffered.barcode.source, buffered.barcode.text, buffered.barcode.number, labelsAhead);
        case Epl2Command::Code2D:
            return dataOf(buffered.matrix.source, buffered.matrix.text, buffered.matrix.number, labelsAhead);
        default:
            break;
        }
        const TextField& field = buffered.field;
        return dataOf(field.source, field.text, field.number, labelsAhead);
    }

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
    };

    // A bar code's human-readable text: font 1 to 4 by its narrow width, 2 dots below the bars.
    static TextField readableText(const BarcodeField& barcode, const LinearCode& bars, int barsLength)
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

    static int sum(const QList<int>& values)
    {
        int total = 0;
        for (const int v : values)
            total += v;
        return total;
    }

    // The size in dots of a two-dimensional code's modules (and quiet zone).
    static QSize matrixSize(const MatrixCode& code)
    {
        if (code.hexagonal)
            return QSize(code.columns * code.moduleWidth + code.moduleWidth / 2,
                         (code.rows - 1) * code.moduleHeight + kHexHeight);
        return QSize((code.columns + 2 * code.quietModules) * code.moduleWidth,
                     (code.rows + 2 * code.quietModules) * code.moduleHeight);
    }

    Layout layout(const BufferedField& item, quint64 labelsAhead, bool firstLabel, int printLine)
    {
        Layout out;
        const int* n = item.numbers;
        switch (item.kind) {
        case Epl2Command::Text: {
            out.text = textOf(item, labelsAhead);
            const QString text = fromCodePage(m_memory.settings.codePage, out.text);
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
            out.text = textOf(item, labelsAhead);
            out.bars = item.barcode.source == TextSource::Quoted ? item.bars : encodeLinear(item.barcode, out.text);
            if (!out.bars.error.isEmpty() && firstLabel)
                noteNotDrawn("the bar code", item.line, printLine, out.bars.error);
            out.field.text = QString::fromLatin1(out.text);
            if (out.bars.elements.isEmpty())
                break;
            const int length = sum(out.bars.elements);
            QRect all = turnedRect(item.barcode.x, item.barcode.y, item.barcode.rotation,
                                   QRect(0, 0, length, item.barcode.height));
            if (item.barcode.readable && !out.bars.readable.isEmpty()) {
                const TextField text = readableText(item.barcode, out.bars, length);
                all |= cellsRect(text, 0, int(out.bars.readable.size()));
            }
            out.field.cells = out.field.ink = out.extent = all;
            out.isField = true;
            break;
        }
        case Epl2Command::Code2D: {
            out.text = textOf(item, labelsAhead);
            out.modules = item.matrix.source == TextSource::Quoted ? item.modules : encodeMatrix(item.matrix, out.text);
            if (!out.modules.error.isEmpty() && firstLabel)
                noteNotDrawn("the code", item.line, printLine, out.modules.error);
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
        return out;
    }

    void paint(QImage& image, const BufferedField& item, const Layout& out)
    {
        const int* n = item.numbers;
        switch (item.kind) {
        case Epl2Command::Text:
            drawField(image, item.field, out.text);
            return;
        case Epl2Command::Barcode: {
            const BarcodeField& b = item.barcode;
            int u = 0;
            for (int i = 0; i < out.bars.elements.size(); ++i) {
                const int width = out.bars.elements.at(i);
                if (i % 2 == 0)
                    paintRect(image, turnedRect(b.x, b.y, b.rotation, QRect(u, 0, width, b.height)), Paint::Black);
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
    static void paintDiagonal(QImage& image, int x1, int y1, int x2, int y2, int thickness)
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

    // PDF417's data under its symbol (p1): font 1, 2 dots below the rows, as many characters as the symbol is
    // wide.
    static TextField pdfText(const MatrixCode& code, const QByteArray& text, int* characters)
    {
        TextField field;
        const QSize size = matrixSize(code);
        field.y = size.height() + 2;
        *characters = std::min<int>(int(text.size()), size.width() / kFontCells[0].width);
        return field;
    }

    // The dots a two-dimensional code takes on the label: PDF417 with its printed data and turned by o.
    static QSize placedSize(const MatrixField& field, const MatrixCode& code, const QByteArray& text)
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

    // A PDF417 drawn alone, black on white, with its printed data and turned as it lies on the label.
    QImage pdfPicture(const MatrixField& field, const MatrixCode& code, const QByteArray& text)
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

    static void paintModules(QImage& image, const MatrixField& field, const MatrixCode& code, QPoint origin)
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
    static void paintHexagon(QImage& image, QPoint at, int width)
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
    static void paintBullseye(QImage& image, QPoint centre)
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

    RenderedLabel drawLabel(quint64 number, quint64 labelsAhead, int line)
    {
        RenderedLabel label;
        label.number = number;
        label.line = line;
        const bool firstLabel = labelsAhead == 0;
        QList<Layout> layouts;
        layouts.reserve(m_buffer.size());
        QRect extent;
        for (const BufferedField& item : std::as_const(m_buffer)) {
            layouts << layout(item, labelsAhead, firstLabel, line);
            extent |= layouts.last().extent;
        }

        const std::optional<int>& knownWidth = m_memory.settings.width;
        const std::optional<int>& knownLength = m_memory.settings.length;
        if (!knownWidth && firstLabel)
            note(line, QStringLiteral("P: no q line gave the label width; the picture is as wide as the print"));
        if (!knownLength && firstLabel)
            note(line, QStringLiteral("P: no Q line gave the label length; the picture is as long as the print"));
        const int width = knownWidth ? *knownWidth : std::clamp(extent.right() + 1, 1, kMaxLabelDots);
        const int length = knownLength ? *knownLength : std::clamp(extent.bottom() + 1, 1, kMaxLabelDots);
        label.dots = QSize(width, length);

        QImage image(width, length, QImage::Format_Grayscale8);
        image.fill(255);
        // Each item costs the dots of it that land on the label; past the budget the rest is not drawn, so that
        // no job can keep the drawing busy for long.
        qint64 budget = kMaxDrawnDots;
        for (int i = 0; i < m_buffer.size(); ++i) {
            const QRect onImage = layouts.at(i).extent & image.rect();
            budget -= qint64(onImage.width()) * onImage.height();
            if (budget < 0) {
                if (firstLabel)
                    note(m_buffer.at(i).line, QStringLiteral("the label has more to draw than %1 dots; the rest of "
                                                             "it from this line on is not drawn")
                                                  .arg(kMaxDrawnDots));
                break;
            }
            paint(image, m_buffer.at(i), layouts.at(i));
        }

        // Edges are named as the label reads, as the job laid it out: under ZB the picture is turned, but a field
        // past the end of its line is still past the right edge.
        const auto pastEdges = [&](const QRect& ink, const std::function<void(LabelEdge, int)>& add) {
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
                pastEdges(each.field.ink, [&](LabelEdge edge, int dots) {
                    label.overruns << EdgeOverrun{fieldIndex, edge, dots};
                });
                ++fieldIndex;
                continue;
            }
            const BufferedField& item = m_buffer.at(i);
            pastEdges(each.extent, [&](LabelEdge edge, int dots) {
                label.shapeOverruns << ShapeOverrun{shapeName(item.kind), item.line, QString::fromLatin1(item.form),
                                                    edge, dots};
            });
        }

        // ZB prints the image buffer from its other end: the label comes out turned half a turn.
        const bool turn = m_memory.settings.bottomFirst;
        if (turn)
            image = image.mirrored(true, true);
        const auto onLabel = [&](const QRect& r) {
            return turn && !r.isNull() ? QRect(width - 1 - r.right(), length - 1 - r.bottom(), r.width(), r.height())
                                       : r;
        };
        for (Layout& each : layouts) {
            if (!each.isField)
                continue;
            each.field.cells = onLabel(each.field.cells);
            each.field.ink = onLabel(each.field.ink);
            label.fields << each.field;
        }

        int scale = m_options.scale;
        if (qint64(width) * length * scale * scale > kMaxPicturePixels) {
            if (firstLabel && scale > 1)
                note(line,
                     QStringLiteral("P: the label is too large to draw at %1 pixels per dot; drawn at 1").arg(scale));
            scale = 1;
        }
        label.image = scale == 1 ? image : enlarged(image, scale);
        return label;
    }

    void drawField(QImage& image, const TextField& field, const QByteArray& text)
    {
        const CellSize cell = cellOf(field);
        const QRect picture = image.rect();
        const int page = m_memory.settings.codePage;
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

    PrinterMemory& m_memory;
    const RenderOptions m_options;
    CellGlyphs& m_glyphs;
    LabelSink& m_sink;

    QByteArray m_partial; // the line read so far
    int m_line = 0;       // lines ended so far
    bool m_overlong = false;
    QByteArray m_overlongStart;
    qint64 m_overlongBytes = 0;

    quint64 m_labelsPrinted = 0;
    qint64 m_drawn = 0;
    QList<BufferedField> m_buffer;

    bool m_storing = false;
    QByteArray m_storingName;
    int m_storingLine = 0;
    QList<StoredLine> m_storingLines;
    qint64 m_storedBytes = 0;
    bool m_bufferFullNoted = false;
    qint64 m_bufferedBits = 0; // bytes of GW pictures in the buffer

    // Binary data after a GW header or a GM line.
    qsizetype m_dataLeft = 0;
    bool m_dataDiscard = false;
    Epl2Command::Kind m_dataKind = Epl2Command::GraphicWrite;
    QByteArray m_data;
    int m_graphicLine = 0;
    QByteArray m_graphicName;
    bool m_graphicInForm = false;
    int m_afterData = 0;      // 1: a line end may follow the data; 2: its CR has come
    bool m_notHeader = false; // the line read so far starts with GW but is no GW header

    bool m_recalled = false;
    QMap<int, Variable> m_variables;
    QMap<int, Counter> m_counters;
    QList<DataSlot> m_pending;
    int m_dataLine = 0;
};

} // namespace

qint64 storedFormBytes(const PrinterMemory& memory)
{
    qint64 total = 0;
    for (const QList<StoredLine>& form : memory.forms) {
        for (const StoredLine& line : form)
            total += line.text.size();
    }
    return total;
}

qint64 storedGraphicDots(const PrinterMemory& memory)
{
    qint64 total = 0;
    for (const QImage& graphic : memory.graphics)
        total += qint64(graphic.width()) * graphic.height();
    return total;
}

QString checkRenderOptions(const RenderOptions& options)
{
    if (options.scale < 1 || options.scale > kMaxRenderScale)
        return QStringLiteral("the scale is 1 to %1 pixels per dot").arg(kMaxRenderScale);
    if (options.maxLabels < 0 || options.maxLabelsPerPrint < 0)
        return QStringLiteral("the number of labels to draw cannot be negative");
    return QString();
}

struct LabelStream::Private
{
    Private(PrinterMemory& memory, const RenderOptions& options, CellGlyphs& glyphs, LabelSink& sink)
        : interpreter(memory, options, glyphs, sink)
    {
    }
    JobInterpreter interpreter;
};

LabelStream::LabelStream(PrinterMemory& memory, const RenderOptions& options, LabelSink& sink)
{
    m_error = checkRenderOptions(options);
    if (!m_error.isEmpty())
        return;
    CellGlyphs* glyphs = CellGlyphs::instance(&m_error);
    if (glyphs)
        d = std::make_unique<Private>(memory, options, *glyphs, sink);
}

LabelStream::~LabelStream() = default;

void LabelStream::feed(QByteArrayView bytes)
{
    if (d)
        d->interpreter.feed(bytes);
}

void LabelStream::finish()
{
    if (d)
        d->interpreter.finish();
}

quint64 LabelStream::labelsPrinted() const
{
    return d ? d->interpreter.labelsPrinted() : 0;
}

int LabelStream::lines() const
{
    return d ? d->interpreter.lines() : 0;
}

namespace {

// Collects what a whole job prints into a RenderResult.
class ResultSink final : public LabelSink
{
public:
    explicit ResultSink(RenderResult& result) : m_result(result) {}
    void label(RenderedLabel&& label) override { m_result.labels << std::move(label); }
    void note(const JobNote& note) override
    {
        if (m_result.notUnderstood.size() < kMaxNotes)
            m_result.notUnderstood << note;
    }

private:
    RenderResult& m_result;
};

} // namespace

RenderResult renderJob(const QByteArray& job, const RenderOptions& options)
{
    RenderResult result;
    PrinterMemory memory;
    ResultSink sink(result);
    LabelStream stream(memory, options, sink);
    if (!stream.error().isEmpty()) {
        result.error = stream.error();
        return result;
    }
    stream.feed(job);
    stream.finish();
    result.labelsPrinted = stream.labelsPrinted();
    return result;
}

QString edgeName(LabelEdge edge)
{
    switch (edge) {
    case LabelEdge::Left:
        return QStringLiteral("left");
    case LabelEdge::Top:
        return QStringLiteral("top");
    case LabelEdge::Right:
        return QStringLiteral("right");
    case LabelEdge::Bottom:
        break;
    }
    return QStringLiteral("bottom");
}

QString describeField(const RenderedLabel& label, int field)
{
    const RenderedField& f = label.fields.at(field);
    const QString where =
        f.form.isEmpty() ? QStringLiteral("job line %1").arg(f.line)
                         : QStringLiteral("job line %1, form %2").arg(f.line).arg(printableExcerpt(f.form.toLatin1()));
    return QStringLiteral("field %1 \"%2\" (%3)")
        .arg(field + 1)
        .arg(printableExcerpt(f.text.trimmed().toLatin1(), 24), where);
}

QString describeOverrun(const ShapeOverrun& overrun)
{
    const QString where =
        overrun.form.isEmpty()
            ? QStringLiteral("job line %1").arg(overrun.line)
            : QStringLiteral("job line %1, form %2").arg(overrun.line).arg(printableExcerpt(overrun.form.toLatin1()));
    return QStringLiteral("%1 (%2) runs %3 dot%4 past the %5 edge")
        .arg(overrun.what, where)
        .arg(overrun.dots)
        .arg(QLatin1String(overrun.dots == 1 ? "" : "s"))
        .arg(edgeName(overrun.edge));
}

QString describeOverrun(const RenderedLabel& label, const EdgeOverrun& overrun)
{
    return QStringLiteral("%1 runs %2 dot%3 past the %4 edge")
        .arg(describeField(label, overrun.field))
        .arg(overrun.dots)
        .arg(QLatin1String(overrun.dots == 1 ? "" : "s"))
        .arg(edgeName(overrun.edge));
}

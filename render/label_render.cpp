#include "render/label_render.h"

#include "render/epl2_commands.h"
#include "render/glyph_cells.h"

#include <QHash>
#include <QMap>

#include <algorithm>
#include <cstring>
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

// The dot that pixel (u, v) of the unturned field lands on.
QPoint turned(const TextField& field, int u, int v)
{
    switch (field.rotation) {
    case 1:
        return QPoint(field.x - 1 - v, field.y + u);
    case 2:
        return QPoint(field.x - 1 - u, field.y - 1 - v);
    case 3:
        return QPoint(field.x + v, field.y - 1 - u);
    default:
        break;
    }
    return QPoint(field.x + u, field.y + v);
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

// A field in the image buffer.
struct BufferedField
{
    TextField field;
    int line = 0;
    QByteArray form;
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
    }

    void take(QByteArrayView text, int line)
    {
        if (!m_pending.isEmpty()) {
            fill(m_pending.takeFirst(), text, line);
            return;
        }
        if (!m_storing && m_sink.printerCommand(text, line))
            return;
        const Epl2Command command = readEpl2Command(text);
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
        case Epl2Command::FormEnd:
            m_memory.forms.insert(m_storingName, m_storingLines);
            ++m_memory.generation;
            m_storing = false;
            m_storingLines.clear();
            return;
        case Epl2Command::Blank:
            return;
        case Epl2Command::Density:
        case Epl2Command::Speed:
        case Epl2Command::Width:
        case Epl2Command::Length:
        case Epl2Command::Text:
        case Epl2Command::Variable:
        case Epl2Command::Counter:
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
        case Epl2Command::Options:
            return;
        case Epl2Command::Density:
            m_memory.settings.density = command.value;
            return;
        case Epl2Command::Speed:
            m_memory.settings.speed = command.value;
            return;
        case Epl2Command::Clear:
            m_buffer.clear();
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
            if (command.field.source != TextSource::Quoted && form.isEmpty()) {
                note(line, QStringLiteral("%1: a variable or counter only prints from a stored form").arg(shown));
                return;
            }
            m_buffer << BufferedField{command.field, line, form};
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
        QList<std::pair<Epl2Command, int>> fields;
        for (const StoredLine& each : *found) {
            const Epl2Command command = readEpl2Command(each.text);
            if (command.kind == Epl2Command::Text)
                fields.append({command, each.line});
            else if (command.error.isEmpty())
                execute(command, each.line, QByteArrayView(), name);
        }
        for (const auto& [command, fieldLine] : std::as_const(fields)) {
            const TextField& field = command.field;
            const bool declared = field.source == TextSource::Quoted ||
                                  (field.source == TextSource::Variable ? m_variables.contains(field.number)
                                                                        : m_counters.contains(field.number));
            if (!declared) {
                note(fieldLine,
                     QStringLiteral("the form \"%1\" prints %2%3, which it does not declare")
                         .arg(printableExcerpt(name), QLatin1String(field.source == TextSource::Variable ? "V" : "C"))
                         .arg(field.number, field.source == TextSource::Variable ? 2 : 1, 10, QLatin1Char('0')));
                continue;
            }
            m_buffer << BufferedField{field, fieldLine, name};
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

    QByteArray textOf(const BufferedField& buffered, quint64 labelsAhead) const
    {
        const TextField& field = buffered.field;
        if (field.source == TextSource::Variable) {
            const Variable& variable = m_variables.value(field.number);
            return justified(variable.value, variable.length, variable.justify);
        }
        if (field.source == TextSource::Counter) {
            const Counter& counter = m_counters.value(field.number);
            return justified(counterText(counter, labelsAhead), counter.digits, counter.justify);
        }
        return field.text;
    }

    RenderedLabel drawLabel(quint64 number, quint64 labelsAhead, int line)
    {
        RenderedLabel label;
        label.number = number;
        label.line = line;
        QList<QByteArray> texts;
        QRect extent;
        for (const BufferedField& buffered : std::as_const(m_buffer)) {
            const QByteArray text = textOf(buffered, labelsAhead);
            RenderedField field;
            field.line = buffered.line;
            field.form = QString::fromLatin1(buffered.form);
            field.text = QString::fromLatin1(text);
            field.reverse = buffered.field.reverse;
            field.cells = cellsRect(buffered.field, 0, int(text.size()));
            qsizetype first = 0;
            while (first < text.size() && !printsInk(uchar(text[first])))
                ++first;
            qsizetype last = text.size() - 1;
            while (last >= first && !printsInk(uchar(text[last])))
                --last;
            if (field.reverse)
                field.ink = field.cells;
            else if (first <= last)
                field.ink = cellsRect(buffered.field, int(first), int(last - first + 1));
            extent |= field.cells;
            label.fields << field;
            texts << text;
        }

        const std::optional<int>& knownWidth = m_memory.settings.width;
        const std::optional<int>& knownLength = m_memory.settings.length;
        const bool firstLabel = labelsAhead == 0;
        if (!knownWidth && firstLabel)
            note(line, QStringLiteral("P: no q line gave the label width; the picture is as wide as the print"));
        if (!knownLength && firstLabel)
            note(line, QStringLiteral("P: no Q line gave the label length; the picture is as long as the print"));
        const int width = knownWidth ? *knownWidth : std::clamp(extent.right() + 1, 1, kMaxLabelDots);
        const int length = knownLength ? *knownLength : std::clamp(extent.bottom() + 1, 1, kMaxLabelDots);
        label.dots = QSize(width, length);

        for (int i = 0; i < label.fields.size(); ++i) {
            const QRect& ink = label.fields.at(i).ink;
            if (ink.isEmpty())
                continue;
            const int past[] = {-ink.left(), -ink.top(), ink.right() + 1 - width, ink.bottom() + 1 - length};
            const LabelEdge edges[] = {LabelEdge::Left, LabelEdge::Top, LabelEdge::Right, LabelEdge::Bottom};
            for (int e = 0; e < 4; ++e) {
                const bool known =
                    (edges[e] != LabelEdge::Right || knownWidth) && (edges[e] != LabelEdge::Bottom || knownLength);
                if (past[e] > 0 && known)
                    label.overruns << EdgeOverrun{i, edges[e], past[e]};
            }
        }

        QImage image(width, length, QImage::Format_Grayscale8);
        image.fill(255);
        for (int i = 0; i < m_buffer.size(); ++i)
            drawField(image, m_buffer.at(i).field, texts.at(i));

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
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (!cellsRect(field, int(i), 1).intersects(picture))
                continue;
            const uchar byte = uchar(text[i]);
            const bool letter = printsInk(byte);
            if (!letter && !field.reverse)
                continue;
            const GlyphBitmap* glyph = letter ? &m_glyphs.glyph(byte, cell.width, cell.height) : nullptr;
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

    bool m_recalled = false;
    QMap<int, Variable> m_variables;
    QMap<int, Counter> m_counters;
    QList<DataSlot> m_pending;
    int m_dataLine = 0;
};

} // namespace

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

QString describeOverrun(const RenderedLabel& label, const EdgeOverrun& overrun)
{
    return QStringLiteral("%1 runs %2 dot%3 past the %4 edge")
        .arg(describeField(label, overrun.field))
        .arg(overrun.dots)
        .arg(QLatin1String(overrun.dots == 1 ? "" : "s"))
        .arg(edgeName(overrun.edge));
}

#include "render/label_render.h"

#include "render/asian_text.h"
#include "render/barcodes.h"
#include "render/code_pages.h"
#include "render/epl2_commands.h"
#include "render/field_layout.h"
#include "render/glyph_cells.h"
#include "render/job_forms.h"
#include "render/label_painter.h"
#include "render/line_reader.h"
#include "render/message_words.h"

#include <algorithm>
#include <optional>

namespace {

// Pictures larger than this many pixels are drawn at one pixel per dot instead.
constexpr qint64 kMaxPicturePixels = qint64(kMaxLabelDots) * kMaxLabelDots;
// Not-understood lines noted at most in a RenderResult; a job of nothing but garbage is not copied into it.
constexpr int kMaxNotes = 1000;
// What one label may draw, counted in dots of each item on the label (four times the largest label).
constexpr qint64 kMaxDrawnDots = qint64(4) * kMaxLabelDots * kMaxLabelDots;
// Bytes of GW pictures one label may hold.
constexpr qint64 kMaxBufferedGraphicBytes = 64 * 1024 * 1024;

// Carries out the lines of a stream as the reader hands them over: settings into the printer's memory,
// drawing commands into the image buffer, stored forms through JobForms, and at P the labels, laid out by
// placeItem and painted by LabelPainter.
class JobInterpreter final : public LineReader::Client
{
public:
    JobInterpreter(PrinterMemory& memory, const RenderOptions& options, CellGlyphs& glyphs, LabelSink& sink)
        : m_memory(memory), m_options(options), m_glyphs(glyphs), m_sink(sink), m_reader(*this),
          m_forms(memory, [this](int line, const QString& text) { note(line, text); })
    {
    }

    void feed(QByteArrayView bytes) { m_reader.feed(bytes); }

    void finish()
    {
        m_reader.finish();
        m_forms.finish();
    }

    quint64 labelsPrinted() const { return m_labelsPrinted; }
    int lines() const { return m_reader.lines(); }

    void note(int line, const QString& text) override { m_sink.note(JobNote{line, text}); }

private:
    // A code that could not be encoded: "<what> of line N is not drawn on the label of line M: <why>".
    void noteNotDrawn(const char* what, int line, int printLine, const QString& why)
    {
        note(line, QStringLiteral("%1 of line %2 is not drawn on the label of line %3: %4")
                       .arg(QLatin1String(what), QString::number(line), QString::number(printLine), why));
    }

    bool takesGraphicHeaders() const override { return !m_forms.expectsData(); }

    bool graphicHeader(QByteArrayView header, int line) override
    {
        return !m_forms.storing() && m_sink.printerCommand(header, line);
    }

    // GM: its data, a PCX file, follows the line; `skipped` when the printer carried the line out itself.
    void startGraphicStore(const Epl2Command& command, int line, bool skipped)
    {
        m_graphicName = command.name;
        m_graphicInForm = m_forms.storing();
        m_reader.expectData(command.value, line, skipped, "GM");
    }

    // ES"name": the font's data follows whatever the name; a name that is none is noted when it has arrived.
    void startSoftFont(QByteArrayView text)
    {
        const Epl2Command command = readEpl2Command(text);
        m_softFontData = true;
        m_graphicName = command.name;
        m_softFontProblem =
            !command.error.isEmpty() ? QStringLiteral("%1: %2").arg(printableExcerpt(text), command.error)
            : m_forms.storing() ? QStringLiteral("ES: soft fonts cannot be stored in a form (FE is missing before it)")
                                : QString();
    }

    void data(QByteArray bytes, int line) override
    {
        QString problem;
        if (std::exchange(m_softFontData, false))
            problem = m_softFontProblem.isEmpty() ? storeSoftFont(m_memory, m_graphicName, bytes) : m_softFontProblem;
        else if (m_graphicInForm)
            problem = QStringLiteral("GM: graphics cannot be stored in a form (FE is missing before it)");
        else
            problem = storeGraphic(m_memory, m_graphicName, bytes);
        if (!problem.isEmpty())
            note(line, problem);
    }

    // `offered`: the sink has been offered the line already (a GW header).
    void line(QByteArrayView text, int line, bool offered) override
    {
        if (m_forms.expectsData()) {
            m_forms.fillNext(text, line);
            return;
        }
        if (m_reader.softFontFollows()) { // offered to the printer too, its data read here whatever it answers
            if (!m_forms.storing())
                m_sink.printerCommand(text, line);
            startSoftFont(text);
            return;
        }
        if (!m_forms.storing() && !offered && m_sink.printerCommand(text, line)) {
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
        if (m_forms.storing()) {
            m_forms.store(command, line, text);
            return;
        }
        execute(command, line, text, QByteArray());
    }

    void execute(const Epl2Command& command, int line, QByteArrayView text, const QByteArray& form)
    {
        const QString shown = printableExcerpt(text);
        if (drawsIntoImageBuffer(command.kind)) {
            buffer(command, line, shown, form);
            return;
        }
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
            m_forms.clear();
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
        case Epl2Command::GraphicStore:
            return; // its data is read by the stream
        case Epl2Command::GraphicDelete:
            forget(m_memory.graphics, command.name, m_memory);
            return;
        case Epl2Command::FontDelete:
            forget(m_memory.softFonts, command.name, m_memory);
            return;
        case Epl2Command::GraphicList:
        case Epl2Command::FontList:
            return; // a reply to the host, which a printer gives; nothing is drawn
        case Epl2Command::CodePage:
            m_memory.settings.codePage = command.value;
            return;
        case Epl2Command::Spacing:
            m_memory.settings.asianSpacing = command.value;
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
            m_forms.declare(command);
            return;
        case Epl2Command::FormDelete:
            forget(m_memory.forms, command.name, m_memory);
            return;
        case Epl2Command::FormStore:
            m_forms.startStoring(command.name, line, shown);
            return;
        case Epl2Command::FormEnd:
            note(line, QStringLiteral("%1: no FS started a form").arg(shown));
            return;
        case Epl2Command::FormRecall:
            recall(command.name, line, shown);
            return;
        case Epl2Command::DataFollows:
            m_forms.startData(line, shown);
            return;
        case Epl2Command::Print:
            print(command, line);
            return;
        default:
            break;
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
        case Epl2Command::Text: {
            item.field = command.field;
            item.field.x += r.x();
            item.field.y += r.y();
            item.field.language = item.field.font >= 8 ? m_options.asian : AsianLanguage::None;
            item.field.spacing = m_memory.settings.asianSpacing;
            QString why = item.field.font >= 8 ? asianFieldProblem(item.field, m_options.asian) : QString();
            if (why.isEmpty() && item.field.font >= 8)
                m_glyphs.hasAsianFont(m_options.asian, &why);
            if (!why.isEmpty()) {
                note(line, QStringLiteral("%1: %2").arg(shown, why));
                return;
            }
            source = item.field.source;
            if (item.field.softFont != 0) {
                const auto found = m_memory.softFonts.constFind(QByteArray(1, item.field.softFont));
                if (found == m_memory.softFonts.constEnd()) {
                    note(line, QStringLiteral("%1: no soft font \"%2\" is stored")
                                   .arg(shown, QString(QLatin1Char(item.field.softFont))));
                    return;
                }
                item.softFont = std::make_shared<const SoftFont>(*found);
            }
            break;
        }
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

    void recall(const QByteArray& name, int line, const QString& shown)
    {
        const auto found = m_memory.forms.constFind(name);
        if (found == m_memory.forms.constEnd()) {
            note(line, QStringLiteral("%1: no such form was stored").arg(shown));
            return;
        }
        m_forms.startRecall();
        // Declarations and settings first, then what the form draws, in its order.
        const QList<StoredLine> stored = *found;
        QList<std::pair<Epl2Command, const StoredLine*>> drawn;
        for (const StoredLine& each : stored) {
            const Epl2Command command = readEpl2Command(each.text);
            if (!command.error.isEmpty())
                continue;
            if (drawsIntoImageBuffer(command.kind))
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
            if (!m_forms.declares(source, number)) {
                note(each->line,
                     QStringLiteral("the form \"%1\" prints %2%3, which it does not declare")
                         .arg(printableExcerpt(name), QLatin1String(source == TextSource::Variable ? "V" : "C"))
                         .arg(number, source == TextSource::Variable ? 2 : 1, 10, QLatin1Char('0')));
                continue;
            }
            buffer(command, each->line, printableExcerpt(each->text), name);
        }
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
        m_forms.step(command.value);
    }

    QByteArray textOf(const BufferedField& buffered, quint64 labelsAhead) const
    {
        switch (buffered.kind) {
        case Epl2Command::Barcode:
            return m_forms.dataOf(buffered.barcode.source, buffered.barcode.text, buffered.barcode.number, labelsAhead);
        case Epl2Command::Code2D:
            return m_forms.dataOf(buffered.matrix.source, buffered.matrix.text, buffered.matrix.number, labelsAhead);
        default:
            break;
        }
        const TextField& field = buffered.field;
        return m_forms.dataOf(field.source, field.text, field.number, labelsAhead);
    }

    // What one item draws on this label: its data for the label, encoded where it comes from a variable or
    // counter (a code that cannot take it noted on the first label), then placed.
    Layout layout(const BufferedField& item, quint64 labelsAhead, bool firstLabel, int printLine)
    {
        Layout out;
        if (item.kind == Epl2Command::Text || item.kind == Epl2Command::Barcode || item.kind == Epl2Command::Code2D)
            out.text = textOf(item, labelsAhead);
        if (item.kind == Epl2Command::Barcode) {
            out.bars = item.barcode.source == TextSource::Quoted ? item.bars : encodeLinear(item.barcode, out.text);
            if (!out.bars.error.isEmpty() && firstLabel)
                noteNotDrawn("the bar code", item.line, printLine, out.bars.error);
        } else if (item.kind == Epl2Command::Code2D) {
            out.modules = item.matrix.source == TextSource::Quoted ? item.modules : encodeMatrix(item.matrix, out.text);
            if (!out.modules.error.isEmpty() && firstLabel)
                noteNotDrawn("the code", item.line, printLine, out.modules.error);
        }
        placeItem(item, m_memory.settings.codePage, out);
        if (!out.leftOut.isEmpty() && firstLabel)
            note(item.line, QStringLiteral("%1; left out on the label of line %2").arg(out.leftOut).arg(printLine));
        return out;
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

        LabelPainter painter(m_glyphs, m_memory.settings.codePage);
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
            painter.paint(image, m_buffer.at(i), layouts.at(i));
        }

        // Edges are named as the label reads, as the job laid it out: under ZB the picture is turned, but a field
        // past the end of its line is still past the right edge.
        findOverruns(m_buffer, layouts, label.dots, knownWidth.has_value(), knownLength.has_value(), label);

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

    PrinterMemory& m_memory;
    const RenderOptions m_options;
    CellGlyphs& m_glyphs;
    LabelSink& m_sink;
    LineReader m_reader;
    JobForms m_forms;

    quint64 m_labelsPrinted = 0;
    qint64 m_drawn = 0;
    QList<BufferedField> m_buffer;
    bool m_bufferFullNoted = false;
    qint64 m_bufferedBits = 0; // bytes of GW pictures in the buffer

    // The GM or ES whose data is being read.
    QByteArray m_graphicName;
    bool m_graphicInForm = false;
    bool m_softFontData = false;
    QString m_softFontProblem;
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

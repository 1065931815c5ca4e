#include "printer/label_printer.h"

#include "output/safe_text.h"
#include "printer/label_pdf.h"
#include "printer/printer_status.h"
#include "render/epl2_commands.h"

#include <QRegularExpression>

#include <cstdio>
#include <limits>

namespace {

QString numbered(const char* kind, quint64 number, const char* suffix)
{
    return QStringLiteral("%1-%2.%3")
        .arg(QLatin1String(kind))
        .arg(number, 6, 10, QLatin1Char('0'))
        .arg(QLatin1String(suffix));
}

// The highest number among the label and stream files already in `folder`, so that a printer started
// again on the same folder never writes over what an earlier run wrote.
void highestNumbers(const QDir& folder, quint64* label, quint64* stream)
{
    static const QRegularExpression name(QStringLiteral("^(label|stream)-(\\d{6,19})\\.(png|pdf|epl)$"));
    const QStringList files = folder.entryList(QDir::Files);
    for (const QString& file : files) {
        const QRegularExpressionMatch match = name.match(file);
        if (!match.hasMatch())
            continue;
        const quint64 number = match.captured(2).toULongLong();
        quint64* highest = match.captured(1) == QLatin1String("label") ? label : stream;
        *highest = std::max(*highest, number);
    }
}

// The commands that put something into the image buffer (not those that keep graphics in memory).
bool drawsIntoImageBuffer(Epl2Command::Kind kind)
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
        return false;
    }
}

int faultCode(PrinterFault fault)
{
    switch (fault) {
    case PrinterFault::HeadOpen:
        return kHeadUp;
    case PrinterFault::PaperOut:
        return kPaperOrRibbonEmpty;
    case PrinterFault::Paused:
        return kPaused;
    case PrinterFault::None:
        break;
    }
    return kNoError;
}

QString faultMeaning(PrinterFault fault)
{
    switch (fault) {
    case PrinterFault::HeadOpen:
        return QStringLiteral("the print head is open");
    case PrinterFault::PaperOut:
        return QStringLiteral("the paper or ribbon is out");
    case PrinterFault::Paused:
        return QStringLiteral("the printer is paused");
    case PrinterFault::None:
        break;
    }
    return QStringLiteral("ready");
}

QByteArrayView withoutTrailingBlanks(QByteArrayView line)
{
    while (!line.isEmpty() && (line.back() == ' ' || line.back() == '\t'))
        line.chop(1);
    return line;
}

} // namespace

LabelPrinter::LabelPrinter(const PrinterOptions& options, PrinterLog& log) : m_options(options), m_log(log) {}

LabelPrinter::~LabelPrinter() = default;

QString LabelPrinter::start()
{
    const QString problem = makeFolder(m_options.outDir);
    if (!problem.isEmpty())
        return QStringLiteral("cannot make the folder %1: %2").arg(visibleForMessage(m_options.outDir), problem);
    m_out = QDir(m_options.outDir);
    m_held = QDir(m_out.filePath(QStringLiteral(".held")));
    highestNumbers(m_out, &m_lastLabel, &m_lastStream);
    highestNumbers(m_held, &m_lastLabel, &m_lastStream);
    if (!m_options.memoryDir.isEmpty()) {
        m_memoryFolder = std::make_unique<MemoryFolder>(m_options.memoryDir);
        QStringList problems;
        const QString failure = m_memoryFolder->load(m_memory, problems);
        if (!failure.isEmpty())
            return failure;
        for (const QString& each : std::as_const(problems))
            m_log.write(QStringLiteral("problem"), QStringLiteral("problem: memory: %1").arg(each),
                        {{QStringLiteral("where"), QStringLiteral("memory")}, {QStringLiteral("text"), each}});
        m_savedGeneration = m_memory.generation;
        m_savedSettings = MemoryFolder::settingsText(m_memory.settings);
        m_log.write(QStringLiteral("memory"),
                    QStringLiteral("memory: %1 stored forms from %2")
                        .arg(m_memory.forms.size())
                        .arg(visibleForMessage(m_options.memoryDir)),
                    {{QStringLiteral("forms"), int(m_memory.forms.size())}});
    }
    if (m_options.fault != PrinterFault::None)
        setFault(m_options.fault);
    return QString();
}

std::unique_ptr<PrinterSession> LabelPrinter::openSession(const QString& from, ReplyLine* line)
{
    return std::make_unique<PrinterSession>(*this, from, line);
}

QString LabelPrinter::streamPath(quint64 stream) const
{
    return m_out.filePath(numbered("stream", stream, "epl"));
}

void LabelPrinter::setFault(PrinterFault fault)
{
    m_log.write(QStringLiteral("fault"), QStringLiteral("fault: %1 (%2)").arg(faultName(fault), faultMeaning(fault)),
                {{QStringLiteral("fault"), faultName(fault)}});
    const bool wasStopped = m_fault != PrinterFault::None;
    m_fault = fault;
    if (fault != PrinterFault::None) {
        for (ReplyLine* line : std::as_const(m_lines)) {
            if (m_reporting && !line->xoffSent) {
                line->send(errorNotice(faultCode(fault), true));
                line->xoffSent = true;
            }
        }
        return;
    }
    if (!wasStopped)
        return;
    const QList<HeldLabel> held = std::exchange(m_heldLabels, {});
    for (const HeldLabel& label : held) {
        const QString name = numbered("label", label.number, "png");
        if (std::rename(QFile::encodeName(m_held.filePath(name)).constData(),
                        QFile::encodeName(m_out.filePath(name)).constData()) != 0) {
            problem(label.stream, label.line,
                    QStringLiteral("cannot move the held label %1 into %2").arg(name, visibleForMessage(m_out.path())));
            continue;
        }
        const QString pdf = pdfPathBeside(name);
        if (m_options.pdf && QFileInfo::exists(m_held.filePath(pdf)) &&
            std::rename(QFile::encodeName(m_held.filePath(pdf)).constData(),
                        QFile::encodeName(m_out.filePath(pdf)).constData()) != 0)
            problem(label.stream, label.line,
                    QStringLiteral("cannot move the held label %1 into %2").arg(pdf, visibleForMessage(m_out.path())));
        logLabel(label, name);
    }
    for (ReplyLine* line : std::as_const(m_lines)) {
        if (line->xoffSent)
            line->send(QByteArray(1, kXon));
        line->xoffSent = false;
    }
}

void LabelPrinter::printLabel(const RenderedLabel& label, quint64 stream, PrinterSession& from)
{
    const HeldLabel printed{++m_lastLabel, label.dots, stream, label.line};
    for (const EdgeOverrun& overrun : label.overruns) {
        problem(stream, label.line,
                QStringLiteral("label %1: %2").arg(printed.number).arg(describeOverrun(label, overrun)));
        from.error(kObjectPastBorder);
    }
    const QString name = numbered("label", printed.number, "png");
    if (m_labelObserver)
        m_labelObserver(printed.number, label);
    if (m_fault != PrinterFault::None) {
        const QString folderProblem = makeFolder(m_held.path());
        if (!folderProblem.isEmpty()) {
            problem(stream, label.line,
                    QStringLiteral("cannot make the folder %1 (%2): label %3 is lost")
                        .arg(visibleForMessage(m_held.path()), folderProblem)
                        .arg(printed.number));
            return;
        }
        const QString failure = writePng(m_held.filePath(name), label.image);
        if (!failure.isEmpty()) {
            problem(stream, label.line, failure);
            return;
        }
        writeProof(m_held.filePath(name), label, printed);
        m_heldLabels << printed;
        m_log.write(QStringLiteral("held"),
                    QStringLiteral("label %1: held while %2, stream %3 line %4")
                        .arg(printed.number)
                        .arg(faultMeaning(m_fault))
                        .arg(stream)
                        .arg(label.line),
                    {{QStringLiteral("label"), printed.number},
                     {QStringLiteral("fault"), faultName(m_fault)},
                     {QStringLiteral("stream"), stream},
                     {QStringLiteral("line"), label.line}});
        if (m_reporting && from.m_line && !from.m_line->xoffSent) {
            from.reply(errorNotice(faultCode(m_fault), true));
            from.m_line->xoffSent = true;
        }
    } else {
        const QString failure = writePng(m_out.filePath(name), label.image);
        if (!failure.isEmpty()) {
            problem(stream, label.line, failure);
        } else {
            writeProof(m_out.filePath(name), label, printed);
            logLabel(printed, name);
        }
    }
    if (m_stopCheck)
        m_stopCheck();
}

void LabelPrinter::writeProof(const QString& pngPath, const RenderedLabel& label, const HeldLabel& printed)
{
    if (!m_options.pdf)
        return;
    const QString failure = writeLabelPdf(pdfPathBeside(pngPath), label.image, label.dots, m_options.dpi);
    if (!failure.isEmpty())
        problem(printed.stream, printed.line, QStringLiteral("label %1: %2").arg(printed.number).arg(failure));
}

void LabelPrinter::forgetStored()
{
    const int forms = storedForms();
    const int graphics = storedGraphics();
    m_memory.forms.clear();
    m_memory.graphics.clear();
    ++m_memory.generation;
    keepMemory();
    m_log.write(QStringLiteral("forgotten"),
                QStringLiteral("memory: %1 stored forms and %2 graphics forgotten").arg(forms).arg(graphics),
                {{QStringLiteral("forms"), forms}, {QStringLiteral("graphics"), graphics}});
}

void LabelPrinter::countUndrawn(quint64 labels, quint64 stream)
{
    const quint64 first = m_lastLabel + 1;
    m_lastLabel += labels;
    m_log.write(
        QStringLiteral("undrawn"),
        QStringLiteral("labels %1 to %2: printed by stream %3, counted but not drawn (--max-labels %4)")
            .arg(first)
            .arg(m_lastLabel)
            .arg(stream)
            .arg(m_options.maxLabels),
        {{QStringLiteral("first"), first}, {QStringLiteral("last"), m_lastLabel}, {QStringLiteral("stream"), stream}});
}

void LabelPrinter::logLabel(const HeldLabel& label, const QString& file)
{
    m_log.write(QStringLiteral("label"),
                QStringLiteral("label %1: %2x%3 dots, stream %4 line %5, %6")
                    .arg(label.number)
                    .arg(label.dots.width())
                    .arg(label.dots.height())
                    .arg(label.stream)
                    .arg(label.line)
                    .arg(file),
                {{QStringLiteral("label"), label.number},
                 {QStringLiteral("width"), label.dots.width()},
                 {QStringLiteral("length"), label.dots.height()},
                 {QStringLiteral("stream"), label.stream},
                 {QStringLiteral("line"), label.line},
                 {QStringLiteral("file"), file}});
}

void LabelPrinter::problem(quint64 stream, int line, const QString& text)
{
    m_log.write(QStringLiteral("problem"),
                QStringLiteral("problem: stream %1 line %2: %3").arg(stream).arg(line).arg(text),
                {{QStringLiteral("stream"), stream}, {QStringLiteral("line"), line}, {QStringLiteral("text"), text}});
}

void LabelPrinter::keepMemory()
{
    if (!m_memoryFolder)
        return;
    const QByteArray settings = MemoryFolder::settingsText(m_memory.settings);
    if (m_memory.generation == m_savedGeneration && settings == m_savedSettings)
        return;
    const QStringList problems = m_memoryFolder->save(m_memory);
    for (const QString& each : problems)
        m_log.write(QStringLiteral("problem"), QStringLiteral("problem: memory: %1").arg(each),
                    {{QStringLiteral("where"), QStringLiteral("memory")}, {QStringLiteral("text"), each}});
    m_savedGeneration = m_memory.generation;
    m_savedSettings = settings;
}

void LabelPrinter::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    keepMemory();
    if (!m_heldLabels.isEmpty())
        m_log.write(QStringLiteral("held"),
                    QStringLiteral("%1 labels held and not printed, left in %2")
                        .arg(m_heldLabels.size())
                        .arg(visibleForMessage(m_held.path())),
                    {{QStringLiteral("held"), int(m_heldLabels.size())}});
    m_log.write(QStringLiteral("stopped"), QStringLiteral("stopped after %1 labels").arg(m_lastLabel),
                {{QStringLiteral("labels"), m_lastLabel}});
}

PrinterSession::PrinterSession(LabelPrinter& printer, const QString& from, ReplyLine* line)
    : m_printer(printer), m_stream(printer.takeStreamNumber()), m_line(line)
{
    m_file.setFileName(printer.streamPath(m_stream));
    const bool kept = m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    RenderOptions options;
    options.scale = printer.options().scale;
    if (printer.options().maxLabels == 0) {
        options.maxLabels = 0;
    } else {
        options.maxLabels = std::numeric_limits<int>::max();
        options.maxLabelsPerPrint = printer.options().maxLabels;
    }
    m_labels = std::make_unique<LabelStream>(printer.m_memory, options, *this);
    printer.m_log.write(QStringLiteral("stream"),
                        QStringLiteral("stream %1: from %2, into %3")
                            .arg(m_stream)
                            .arg(visibleForMessage(from))
                            .arg(QFileInfo(m_file.fileName()).fileName()),
                        {{QStringLiteral("stream"), m_stream},
                         {QStringLiteral("from"), from},
                         {QStringLiteral("file"), QFileInfo(m_file.fileName()).fileName()}});
    if (!kept)
        printer.problem(m_stream, 0,
                        QStringLiteral("cannot write %1: %2; the stream is drawn but not kept")
                            .arg(visibleForMessage(m_file.fileName()), m_file.errorString()));
    if (!m_labels->error().isEmpty())
        printer.problem(m_stream, 0, QStringLiteral("nothing can be drawn: %1").arg(m_labels->error()));
}

PrinterSession::~PrinterSession()
{
    finish(QStringLiteral("ended"));
}

void PrinterSession::feed(QByteArrayView bytes)
{
    if (m_finished)
        return;
    if (m_file.isOpen() && m_file.write(bytes.data(), bytes.size()) != bytes.size()) {
        m_printer.problem(m_stream, m_labels->lines() + 1,
                          QStringLiteral("cannot write %1: %2; the rest of the stream is not kept")
                              .arg(visibleForMessage(m_file.fileName()), m_file.errorString()));
        m_file.close();
    }
    m_bytes += bytes.size();
    m_labels->feed(bytes);
    accountUndrawn();
    m_printer.keepMemory();
}

void PrinterSession::finish(const QString& why)
{
    if (m_finished)
        return;
    m_finished = true;
    m_labels->finish();
    accountUndrawn();
    m_printer.keepMemory();
    m_file.close();
    if (m_problems > kMaxLoggedProblems)
        m_printer.problem(
            m_stream, m_labels->lines(),
            QStringLiteral("%1 more problems in this stream were not logged").arg(m_problems - kMaxLoggedProblems));
    m_printer.m_log.write(QStringLiteral("end"),
                          QStringLiteral("stream %1: %2, %3 bytes, %4 lines, %5 labels")
                              .arg(m_stream)
                              .arg(why)
                              .arg(m_bytes)
                              .arg(m_labels->lines())
                              .arg(m_labels->labelsPrinted()),
                          {{QStringLiteral("stream"), m_stream},
                           {QStringLiteral("why"), why},
                           {QStringLiteral("bytes"), m_bytes},
                           {QStringLiteral("lines"), m_labels->lines()},
                           {QStringLiteral("labels"), m_labels->labelsPrinted()}});
}

void PrinterSession::label(RenderedLabel&& label)
{
    if (label.number > m_labelsSeen + 1)
        m_printer.countUndrawn(label.number - m_labelsSeen - 1, m_stream);
    m_labelsSeen = label.number;
    m_printer.printLabel(label, m_stream, *this);
}

void PrinterSession::accountUndrawn()
{
    const quint64 printed = m_labels->labelsPrinted();
    if (printed > m_labelsSeen)
        m_printer.countUndrawn(printed - m_labelsSeen, m_stream);
    m_labelsSeen = printed;
}

void PrinterSession::note(const JobNote& note)
{
    if (++m_problems <= kMaxLoggedProblems)
        m_printer.problem(m_stream, note.line, note.text);
    error(kSyntaxError);
}

void PrinterSession::error(int code)
{
    m_printer.m_errors.insert(code);
    if (m_printer.m_reporting)
        reply(errorNotice(code, false));
}

void PrinterSession::reply(const QByteArray& bytes)
{
    if (m_line && m_line->send && !bytes.isEmpty())
        m_line->send(bytes);
}

bool PrinterSession::printerCommand(QByteArrayView line, int lineNumber)
{
    const QByteArrayView command = withoutTrailingBlanks(line);
    const auto answered = [&](const char* query, const QByteArray& answer) {
        reply(answer);
        m_printer.m_log.write(QStringLiteral("status"),
                              QStringLiteral("status: stream %1 line %2: %3 answered with %4 bytes")
                                  .arg(m_stream)
                                  .arg(lineNumber)
                                  .arg(QLatin1String(query))
                                  .arg(answer.size()),
                              {{QStringLiteral("stream"), m_stream},
                               {QStringLiteral("line"), lineNumber},
                               {QStringLiteral("query"), QString::fromLatin1(query)},
                               {QStringLiteral("reply"), printableExcerpt(answer, 400)}});
        return true;
    };
    if (command == "^ee") {
        QList<int> codes = m_printer.m_errors.values();
        codes << faultCode(m_printer.fault());
        return answered("^ee", errorReport(codes));
    }
    if (command == "UQ") {
        ConfigurationFacts facts;
        facts.settings = m_printer.m_memory.settings;
        facts.formBytes = storedFormBytes(m_printer.m_memory);
        facts.formCapacity = kMaxFormsBytes;
        facts.graphicDots = storedGraphicDots(m_printer.m_memory);
        facts.graphicCapacity = kMaxStoredGraphicDots;
        facts.reporting = m_printer.m_reporting;
        return answered("UQ", configurationReport(facts));
    }
    if (command == "UN") {
        m_printer.m_reporting = false;
        return answered("UN", QByteArray());
    }
    // US turns reporting on, whatever recovery letters follow it (A, B, E on some printers).
    if (command.startsWith("US") &&
        std::all_of(command.begin() + 2, command.end(), [](char c) { return c >= 'A' && c <= 'Z'; })) {
        m_printer.m_reporting = true;
        return answered("US", QByteArray(1, kAck));
    }
    if (command == "N") {
        m_printer.m_errors.clear();
        m_imageBytes = 0;
        m_imageFull = false;
        return false;
    }
    if (drawsIntoImageBuffer(readEpl2Command(line).kind)) {
        m_imageBytes += line.size();
        if (m_imageBytes > kMaxImageBufferBytes) {
            if (!m_imageFull)
                m_printer.problem(m_stream, lineNumber,
                                  QStringLiteral("the image buffer is full (%1 KB of fields since the last N): "
                                                 "fields are left out until the next N")
                                      .arg(kMaxImageBufferBytes / 1024));
            if (!m_imageFull)
                error(kInsufficientMemory);
            m_imageFull = true;
            return true;
        }
    }
    return false;
}

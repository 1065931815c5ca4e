#include "printer/label_printer.h"

#include "common/folders.h"
#include "common/safe_text.h"
#include "printer/label_pdf.h"
#include "printer/out_files.h"
#include "printer/printer_status.h"
#include "render/epl2_commands.h"
#include "render/message_words.h"
#include "render/soft_fonts.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace {

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
    highestFileNumbers(m_out, &m_lastLabel, &m_lastStream);
    highestFileNumbers(m_held, &m_lastLabel, &m_lastStream);
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
                    QStringLiteral("memory: %1, %2 and %3 from %4")
                        .arg(counted(storedForms(), "stored form"), counted(storedGraphics(), "graphic"),
                             counted(storedSoftFonts(), "soft font"), visibleForMessage(m_options.memoryDir)),
                    {{QStringLiteral("forms"), storedForms()},
                     {QStringLiteral("graphics"), storedGraphics()},
                     {QStringLiteral("fonts"), storedSoftFonts()}});
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
    return m_out.filePath(numberedFileName("stream", stream, "epl"));
}

void LabelPrinter::setFault(PrinterFault fault)
{
    m_log.write(QStringLiteral("fault"), QStringLiteral("fault: %1 (%2)").arg(faultName(fault), faultMeaning(fault)),
                {{QStringLiteral("fault"), faultName(fault)}});
    const bool wasStopped = m_fault != PrinterFault::None;
    m_fault = fault;
    if (fault != PrinterFault::None) {
        stopLines(faultErrorCode(fault));
        return;
    }
    if (wasStopped)
        releaseHeld();
}

void LabelPrinter::stopLines(int code)
{
    for (ReplyLine* line : std::as_const(m_lines)) {
        if (m_reporting && !line->xoffSent) {
            line->send(errorNotice(code, true));
            line->xoffSent = true;
        }
    }
}

QString LabelPrinter::holdReason() const
{
    if (m_fault != PrinterFault::None)
        return faultMeaning(m_fault);
    return QStringLiteral("the out folder cannot take pictures");
}

void LabelPrinter::outFolderFailed(const QString& cause, quint64 stream, int line)
{
    const bool first = m_outProblem.isEmpty();
    m_outProblem = cause;
    if (!first)
        return;
    problem(stream, line, QStringLiteral("%1; labels are held until the folder takes pictures again").arg(cause));
    m_log.write(QStringLiteral("fault"), QStringLiteral("fault: out-folder (%1)").arg(cause),
                {{QStringLiteral("fault"), QStringLiteral("out-folder")}, {QStringLiteral("text"), cause}});
    stopLines(kInsufficientMemory);
    if (!m_retry && QCoreApplication::instance()) {
        m_retry = std::make_unique<QTimer>();
        m_retry->setInterval(kOutFolderRetryMs);
        QObject::connect(m_retry.get(), &QTimer::timeout, [this] { retryOutFolder(); });
    }
    if (m_retry)
        m_retry->start();
}

void LabelPrinter::retryOutFolder()
{
    if (m_outProblem.isEmpty())
        return;
    releaseHeld();
}

void LabelPrinter::releaseHeld()
{
    const bool stopped = m_fault != PrinterFault::None;
    // Pictures held in memory are written first: into .held while a fault lasts, else where they go.
    const auto writeHeld = [this, stopped](HeldLabel& label) {
        const QString name = numberedFileName("label", label.number, "png");
        QString failure = stopped ? makeFolder(m_held.path()) : QString();
        if (!failure.isEmpty())
            failure = QStringLiteral("cannot make the folder %1: %2").arg(visibleForMessage(m_held.path()), failure);
        else
            failure = writePicture((stopped ? m_held : m_out).filePath(name), label.image, label);
        if (!failure.isEmpty()) {
            m_outProblem = failure;
            return false;
        }
        m_heldPixels -= qint64(label.image.width()) * label.image.height();
        label.image = QImage();
        return true;
    };
    if (stopped) {
        for (HeldLabel& label : m_heldLabels) {
            if (!label.image.isNull() && !writeHeld(label))
                return;
        }
    }
    // A held file moved out of .held; a file that cannot be moved is reported.
    const auto moveHeld = [this](const QString& file, const HeldLabel& label) {
        if (std::rename(QFile::encodeName(m_held.filePath(file)).constData(),
                        QFile::encodeName(m_out.filePath(file)).constData()) == 0)
            return true;
        const int error = errno;
        problem(label.stream, label.line,
                QStringLiteral("cannot move the held label %1 into %2: %3")
                    .arg(file, visibleForMessage(m_out.path()), qt_error_string(error)));
        return false;
    };
    while (!stopped && !m_heldLabels.isEmpty()) {
        HeldLabel& label = m_heldLabels.first();
        const QString name = numberedFileName("label", label.number, "png");
        if (!label.image.isNull()) {
            if (!writeHeld(label))
                return;
        } else if (!moveHeld(name, label)) {
            m_heldLabels.removeFirst();
            continue;
        } else if (const QString pdf = pdfPathBeside(name); m_options.pdf && QFileInfo::exists(m_held.filePath(pdf))) {
            moveHeld(pdf, label);
        }
        logLabel(m_heldLabels.takeFirst(), name);
    }
    if (!m_outProblem.isEmpty()) {
        m_log.write(QStringLiteral("fault"), QStringLiteral("fault: out-folder cleared, it takes pictures again"),
                    {{QStringLiteral("fault"), QStringLiteral("ok")}});
        m_outProblem.clear();
        if (m_retry)
            m_retry->stop();
    }
    if (stopped)
        return;
    for (ReplyLine* line : std::as_const(m_lines)) {
        if (line->xoffSent)
            line->send(QByteArray(1, kXon));
        line->xoffSent = false;
    }
}

void LabelPrinter::hold(HeldLabel label, const QImage& image, PrinterSession& from)
{
    bool onDisk = false;
    if (m_fault != PrinterFault::None && m_outProblem.isEmpty()) {
        const QString folderProblem = makeFolder(m_held.path());
        const QString failure =
            folderProblem.isEmpty()
                ? writePicture(m_held.filePath(numberedFileName("label", label.number, "png")), image, label)
                : QStringLiteral("cannot make the folder %1: %2").arg(visibleForMessage(m_held.path()), folderProblem);
        onDisk = failure.isEmpty();
        if (!onDisk)
            outFolderFailed(failure, label.stream, label.line);
    }
    if (!onDisk) {
        const qint64 pixels = qint64(image.width()) * image.height();
        if (m_heldPixels + pixels > kMaxHeldInMemoryPixels) {
            problem(label.stream, label.line,
                    QStringLiteral("label %1 is lost: %2, and the labels held in memory meanwhile take %3 pixels "
                                   "already")
                        .arg(label.number)
                        .arg(m_outProblem)
                        .arg(m_heldPixels));
            return;
        }
        m_heldPixels += pixels;
        label.image = image;
    }
    m_heldLabels << label;
    m_log.write(
        QStringLiteral("held"),
        QStringLiteral("label %1: held while %2, stream %3 line %4")
            .arg(label.number)
            .arg(holdReason())
            .arg(label.stream)
            .arg(label.line),
        {{QStringLiteral("label"), label.number},
         {QStringLiteral("fault"), m_fault != PrinterFault::None ? faultName(m_fault) : QStringLiteral("out-folder")},
         {QStringLiteral("stream"), label.stream},
         {QStringLiteral("line"), label.line}});
    if (m_reporting && from.m_line && !from.m_line->xoffSent) {
        from.reply(errorNotice(m_fault != PrinterFault::None ? faultErrorCode(m_fault) : kInsufficientMemory, true));
        from.m_line->xoffSent = true;
    }
}

void LabelPrinter::printLabel(const RenderedLabel& label, quint64 stream, PrinterSession& from)
{
    const HeldLabel printed{++m_lastLabel, label.dots, stream, label.line, QImage()};
    for (const EdgeOverrun& overrun : label.overruns) {
        problem(stream, label.line,
                QStringLiteral("label %1: %2").arg(printed.number).arg(describeOverrun(label, overrun)));
        from.error(kObjectPastBorder);
    }
    for (const ShapeOverrun& overrun : label.shapeOverruns) {
        problem(stream, label.line, QStringLiteral("label %1: %2").arg(printed.number).arg(describeOverrun(overrun)));
        from.error(kObjectPastBorder);
    }
    if (m_labelObserver)
        m_labelObserver(printed.number, label);
    retryOutFolder();
    if (m_fault != PrinterFault::None || !m_outProblem.isEmpty()) {
        hold(printed, label.image, from);
    } else {
        const QString name = numberedFileName("label", printed.number, "png");
        const QString failure = writePicture(m_out.filePath(name), label.image, printed);
        if (failure.isEmpty()) {
            logLabel(printed, name);
        } else {
            outFolderFailed(failure, stream, label.line);
            hold(printed, label.image, from);
        }
    }
    if (m_stopCheck)
        m_stopCheck();
}

QString LabelPrinter::writePicture(const QString& pngPath, const QImage& image, const HeldLabel& label)
{
    const QString failure = writePng(pngPath, image);
    if (failure.isEmpty())
        writeProof(pngPath, image, label);
    return failure;
}

void LabelPrinter::writeProof(const QString& pngPath, const QImage& image, const HeldLabel& label)
{
    if (!m_options.pdf)
        return;
    const QString failure = writeLabelPdf(pdfPathBeside(pngPath), image, label.dots, m_options.dpi);
    if (!failure.isEmpty())
        problem(label.stream, label.line, QStringLiteral("label %1: %2").arg(label.number).arg(failure));
}

void LabelPrinter::forgetStored()
{
    const int forms = storedForms();
    const int graphics = storedGraphics();
    const int fonts = storedSoftFonts();
    m_memory.forms.clear();
    m_memory.graphics.clear();
    m_memory.softFonts.clear();
    ++m_memory.generation;
    keepMemory();
    m_log.write(
        QStringLiteral("forgotten"),
        QStringLiteral("memory: %1, %2 and %3 forgotten")
            .arg(counted(forms, "stored form"), counted(graphics, "graphic"), counted(fonts, "soft font")),
        {{QStringLiteral("forms"), forms}, {QStringLiteral("graphics"), graphics}, {QStringLiteral("fonts"), fonts}});
}

void LabelPrinter::countUndrawn(quint64 labels, quint64 stream)
{
    const quint64 first = m_lastLabel + 1;
    m_lastLabel += labels;
    m_log.write(
        QStringLiteral("undrawn"),
        (labels == 1 ? QStringLiteral("label %1: printed by stream %3, counted but not drawn (--max-labels %4)")
                     : QStringLiteral("labels %1 to %2: printed by stream %3, counted but not drawn (--max-labels %4)"))
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

void LabelPrinter::shutdown(bool finished)
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    keepMemory();
    for (PrinterSession* session : std::as_const(m_sessions))
        session->keepFile();
    retryOutFolder();
    qsizetype inMemory = 0;
    for (const HeldLabel& label : std::as_const(m_heldLabels)) {
        if (!label.image.isNull()) {
            ++inMemory;
            problem(label.stream, label.line,
                    QStringLiteral("label %1 is lost: %2").arg(label.number).arg(m_outProblem));
        }
    }
    if (m_heldLabels.size() > inMemory)
        m_log.write(QStringLiteral("held"),
                    QStringLiteral("%1 held and not printed, left in %2")
                        .arg(counted(qint64(m_heldLabels.size() - inMemory), "label"))
                        .arg(visibleForMessage(m_held.path())),
                    {{QStringLiteral("held"), int(m_heldLabels.size() - inMemory)}});
    if (finished)
        m_log.write(QStringLiteral("finished"),
                    QStringLiteral("finished: %1").arg(counted(qint64(m_lastLabel), "label")),
                    {{QStringLiteral("labels"), m_lastLabel}});
    else
        m_log.write(QStringLiteral("stopped"),
                    QStringLiteral("stopped after %1").arg(counted(qint64(m_lastLabel), "label")),
                    {{QStringLiteral("labels"), m_lastLabel}});
}

PrinterSession::PrinterSession(LabelPrinter& printer, const QString& from, ReplyLine* line)
    : m_printer(printer), m_stream(printer.takeStreamNumber()), m_line(line)
{
    m_fileName = printer.streamPath(m_stream);
    const QString fileProblem = m_file.open(m_fileName);
    printer.m_sessions.insert(this);
    RenderOptions options;
    options.scale = printer.options().scale;
    options.asian = printer.options().asian;
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
                            .arg(QFileInfo(m_fileName).fileName()),
                        {{QStringLiteral("stream"), m_stream},
                         {QStringLiteral("from"), from},
                         {QStringLiteral("file"), QFileInfo(m_fileName).fileName()}});
    if (!fileProblem.isEmpty())
        printer.problem(m_stream, 0, QStringLiteral("%1; the stream is drawn but not kept").arg(fileProblem));
    if (!m_labels->error().isEmpty())
        printer.problem(m_stream, 0, QStringLiteral("nothing can be drawn: %1").arg(m_labels->error()));
}

PrinterSession::~PrinterSession()
{
    finish(QStringLiteral("ended"));
    m_printer.m_sessions.remove(this);
}

void PrinterSession::keepFile()
{
    const QString failure = m_file.finish();
    if (!failure.isEmpty())
        m_printer.problem(m_stream, m_labels->lines(), QStringLiteral("%1; the stream is not kept").arg(failure));
}

void PrinterSession::feed(QByteArrayView bytes)
{
    if (m_finished)
        return;
    const QString failure = m_file.append(bytes);
    if (!failure.isEmpty())
        m_printer.problem(m_stream, m_labels->lines() + 1, QStringLiteral("%1; the stream is not kept").arg(failure));
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
    keepFile();
    if (m_problems > kMaxLoggedProblems)
        m_printer.problem(m_stream, m_labels->lines(),
                          QStringLiteral("%1 in this stream %2 not logged")
                              .arg(counted(qint64(m_problems - kMaxLoggedProblems), "more problem"))
                              .arg(QLatin1String(m_problems - kMaxLoggedProblems == 1 ? "was" : "were")));
    m_printer.m_log.write(QStringLiteral("end"),
                          QStringLiteral("stream %1: %2, %3, %4, %5")
                              .arg(m_stream)
                              .arg(why)
                              .arg(counted(qint64(m_bytes), "byte"))
                              .arg(counted(qint64(m_labels->lines()), "line"))
                              .arg(counted(qint64(m_labels->labelsPrinted()), "label")),
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
        codes << faultErrorCode(m_printer.fault());
        if (!m_printer.m_outProblem.isEmpty())
            codes << kInsufficientMemory;
        return answered("^ee", errorReport(codes));
    }
    if (command == "UQ") {
        ConfigurationFacts facts;
        facts.settings = m_printer.m_memory.settings;
        facts.formBytes = storedFormBytes(m_printer.m_memory);
        facts.formCapacity = kMaxFormsBytes;
        facts.graphicDots = storedGraphicDots(m_printer.m_memory);
        facts.graphicCapacity = kMaxStoredGraphicDots;
        facts.fontBytes = storedSoftFontBytes(m_printer.m_memory);
        facts.fontCapacity = kMaxSoftFontBytes;
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

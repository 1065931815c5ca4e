#include "batch/batch_options.h"

#include "batch/csv_table.h"

#include "common/safe_text.h"
#include "output/destination.h"
#include "output/status_query.h"
#include "printing/entry_rules.h"
#include "printing/nudge.h"
#include "printing/presets.h"
#include "render/render_limits.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <vector>

namespace {

constexpr WholeNumberRange kPreviewScaleRange{1, kMaxRenderScale};

// Sizes with the label each one makes and its gap, from the presets: "1M (5 x 7 mm, gap 20.8)".
QString sizeList()
{
    QStringList sizes;
    for (const SizePreset& preset : kSizePresets) {
        QString label = QString::fromLatin1(preset.caption).section(QLatin1Char(':'), 1).trimmed();
        label.replace(QLatin1String(" M/M"), QLatin1String(" mm")).replace(QLatin1Char('*'), QLatin1Char('x'));
        sizes << QStringLiteral("  %1  %2 label, gap %3")
                     .arg(QLatin1String(preset.name), label, QLatin1String(preset.gap));
    }
    return sizes.join(QLatin1Char('\n'));
}

QString boundsText(LabelField field, Axis axis)
{
    const NudgeBounds bounds = nudgeBounds(field, axis);
    return QStringLiteral("%1 to %2").arg(plainDecimal(bounds.lowest), plainDecimal(bounds.highest));
}

QString helpEpilog()
{
    const DestinationTimeouts timeouts;
    return QStringLiteral(R"(
Labels:
  One label comes from --item, --version, --data and --checksum, or one label
  per row from --csv. Texts are at most %10 characters of printable ASCII (no
  tabs or other control characters); blanks around them are not printed.
  Under 1M and 2M only Item and Version are printed, so Data and Checksum
  must be empty. Under 3M, 6M and 9M an empty Checksum prints a counter that
  starts at 0001.

Sizes (named by the label they make):
%1

Nudges (--nudge FIELD-AXIS=OFFSET,...):
  Fields item, ver (or version), data, checksum; axes x, y; offsets in printer
  dots from the size's preset position, e.g. item-x=+2,ver-y=-3. The bounds are
  those of the window's buttons: X %2, Item and Version Y %3,
  Data and Checksum Y %4. Data and Checksum cannot be moved under 1M
  and 2M.
  With --five-across the Item and Version offsets place the five copies.

CSV files (--csv FILE, or - for standard input):
  The first row names the columns, any of item, version, data, checksum and
  qty in any order (case does not matter); a column that is not there is
  empty, and an empty qty takes --qty. Every other row is one job. Fields
  follow RFC 4180: in double quotes a field may hold commas and line breaks,
  and "" stands for one double quote. UTF-8 with or without a byte-order mark,
  CR LF, LF or CR line ends; empty lines are skipped.
  Every row is checked before anything is sent. A bad row is reported with its
  row number (the header is row 1) and column, and nothing is printed; each
  job is composed just before it is sent.
  Limits: the file or standard input at most %5 MiB, a field at most %6
  bytes, a row at most %7 fields, at most %8 rows with a label. Past any
  of them the run stops with status 2 and nothing is sent.

Ports (--port):
  com1  serial port COM1 at 9600 baud, 8 data bits, no parity, 1 stop bit:
        the device QUORLEX_LABEL_COM1 names, /dev/ttyS0 when it is unset.
  lpt   LPT1: the destination QUORLEX_LABEL_LPT1 names (any form below),
        /dev/lp0 when it is unset.
  PATH  a terminal (e.g. /dev/ttyUSB0) is driven as a serial port at 9600 8N1;
        anything else (e.g. /dev/usb/lp0, a FIFO, a file) is written as a
        device and must already exist. Write ./com1 for a file named com1.
  socket://HOST[:PORT]
        a network printer's raw port (9100 when left out).
  cups:QUEUE
        a queue of the CUPS server that the CUPS set-up names (CUPS_SERVER
        or client.conf, else this machine's).
  ipp://HOST[:PORT]/printers/QUEUE
        a queue of the CUPS server on HOST (port 631 unless given); ipps://
        for an encrypted connection.
  The destination is opened once per run, and each job has gone before the
  next is sent: a serial port has sent it, a device or pipe has taken it, a
  network printer has acknowledged every byte; with --dry-run, standard output
  has taken every byte of it (jobs still in the program's own buffer when a
  run fails or stops are not gone). Connecting waits at most %11 s;
  a printer that takes nothing fails after %12 s plus %13 s per 10 KB of the job.
  A CUPS queue takes the whole run as one raw job when the run ends, or none
  of it; its job id is printed on standard output.
  --list-ports lists what this machine offers, one per line, starting with
  what --port takes.

Progress and Ctrl-C:
  A run that takes longer than a second tells on standard error how many rows
  are done and how many labels were sent. Ctrl-C (or SIGTERM) stops after the
  job that is being sent, or within a second while the printer, or a reader
  of standard output that stopped reading, makes the run wait. A run to a
  CUPS queue is cancelled whole: the queue prints none of it.

Preview (--preview DIR):
  Sends nothing. Draws the first label of every job into DIR (made if
  missing) as job-00001.png, job-00002.png, ... in job or row order: the
  label itself, width from the job's q and length from its Q, white with the
  print in black, one pixel per printer dot (--preview-scale 1 to %9 for
  larger). Text field rotation 1 reads downwards with the letter tops facing
  right, the field lying left of its X. Positions are exact to the dot; the
  letters are a monospace font scaled into the printer's character cells, so
  their shapes only resemble the printer's. A field that runs past an edge
  of its label is reported with its row (or job), field and by how many
  dots; the exit status stays 0.

Printer status (--status, --verify):
  --status asks the printer of --port and prints one line: "ready", "fault"
  with the printer's words (07: paper or ribbon empty, 11: print head up,
  ...), or "unknown" with the reason. A serial port, a network printer and a
  USB printer device (/dev/usb/lp*) are asked with ^ee and answer within %14 s;
  a CUPS queue tells its state, state reasons and message. A file, a pipe, a
  parallel port or a printer that does not answer cannot tell: "unknown" means
  the printer could not say, not that it failed.
  --verify asks the same after the last job. On a serial line it also turns
  on the printer's error reporting (US) for the run, asks after every job,
  stops at the first fault with the count of labels the printer confirmed,
  and turns reporting off (UN) at the end.

Exit status:
  0    every job was sent (with --dry-run: written to standard output; with
       --preview: every picture written; with --status: the printer is ready)
  1    the destination did not open or sending failed; the message names the
       row and how many jobs had gone (with --preview: a picture could not be
       written; with --status: the printer could not be asked or its status
       is unknown)
  2    usage or validation error; nothing was sent
  3    --status or --verify: the printer reports a fault
  130  stopped by Ctrl-C or SIGTERM

Examples:
  quorlex-label-batch --size 3M --item AB1234 --version V1 --data 0623 --qty 2 --port com1
  quorlex-label-batch --size 2M --five-across --csv labels.csv --port /dev/usb/lp0
  quorlex-label-batch --size 9M --csv - --dry-run > jobs.epl
  quorlex-label-batch --status --port socket://192.0.2.10
  quorlex-label-batch --size 1M --csv labels.csv --preview pictures --preview-scale 4
)")
        // One substitution for all fourteen, so that the 12 KB text is copied once rather than once a number.
        .arg(sizeList(), boundsText(LabelField::Item, Axis::X), boundsText(LabelField::Item, Axis::Y),
             boundsText(LabelField::Data, Axis::Y), QString::number(CsvLimits().inputBytes / (1024 * 1024)),
             QString::number(CsvLimits().fieldBytes), QString::number(CsvLimits().fields), QString::number(kMaxLabels),
             QString::number(kMaxRenderScale), QString::number(kFieldBoxMaxLength), secondsText(timeouts.connect),
             secondsText(timeouts.transferBase), secondsText(timeouts.transferPer10KB), secondsText(kStatusTimeout));
}

// The options in the order --help lists them; optionTable() has one row for each, in this order.
enum class Option {
    Help,
    Size,
    FiveAcross,
    Darkness,
    Quantity,
    Gap,
    Nudge,
    Item,
    Version,
    Data,
    Checksum,
    Csv,
    Port,
    DryRun,
    Preview,
    PreviewScale,
    ListPorts,
    Status,
    Verify,
};

// Everything about one option: the parser takes it from here and --help writes it from here.
struct OptionRow
{
    Option option;
    QStringList names;
    QString valueName; // empty: a switch
    // What --help says, without the full stop of its last sentence.
    QString help;
    bool repeatable = false; // may be given more than once, each value adding to the others

    QCommandLineOption declared() const
    {
        const QString text =
            help + (repeatable ? QStringLiteral(" (may be given more than once).") : QStringLiteral("."));
        return QCommandLineOption(names, text, valueName);
    }
};

const std::vector<OptionRow>& optionTable()
{
    static const std::vector<OptionRow> rows = [] {
        const BatchOptions defaults;
        const auto name = [](const char* ascii) { return QStringList{QString::fromLatin1(ascii)}; };
        const auto text = [](const char* ascii) { return QString::fromLatin1(ascii); };
        return std::vector<OptionRow>{
            {Option::Help, {QStringLiteral("h"), QStringLiteral("help")}, {}, text("Shows this help and exits")},
            {Option::Size, name("size"), text("size"),
             text("Label size: 1M, 2M, 3M, 6M or 9M (required). It applies that size's preset: positions, gap and "
                  "label length")},
            {Option::FiveAcross, name("five-across"), {}, text("2M only: Item and Version five times side by side")},
            {Option::Darkness, name("darkness"),
             QStringLiteral("%1-%2").arg(QString::number(kDarknessRange.lowest),
                                         QString::number(kDarknessRange.highest)),
             QStringLiteral("Darkness, %1 (default %2)").arg(rangeText(kDarknessRange), defaults.darkness)},
            {Option::Quantity, name("qty"), text("n"),
             QStringLiteral("Labels per job, %1 (default %2); a CSV qty column gives it per row")
                 .arg(rangeText(kQuantityRange), defaults.quantity)},
            {Option::Gap, name("gap"), text("dots"),
             QStringLiteral("Gap in dots, 0 to %1, such as 12 or 20.8 with at most three decimals (default: the "
                            "size's gap)")
                 .arg(QString::number(kMaxGapDots))},
            {Option::Nudge, name("nudge"), text("list"),
             text("Offsets from the preset positions, e.g. item-x=+2,ver-y=-3"), true},
            {Option::Item, {fieldColumn(LabelField::Item)}, text("text"), text("Item text of the one label")},
            {Option::Version, {fieldColumn(LabelField::Version)}, text("text"), text("Version text of the one label")},
            {Option::Data,
             {fieldColumn(LabelField::Data)},
             text("text"),
             text("Data text of the one label (3M, 6M, 9M)")},
            {Option::Checksum,
             {fieldColumn(LabelField::Checksum)},
             text("text"),
             text("Checksum text of the one label (3M, 6M, 9M)")},
            {Option::Csv, name("csv"), text("file"),
             text("One label per row of this CSV file; - reads standard input")},
            {Option::Port, name("port"), text("port"),
             text("com1 (default), lpt, a path, socket://HOST[:PORT], cups:QUEUE or ipp://HOST[:PORT]/printers/QUEUE")},
            {Option::DryRun, name("dry-run"), {}, text("Writes the jobs to standard output instead of a port")},
            {Option::Preview, name("preview"), text("dir"),
             text("Sends nothing; writes a picture of each job's label into this folder (job-00001.png, ...)")},
            {Option::PreviewScale, name("preview-scale"), text("n"),
             QStringLiteral("Pixels per printer dot in the pictures, %1 (default %2)")
                 .arg(rangeText(kPreviewScaleRange), QString::number(defaults.previewScale))},
            {Option::ListPorts,
             name("list-ports"),
             {},
             text("Lists the serial ports, printer devices and CUPS queues that --port takes, and exits")},
            {Option::Status,
             name("status"),
             {},
             text("Asks the printer of --port whether it is ready, prints the answer, and exits")},
            {Option::Verify,
             name("verify"),
             {},
             text("Asks the printer after the run; on a serial line the printer reports every fault while the "
                  "run goes on")},
        };
    }();
    return rows;
}

// A pattern that must match the whole text: "$" alone would also match before a final line feed.
QRegularExpression wholeText(const QString& pattern,
                             QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern), options);
}

// The gap goes to the printer as the text it is (the 1M preset's is "20.8"). EPL2 printers take a gap of up
// to 240 dots in their Q command, so larger numbers, and numbers with more digits than a gap needs, are
// refused here rather than by the printer.
bool isGap(const QString& text)
{
    static const QRegularExpression number = wholeText(QStringLiteral("[0-9]{1,3}(\\.[0-9]{1,3})?"));
    return number.match(text).hasMatch() && text.toDouble() <= kMaxGapDots;
}

// The window's port that --port names, in any case: com1, or lpt or its device lpt1.
std::optional<PrinterPort> windowPort(const QString& name)
{
    for (const PrinterPort port : kPrinterPorts) {
        if (name.compare(printerPortName(port), Qt::CaseInsensitive) == 0 ||
            name.compare(printerPortDevice(port), Qt::CaseInsensitive) == 0)
            return port;
    }
    return std::nullopt;
}

} // namespace

QString columnName(LabelColumn column)
{
    return column.field ? fieldColumn(*column.field) : QStringLiteral("qty");
}

std::optional<LabelColumn> columnFromName(const QString& name)
{
    const QString wanted = name.trimmed().toLower();
    for (LabelColumn column : kLabelColumns) {
        if (columnName(column) == wanted)
            return column;
    }
    return std::nullopt;
}

QList<FieldNudge> parseNudges(const QString& text, QString* error)
{
    static const QRegularExpression form =
        wholeText(QStringLiteral("([a-z]+)-([xy])=([+-]?[0-9]{1,6})"), QRegularExpression::CaseInsensitiveOption);
    QList<FieldNudge> nudges;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QString each = trimBlanks(part);
        const QRegularExpressionMatch match = form.match(each);
        const std::optional<LabelField> field =
            match.hasMatch() ? fieldFromNudgeName(match.captured(1).toLower()) : std::nullopt;
        if (!field) {
            *error = QStringLiteral("--nudge: %1 is not FIELD-AXIS=OFFSET with a field item, ver, data or "
                                    "checksum and an axis x or y (e.g. item-x=+2)")
                         .arg(quotedForMessage(each));
            return {};
        }
        const Axis axis = match.captured(2).toLower() == QLatin1String("x") ? Axis::X : Axis::Y;
        for (const FieldNudge& earlier : nudges) {
            if (earlier.field == *field && earlier.axis == axis) {
                *error = QStringLiteral("--nudge: %1 %2 is given twice").arg(fieldName(*field), axisName(axis));
                return {};
            }
        }
        nudges << FieldNudge{*field, axis, match.captured(3).toInt()};
    }
    return nudges;
}

ParsedCommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Composes Quorlex Label jobs without the window, the same jobs for the same settings, and sends\n"
        "them to a printer port: one label from the options or one per row of a CSV file."));
    QList<QCommandLineOption> declared;
    for (const OptionRow& row : optionTable()) {
        Q_ASSERT(int(row.option) == declared.size());
        declared << row.declared();
    }
    parser.addOptions(declared);
    const auto option = [&declared](Option which) -> const QCommandLineOption& { return declared.at(int(which)); };
    const QCommandLineOption& help = option(Option::Help);
    const QCommandLineOption& size = option(Option::Size);
    const QCommandLineOption& fiveAcross = option(Option::FiveAcross);
    const QCommandLineOption& darkness = option(Option::Darkness);
    const QCommandLineOption& quantity = option(Option::Quantity);
    const QCommandLineOption& gap = option(Option::Gap);
    const QCommandLineOption& nudge = option(Option::Nudge);
    const QCommandLineOption& csv = option(Option::Csv);
    const QCommandLineOption& port = option(Option::Port);
    const QCommandLineOption& dryRun = option(Option::DryRun);
    const QCommandLineOption& preview = option(Option::Preview);
    const QCommandLineOption& previewScale = option(Option::PreviewScale);
    const QCommandLineOption& listPorts = option(Option::ListPorts);
    const QCommandLineOption& status = option(Option::Status);
    const QCommandLineOption& verify = option(Option::Verify);

    ParsedCommandLine result;
    BatchOptions& options = result.options;
    auto usage = [&result](const QString& error) {
        result.error = error;
        return result;
    };

    if (!parser.parse(QStringList{QStringLiteral("quorlex-label-batch")} + arguments)) {
        // The parser's own text would show an unknown option exactly as it was typed.
        if (!parser.unknownOptionNames().isEmpty())
            return usage(
                QStringLiteral("unknown option %1").arg(quotedForMessage(parser.unknownOptionNames().first())));
        return usage(parser.errorText());
    }
    if (parser.isSet(help)) {
        result.message = parser.helpText() + helpEpilog();
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return usage(
            QStringLiteral("unexpected argument %1").arg(quotedForMessage(parser.positionalArguments().first())));
    if (parser.isSet(listPorts)) {
        if (parser.optionNames().size() > 1)
            return usage(QStringLiteral("--list-ports takes no other options"));
        result.listPorts = true;
        return result;
    }
    const auto choosePort = [&] {
        if (!parser.isSet(port))
            return true;
        const QString portName = parser.value(port);
        if (portName.isEmpty())
            return false;
        options.port = windowPort(portName);
        if (!options.port)
            options.devicePath = portName;
        return true;
    };
    if (parser.isSet(status)) {
        for (const QString& name : parser.optionNames()) {
            if (name != QLatin1String("status") && name != QLatin1String("port"))
                return usage(QStringLiteral("--status takes no other option than --port"));
        }
        if (parser.values(port).size() > 1)
            return usage(QStringLiteral("--port is given more than once"));
        if (!choosePort())
            return usage(QStringLiteral("--port needs com1, lpt, the path of a device or socket://HOST[:PORT]"));
        result.status = true;
        return result;
    }
    for (const OptionRow& row : optionTable()) {
        const QCommandLineOption& given = option(row.option);
        if (!row.repeatable && parser.values(given).size() > 1)
            return usage(QStringLiteral("--%1 is given more than once").arg(given.names().last()));
    }

    if (!parser.isSet(size))
        return usage(QStringLiteral("--size is required (1M, 2M, 3M, 6M or 9M)"));
    options.size = labelSizeFromName(parser.value(size));
    if (options.size == LabelSize::None)
        return usage(
            QStringLiteral("--size: %1 is not 1M, 2M, 3M, 6M or 9M").arg(quotedForMessage(parser.value(size))));

    options.fiveAcross = parser.isSet(fiveAcross);
    if (options.fiveAcross && !hasFiveAcross(presetFor(options.size)))
        return usage(
            QStringLiteral("--five-across is a 2M job; it cannot be used with %1").arg(labelSizeName(options.size)));

    if (parser.isSet(darkness)) {
        options.darkness = parser.value(darkness);
        if (!isWholeNumberIn(options.darkness, kDarknessRange))
            return usage(QStringLiteral("--darkness: ") + notInRange(options.darkness, kDarknessRange));
    }
    if (parser.isSet(quantity)) {
        options.quantity = parser.value(quantity);
        if (!isQuantity(options.quantity))
            return usage(QStringLiteral("--qty: ") + notInRange(options.quantity, kQuantityRange));
    }
    options.gap = QString::fromLatin1(presetFor(options.size).gap);
    if (parser.isSet(gap)) {
        options.gap = parser.value(gap);
        if (!isGap(options.gap))
            return usage(QStringLiteral("--gap: %1 is not a number of dots from 0 to %2 (e.g. 12 or 20.8)")
                             .arg(quotedForMessage(options.gap))
                             .arg(kMaxGapDots));
    }

    for (const QString& list : parser.values(nudge)) {
        QString error;
        const QList<FieldNudge> more = parseNudges(list, &error);
        if (!error.isEmpty())
            return usage(error);
        for (const FieldNudge& each : more) {
            for (const FieldNudge& earlier : std::as_const(options.nudges)) {
                if (earlier.field == each.field && earlier.axis == each.axis)
                    return usage(QStringLiteral("--nudge: %1 %2 is given twice")
                                     .arg(fieldName(each.field), axisName(each.axis)));
            }
            options.nudges << each;
        }
    }
    const PresetSettings preset = presetSettings(options.size, options.nudges);
    if (!preset.ok())
        return usage(QStringLiteral("--nudge: ") + preset.cause);

    options.csvPath = parser.value(csv);
    if (parser.isSet(csv) && options.csvPath.isEmpty())
        return usage(QStringLiteral("--csv needs a file name, or - for standard input"));
    PerField<const QCommandLineOption*> textOptions;
    textOptions[LabelField::Item] = &option(Option::Item);
    textOptions[LabelField::Version] = &option(Option::Version);
    textOptions[LabelField::Data] = &option(Option::Data);
    textOptions[LabelField::Checksum] = &option(Option::Checksum);
    for (LabelField field : kLabelFields) {
        if (!parser.isSet(*textOptions[field]))
            continue;
        if (options.fromCsv())
            return usage(QStringLiteral("--%1 cannot be used with --csv; give the texts as CSV columns")
                             .arg(fieldColumn(field)));
        options.texts[field] = parser.value(*textOptions[field]);
    }

    options.dryRun = parser.isSet(dryRun);
    options.previewDir = parser.value(preview);
    if (parser.isSet(preview) && options.previewDir.isEmpty())
        return usage(QStringLiteral("--preview needs the folder to write the pictures into"));
    if (options.preview() && options.dryRun)
        return usage(QStringLiteral("--preview and --dry-run cannot be used together"));
    if (parser.isSet(previewScale)) {
        if (!options.preview())
            return usage(QStringLiteral("--preview-scale is only used with --preview"));
        if (!isWholeNumberIn(parser.value(previewScale), kPreviewScaleRange))
            return usage(QStringLiteral("--preview-scale: ") +
                         notInRange(parser.value(previewScale), kPreviewScaleRange));
        options.previewScale = parser.value(previewScale).toInt();
    }
    options.verify = parser.isSet(verify);
    if (options.verify && (options.dryRun || options.preview()))
        return usage(QStringLiteral("--verify asks a printer; it cannot be used with --dry-run or --preview"));
    if (!choosePort())
        return usage(QStringLiteral("--port needs com1, lpt, the path of a device or socket://HOST[:PORT]"));
    return result;
}

#include "batch/batch_jobs.h"

#include "common/safe_text.h"
#include "printing/entry_rules.h"
#include "printing/epl2_job.h"
#include "printing/presets.h"

#include <optional>

namespace {

constexpr qsizetype kChunkBytes = 1 << 20;

struct LabelProblem
{
    LabelColumn column;
    QString what;
};

// What is wrong with a text the batch prints, if anything: texts are at most six characters of printable
// ASCII, as in the window.
std::optional<QString> textProblem(const QString& printed)
{
    if (printed.size() > kFieldBoxMaxLength)
        return QStringLiteral("%1 is longer than %2 characters").arg(quotedForMessage(printed)).arg(kFieldBoxMaxLength);
    const auto refused = firstUnprintable(printed);
    if (!refused)
        return std::nullopt;
    if (refused->character == u'\t')
        return QStringLiteral("contains a tab (texts are printable ASCII)");
    JobFault fault;
    fault.problem = refused->problem;
    fault.character = refused->character;
    return faultProblem(fault);
}

// Checks one label and leaves its values as they are sent, or says what is wrong with it. An empty
// quantity takes `defaultQuantity`.
std::optional<LabelProblem> checkLabel(LabelSize size, LabelValues& label, const QString& defaultQuantity)
{
    const bool dataAndChecksum = presetFor(size).dataAndChecksumUsed;
    for (LabelField field : kLabelFields) {
        QString& text = label.texts[field];
        text = trimBlanks(text);
        if (const std::optional<QString> problem = textProblem(text))
            return LabelProblem{{field}, *problem};
        const bool unused = field == LabelField::Data || field == LabelField::Checksum;
        if (unused && !dataAndChecksum && !text.isEmpty())
            return LabelProblem{
                {field},
                QStringLiteral("must be empty: %1 labels print only Item and Version").arg(labelSizeName(size))};
    }
    QString& quantity = label.quantity;
    quantity = trimBlanks(quantity);
    if (quantity.isEmpty())
        quantity = defaultQuantity;
    if (!isQuantity(quantity))
        return LabelProblem{kQuantityColumn, notInRange(quantity, kQuantityRange)};
    return std::nullopt;
}

// Appends an unsigned number in 7-bit groups, low group first, so that small numbers take one byte.
void putNumber(QByteArray& bytes, quint32 value)
{
    while (value >= 0x80) {
        bytes.append(char(0x80 | (value & 0x7F)));
        value >>= 7;
    }
    bytes.append(char(value));
}

quint32 takeNumber(const QByteArray& bytes, qsizetype& pos)
{
    quint32 value = 0;
    for (int shift = 0; pos < bytes.size(); shift += 7) {
        const uchar b = uchar(bytes.at(pos++));
        value |= quint32(b & 0x7F) << shift;
        if (!(b & 0x80))
            break;
    }
    return value;
}

} // namespace

// A label is held as the steps from the row and line before it, then each of the five values as its
// length and its ASCII bytes.
void CheckedLabels::append(const CheckedLabel& label)
{
    constexpr qsizetype kLargest = 2 * 5 + 5 * (1 + 255); // two numbers and five values at their longest
    if (chunks_.isEmpty() || chunks_.last().size() + kLargest > kChunkBytes) {
        chunks_.append(QByteArray());
        chunks_.last().reserve(kChunkBytes);
    }
    QByteArray& bytes = chunks_.last();
    putNumber(bytes, quint32(label.row - lastRow_));
    putNumber(bytes, quint32(label.line - lastLine_));
    for (LabelColumn column : kLabelColumns) {
        const QString& value = label.values[column];
        const qsizetype length = qMin<qsizetype>(value.size(), 255); // a checked value is far shorter
        bytes.append(char(length));
        for (qsizetype i = 0; i < length; ++i)
            bytes.append(char(value.at(i).unicode()));
    }
    lastRow_ = label.row;
    lastLine_ = label.line;
    ++count_;
}

bool CheckedLabels::Cursor::next(CheckedLabel& label)
{
    while (chunk_ < labels_.chunks_.size() && pos_ >= labels_.chunks_.at(chunk_).size()) {
        ++chunk_;
        pos_ = 0;
    }
    if (chunk_ >= labels_.chunks_.size())
        return false;
    const QByteArray& bytes = labels_.chunks_.at(chunk_);
    row_ += int(takeNumber(bytes, pos_));
    line_ += int(takeNumber(bytes, pos_));
    label.row = row_;
    label.line = line_;
    for (LabelColumn column : kLabelColumns) {
        QString& value = label.values[column];
        const qsizetype length = uchar(bytes.at(pos_++));
        value = QString::fromLatin1(bytes.constData() + pos_, length);
        pos_ += length;
    }
    return true;
}

void CheckedRun::addProblem(const QString& message)
{
    if (problems.size() < kShownProblems)
        problems << message;
    ++problemCount;
}

LabelSettings baseSettings(const BatchOptions& options)
{
    LabelSettings settings = presetSettings(options.size, options.nudges).settings;
    settings.darkness = options.darkness;
    settings.gap = options.gap;
    settings.fiveAcross = options.fiveAcross ? 1 : 0;
    settings.quantity = options.quantity;
    return settings;
}

ComposedJob composeLabel(const LabelSettings& base, const LabelValues& label)
{
    LabelSettings settings = base;
    for (LabelField field : kLabelFields)
        settings.text(field) = label.texts[field];
    settings.quantity = label.quantity;
    return composeJob(settings);
}

bool composeFirstLabel(const LabelSettings& base, CheckedLabels::Cursor& cursor, CheckedLabel& label, ComposedJob& job,
                       const std::function<void(const QString&)>& report)
{
    cursor.next(label);
    job = composeLabel(base, label.values);
    if (job.ok())
        return true;
    report(compositionProblem(label, *job.fault));
    report(QStringLiteral("nothing was sent"));
    return false;
}

QString compositionProblem(const CheckedLabel& label, const JobFault& fault)
{
    if (fault.field && label.row > 0)
        return QStringLiteral("row %1 (line %2), column %3: %4")
            .arg(label.row)
            .arg(label.line)
            .arg(fieldColumn(*fault.field), faultProblem(fault));
    if (fault.field)
        return QStringLiteral("--%1: %2").arg(fieldColumn(*fault.field), faultProblem(fault));
    if (label.row > 0)
        return QStringLiteral("row %1 (line %2): %3").arg(label.row).arg(label.line).arg(describeFault(fault));
    return describeFault(fault);
}

CheckedRun checkLabelFromOptions(const BatchOptions& options)
{
    CheckedLabel label;
    label.values.texts = options.texts;
    CheckedRun run;
    if (const std::optional<LabelProblem> problem = checkLabel(options.size, label.values, options.quantity)) {
        run.addProblem(QStringLiteral("--%1: %2").arg(columnName(problem->column), problem->what));
        return run;
    }
    run.labels.append(label);
    return run;
}

CheckedRun checkCsv(const BatchOptions& options, CsvReader& reader, const QString& source, qsizetype maxLabels)
{
    CheckedRun run;
    auto readingFailed = [&] {
        run.addProblem(QStringLiteral("%1: line %2: %3").arg(source).arg(reader.errorLine()).arg(reader.error()));
        return run;
    };

    // Row 1: which column each field of a row fills.
    CsvRecord record;
    if (!reader.next(record) || record.fields.isEmpty()) {
        if (!reader.ok())
            return readingFailed();
        run.addProblem(QStringLiteral("%1: row 1: the first row must name the columns (item, version, data, "
                                      "checksum, qty)")
                           .arg(source));
        return run;
    }
    const QStringList header = record.fields;
    QList<LabelColumn> columns;
    for (qsizetype i = 0; i < header.size(); ++i) {
        const std::optional<LabelColumn> column = columnFromName(header.at(i));
        if (!column) {
            run.addProblem(QStringLiteral("%1: row 1, column %2: unknown column %3 (the columns are item, "
                                          "version, data, checksum and qty)")
                               .arg(source)
                               .arg(i + 1)
                               .arg(quotedForMessage(header.at(i))));
        } else if (columns.contains(*column)) {
            run.addProblem(QStringLiteral("%1: row 1, column %2: %3 names a column a second time")
                               .arg(source)
                               .arg(i + 1)
                               .arg(quotedForMessage(header.at(i))));
        }
        columns << column.value_or(kQuantityColumn);
    }
    if (!run.ok())
        return run;

    for (int row = 2; reader.next(record); ++row) {
        if (record.fields.isEmpty())
            continue;
        const auto where = [&] { return QStringLiteral("%1: row %2 (line %3)").arg(source).arg(row).arg(record.line); };
        if (run.labels.size() + run.problemCount >= maxLabels) {
            run.addProblem(QStringLiteral("%1: more than %2 rows with a label, the most one run takes; split the "
                                          "file")
                               .arg(where())
                               .arg(maxLabels));
            return run;
        }
        if (record.fields.size() != header.size()) {
            run.addProblem(QStringLiteral("%1: %2 fields where the header has %3")
                               .arg(where())
                               .arg(record.fields.size())
                               .arg(header.size()));
            continue;
        }
        CheckedLabel label;
        label.row = row;
        label.line = record.line;
        for (qsizetype i = 0; i < columns.size(); ++i)
            label.values[columns.at(i)] = record.fields.at(i);
        if (const std::optional<LabelProblem> problem = checkLabel(options.size, label.values, options.quantity)) {
            run.addProblem(
                QStringLiteral("%1, column %2: %3").arg(where(), columnName(problem->column), problem->what));
            continue;
        }
        if (run.ok())
            run.labels.append(label);
    }
    if (!reader.ok())
        return readingFailed();
    if (run.ok() && run.labels.size() == 0)
        run.addProblem(QStringLiteral("%1: no labels after the header row").arg(source));
    return run;
}

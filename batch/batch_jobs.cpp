#include "batch/batch_jobs.h"

#include "layout/entry_rules.h"
#include "layout/presets.h"
#include "printing/epl2_job.h"

#include <optional>

namespace {

// The texts and quantity of one label, by column; a quantity that is empty takes the options' one.
struct LabelValues
{
    QString values[5];
    QString& operator[](LabelColumn column) { return values[int(column)]; }
    const QString& operator[](LabelColumn column) const { return values[int(column)]; }
};

struct LabelProblem
{
    std::optional<LabelColumn> column;
    QString what;
};

// The composer names the box a bad text came from by its heading on the window ("Date" is the Data box).
std::optional<LabelColumn> columnOfCause(const QString& cause)
{
    const std::pair<const char*, LabelColumn> headings[] = {
        {"Item: ", LabelColumn::Item},         {"Version: ", LabelColumn::Version},   {"Date: ", LabelColumn::Data},
        {"Checksum: ", LabelColumn::Checksum}, {"Quantity: ", LabelColumn::Quantity},
    };
    for (const auto& [heading, column] : headings) {
        if (cause.startsWith(QLatin1String(heading)))
            return column;
    }
    return std::nullopt;
}

// Checks one label and composes its job, or says what is wrong with it.
std::optional<LabelProblem> composeLabel(const LabelSettings& base, const LabelValues& label, BatchJob& job)
{
    const bool dataAndChecksum = presetFor(base.size).dataAndChecksumUsed;
    for (LabelColumn column : {LabelColumn::Item, LabelColumn::Version, LabelColumn::Data, LabelColumn::Checksum}) {
        const QString printed = trimBlanks(label[column]);
        if (printed.size() > kFieldBoxMaxLength)
            return LabelProblem{
                column, QStringLiteral("\"%1\" is longer than %2 characters").arg(printed).arg(kFieldBoxMaxLength)};
        const bool unused = column == LabelColumn::Data || column == LabelColumn::Checksum;
        if (unused && !dataAndChecksum && !printed.isEmpty())
            return LabelProblem{
                column,
                QStringLiteral("must be empty: %1 labels print only Item and Version").arg(labelSizeName(base.size))};
    }
    if (!isQuantity(label[LabelColumn::Quantity]))
        return LabelProblem{
            LabelColumn::Quantity,
            QStringLiteral("\"%1\" is not a whole number from 1 to 65535").arg(label[LabelColumn::Quantity])};

    LabelSettings settings = base;
    settings.item = label[LabelColumn::Item];
    settings.version = label[LabelColumn::Version];
    settings.data = label[LabelColumn::Data];
    settings.checksum = label[LabelColumn::Checksum];
    settings.quantity = label[LabelColumn::Quantity];
    const ComposedJob composed = composeJob(settings);
    if (!composed.ok()) {
        const std::optional<LabelColumn> column = columnOfCause(composed.cause);
        return LabelProblem{column, column ? composed.cause.section(QLatin1String(": "), 1, -1) : composed.cause};
    }
    job.bytes = composed.bytes;
    job.labels = label[LabelColumn::Quantity].toUInt();
    return std::nullopt;
}

} // namespace

LabelSettings baseSettings(const BatchOptions& options)
{
    LabelSettings settings = presetSettings(options.size, options.nudges).settings;
    settings.darkness = options.darkness;
    settings.gap = options.gap;
    settings.fiveAcross = options.fiveAcross ? 1 : 0;
    settings.quantity = options.quantity;
    return settings;
}

JobList jobsFromOptions(const BatchOptions& options)
{
    LabelValues label;
    for (int i = 0; i < 4; ++i)
        label.values[i] = options.texts[i];
    label[LabelColumn::Quantity] = options.quantity;

    JobList list;
    BatchJob job;
    if (const std::optional<LabelProblem> problem = composeLabel(baseSettings(options), label, job)) {
        list.errors << (problem->column ? QStringLiteral("--%1: %2").arg(columnName(*problem->column), problem->what)
                                        : problem->what);
        return list;
    }
    list.jobs << job;
    return list;
}

JobList jobsFromCsv(const BatchOptions& options, const CsvTable& table, const QString& source)
{
    JobList list;
    if (!table.ok()) {
        list.errors << QStringLiteral("%1: line %2: %3").arg(source).arg(table.errorLine).arg(table.error);
        return list;
    }
    if (table.records.isEmpty() || table.records.first().fields.isEmpty()) {
        list.errors << QStringLiteral("%1: row 1: the first row must name the columns (item, version, data, "
                                      "checksum, qty)")
                           .arg(source);
        return list;
    }

    // Row 1: which column each field of a row fills.
    const QStringList& header = table.records.first().fields;
    QList<LabelColumn> columns;
    for (qsizetype i = 0; i < header.size(); ++i) {
        const std::optional<LabelColumn> column = columnFromName(header.at(i));
        if (!column) {
            list.errors << QStringLiteral("%1: row 1, column %2: unknown column \"%3\" (the columns are item, "
                                          "version, data, checksum and qty)")
                               .arg(source)
                               .arg(i + 1)
                               .arg(header.at(i));
        } else if (columns.contains(*column)) {
            list.errors << QStringLiteral("%1: row 1, column %2: \"%3\" names a column a second time")
                               .arg(source)
                               .arg(i + 1)
                               .arg(header.at(i));
        }
        columns << column.value_or(LabelColumn::Item);
    }
    if (!list.ok())
        return list;

    const LabelSettings base = baseSettings(options);
    for (qsizetype r = 1; r < table.records.size(); ++r) {
        const CsvRecord& record = table.records.at(r);
        if (record.fields.isEmpty())
            continue;
        const QString where = QStringLiteral("%1: row %2 (line %3)").arg(source).arg(r + 1).arg(record.line);
        if (record.fields.size() != header.size()) {
            list.errors << QStringLiteral("%1: %2 fields where the header has %3")
                               .arg(where)
                               .arg(record.fields.size())
                               .arg(header.size());
            continue;
        }
        LabelValues label;
        for (qsizetype i = 0; i < columns.size(); ++i)
            label[columns.at(i)] = record.fields.at(i);
        label[LabelColumn::Quantity] = trimBlanks(label[LabelColumn::Quantity]);
        if (label[LabelColumn::Quantity].isEmpty())
            label[LabelColumn::Quantity] = options.quantity;

        BatchJob job;
        job.row = int(r + 1);
        job.line = record.line;
        if (const std::optional<LabelProblem> problem = composeLabel(base, label, job)) {
            list.errors
                << (problem->column
                        ? QStringLiteral("%1, column %2: %3").arg(where, columnName(*problem->column), problem->what)
                        : QStringLiteral("%1: %2").arg(where, problem->what));
            continue;
        }
        list.jobs << job;
    }
    if (!list.ok())
        list.jobs.clear();
    else if (list.jobs.isEmpty())
        list.errors << QStringLiteral("%1: no labels after the header row").arg(source);
    return list;
}

#pragma once

#include "batch/batch_options.h"
#include "batch/csv_table.h"
#include "printing/composed_job.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Messages about bad rows a run shows; the others are counted.
inline constexpr qsizetype kShownProblems = 20;

// The texts and quantity of one label.
struct LabelValues
{
    PerField<QString> texts;
    QString quantity;
    QString& operator[](LabelColumn column) { return column.field ? texts[*column.field] : quantity; }
    const QString& operator[](LabelColumn column) const { return column.field ? texts[*column.field] : quantity; }
};

// One label that passed every check: its texts and quantity as they are sent (blanks around them taken off,
// printable ASCII, the quantity a number), and where it comes from.
struct CheckedLabel
{
    int row = 0;  // CSV row (the header is row 1); 0 for the label from options
    int line = 0; // CSV line the row starts on; 0 for the label from options
    LabelValues values;
};

// The checked labels of a run, in order, kept compactly: each one's job is composed only when it is sent.
class CheckedLabels
{
public:
    void append(const CheckedLabel& label);
    qsizetype size() const { return count_; }

    // Walks the labels from the first.
    class Cursor
    {
    public:
        explicit Cursor(const CheckedLabels& labels) : labels_(labels) {}
        bool next(CheckedLabel& label);

    private:
        const CheckedLabels& labels_;
        qsizetype chunk_ = 0;
        qsizetype pos_ = 0;
        int row_ = 0;
        int line_ = 0;
    };

private:
    QList<QByteArray> chunks_; // each about 1 MiB, so that growing never copies what is held
    qsizetype count_ = 0;
    int lastRow_ = 0;
    int lastLine_ = 0;
};

// What checking the labels of a run found.
struct CheckedRun
{
    CheckedLabels labels;
    QStringList problems;       // the first kShownProblems messages about bad rows or options
    qsizetype problemCount = 0; // all of them
    bool ok() const { return problemCount == 0; }
    void addProblem(const QString& message);
};

// The settings of one label: the size's preset with the nudges, and darkness, gap and five-across from
// the options. The texts and quantity are left for each label.
LabelSettings baseSettings(const BatchOptions& options);

// Checks the one label the options describe.
CheckedRun checkLabelFromOptions(const BatchOptions& options);

// Reads the CSV rows after the header and checks every one. A row that fails is reported as
// "<source>: row R (line L), column C: what is wrong", text that cannot be read as "<source>: line L: what
// is wrong", after which reading stops. Rows with nothing on them are skipped. `source` names the input in
// the messages and is shown as it is.
// More than `maxLabels` rows with a label are refused.
CheckedRun checkCsv(const BatchOptions& options, CsvReader& reader, const QString& source,
                    qsizetype maxLabels = kMaxLabels);

// The job of a checked label under `base`: the same job the window composes from the same settings.
ComposedJob composeLabel(const LabelSettings& base, const LabelValues& label);

// Why a checked label's job could not be composed, as the batch says it: a field text named by its CSV
// column ("row 2 (line 2), column item: ...") or, for the label from options, by its option ("--item: ...");
// any other value by its heading.
QString compositionProblem(const CheckedLabel& label, const JobFault& fault);

// The first label of a checked run (which has one) in `label` and its job under `base` in `job`, with `cursor`
// past it; false, after reporting the problem and that nothing was sent, when the job cannot be composed.
bool composeFirstLabel(const LabelSettings& base, CheckedLabels::Cursor& cursor, CheckedLabel& label, ComposedJob& job,
                       const std::function<void(const QString&)>& report);

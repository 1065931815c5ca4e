#include "batch/batch_run.h"

#include "batch/batch_jobs.h"
#include "batch/csv_table.h"
#include "printing/safe_text.h"

#include <QElapsedTimer>
#include <QFile>

namespace {

constexpr char kProgram[] = "quorlex-label-batch";

void writeText(QIODevice* device, const QString& text)
{
    if (!device)
        return;
    device->write(text.toUtf8());
    flushDevice(*device);
}

// Every line to standard error goes through here, made safe for a terminal.
void report(BatchEnvironment& env, const QString& line)
{
    writeText(env.standardError, QStringLiteral("%1: %2\n").arg(QLatin1String(kProgram), safeMessageLine(line)));
}

// Shows "rows 12 of 300 done, 24 labels sent" once the run has taken long enough.
class Progress
{
public:
    Progress(BatchEnvironment& env, bool fromCsv, qsizetype total) : env_(env), fromCsv_(fromCsv), total_(total)
    {
        clock_.start();
    }

    void update(qsizetype done, quint64 labels)
    {
        const qint64 now = clock_.elapsed();
        if (now < env_.progressAfter.count() || (shown_ && now - lastShown_ < env_.progressAfter.count()))
            return;
        show(done, labels);
        lastShown_ = now;
    }

    // Ends a progress line that a terminal keeps rewriting.
    void finish(qsizetype done, quint64 labels)
    {
        if (!shown_)
            return;
        if (done != shownDone_ || labels != shownLabels_)
            show(done, labels);
        if (env_.errorIsTerminal)
            writeText(env_.standardError, QStringLiteral("\n"));
    }

private:
    void show(qsizetype done, quint64 labels)
    {
        const QString what = QStringLiteral("%1 %2 of %3 done, %4 labels sent")
                                 .arg(fromCsv_ ? QStringLiteral("rows") : QStringLiteral("jobs"))
                                 .arg(done)
                                 .arg(total_)
                                 .arg(labels);
        writeText(env_.standardError, env_.errorIsTerminal
                                          ? QStringLiteral("\r%1: %2").arg(QLatin1String(kProgram), what)
                                          : QStringLiteral("%1: %2\n").arg(QLatin1String(kProgram), what));
        shown_ = true;
        shownDone_ = done;
        shownLabels_ = labels;
    }

    BatchEnvironment& env_;
    bool fromCsv_;
    qsizetype total_;
    QElapsedTimer clock_;
    qint64 lastShown_ = 0;
    bool shown_ = false;
    qsizetype shownDone_ = 0;
    quint64 shownLabels_ = 0;
};

QString sentSoFar(qsizetype sent, qsizetype total, quint64 labels)
{
    return QStringLiteral("%1 of %2 jobs sent (%3 labels)").arg(sent).arg(total).arg(labels);
}

QString placeOf(const CheckedLabel& label)
{
    return label.row > 0 ? QStringLiteral("row %1 (line %2): ").arg(label.row).arg(label.line) : QString();
}

// Composes and sends the checked labels in order, each job composed just before it is sent.
int sendLabels(BatchEnvironment& env, const BatchOptions& options, const CheckedLabels& labels)
{
    const LabelSettings base = baseSettings(options);
    CheckedLabels::Cursor cursor(labels);
    CheckedLabel label;
    cursor.next(label); // a checked run has a label
    ComposedJob job = composeLabel(base, label.values);
    if (!job.ok()) {
        report(env, placeOf(label) + job.cause);
        report(env, QStringLiteral("nothing was sent"));
        return kExitUsage;
    }

    if (env.startingToSend)
        env.startingToSend();
    std::unique_ptr<JobOutput> output =
        env.createOutput ? env.createOutput(options) : createJobOutput(options, *env.standardOutput);
    if (!output->open()) {
        report(env, output->errorString() + QStringLiteral("; nothing was sent"));
        return kExitSendFailed;
    }

    const qsizetype total = labels.size();
    Progress progress(env, options.fromCsv(), total);
    qsizetype sent = 0;
    quint64 labelsSent = 0;
    bool stopped = false;
    for (;;) {
        if (env.stopRequested && env.stopRequested()) {
            stopped = true;
            break;
        }
        if (!output->send(job.bytes)) {
            const QString cause = output->errorString();
            output->close();
            progress.finish(sent, labelsSent);
            report(env, QStringLiteral("%1%2; %3").arg(placeOf(label), cause, sentSoFar(sent, total, labelsSent)));
            return kExitSendFailed;
        }
        ++sent;
        labelsSent += label.values[LabelColumn::Quantity].toUInt();
        progress.update(sent, labelsSent);
        if (!cursor.next(label))
            break;
        job = composeLabel(base, label.values);
        if (!job.ok()) {
            // Not seen: every label passed checks stricter than the composer's, under the settings the first
            // job was composed with. Should it happen, the run stops before the job.
            output->close();
            progress.finish(sent, labelsSent);
            report(env, QStringLiteral("%1%2; %3").arg(placeOf(label), job.cause, sentSoFar(sent, total, labelsSent)));
            return kExitSendFailed;
        }
    }

    const bool closed = output->close();
    progress.finish(sent, labelsSent);
    if (!closed) {
        report(env, QStringLiteral("%1; %2").arg(output->errorString(), sentSoFar(sent, total, labelsSent)));
        return kExitSendFailed;
    }
    if (stopped) {
        report(env, QStringLiteral("stopped by Ctrl-C: %1").arg(sentSoFar(sent, total, labelsSent)));
        return kExitInterrupted;
    }
    return kExitOk;
}

// Reads and checks the labels of the CSV input the options name.
CheckedRun checkCsvInput(BatchEnvironment& env, const BatchOptions& options)
{
    CheckedRun closed;
    QFile file;
    QIODevice* input = env.standardInput;
    const QString& path = options.csvPath;
    QString source = QStringLiteral("standard input");
    if (path == QLatin1String("-")) {
        if (!input) {
            closed.addProblem(QStringLiteral("--csv -: standard input is closed"));
            return closed;
        }
    } else {
        source = visibleForMessage(path);
        file.setFileName(path);
        if (!file.open(QIODevice::ReadOnly)) {
            closed.addProblem(QStringLiteral("cannot read %1: %2").arg(source, file.errorString()));
            return closed;
        }
        input = &file;
    }
    CsvReader reader(*input);
    return checkCsv(options, reader, source);
}

} // namespace

int runBatch(const QStringList& arguments, BatchEnvironment& env)
{
    const ParsedCommandLine command = parseCommandLine(arguments);
    if (!command.error.isEmpty()) {
        report(env, command.error);
        writeText(env.standardError, QStringLiteral("Try '%1 --help' for more.\n").arg(QLatin1String(kProgram)));
        return kExitUsage;
    }
    if (!command.message.isEmpty()) {
        const QString why = env.standardOutput ? writeAll(*env.standardOutput, command.message.toUtf8())
                                               : QStringLiteral("there is no standard output");
        if (!why.isEmpty()) {
            report(env, QStringLiteral("writing the help to standard output: %1").arg(why));
            return kExitSendFailed;
        }
        return kExitOk;
    }
    const BatchOptions& options = command.options;

    const CheckedRun checked = options.fromCsv() ? checkCsvInput(env, options) : checkLabelFromOptions(options);
    if (!checked.ok()) {
        for (const QString& problem : checked.problems)
            report(env, problem);
        if (checked.problemCount > checked.problems.size())
            report(env, QStringLiteral("... and %1 more").arg(checked.problemCount - checked.problems.size()));
        report(env, QStringLiteral("nothing was sent"));
        return kExitUsage;
    }
    return sendLabels(env, options, checked.labels);
}

#include "batch/batch_run.h"

#include "batch/batch_jobs.h"
#include "batch/batch_verify.h"
#include "batch/csv_table.h"
#include "batch/port_list.h"
#include "batch/preview_library.h"
#include "common/safe_text.h"
#include "output/cups_library.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <optional>

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

QString placeOf(const CheckedLabel& label)
{
    return label.row > 0 ? QStringLiteral("row %1 (line %2): ").arg(label.row).arg(label.line) : QString();
}

// --list-ports: the list on standard output, what could not be listed on standard error.
int listPortsTo(BatchEnvironment& env)
{
    if (env.startingToSend)
        env.startingToSend(); // Ctrl-C while the CUPS server is asked ends the wait, not the program
    const PortList list = listPorts(env.timeouts, {[] { QCoreApplication::processEvents(); }, env.stopRequested});
    for (const QString& line : list.lines)
        writeText(env.standardOutput, line + QLatin1Char('\n'));
    for (const QString& note : list.notes)
        report(env, note);
    return env.stopRequested && env.stopRequested() ? int(kExitInterrupted) : int(kExitOk);
}

// Composes and sends the checked labels in order, each job composed just before it is sent.
int sendLabels(BatchEnvironment& env, const BatchOptions& options, const CheckedLabels& labels)
{
    const auto say = [&env](const QString& line) { report(env, line); };
    const LabelSettings base = baseSettings(options);
    CheckedLabels::Cursor cursor(labels);
    CheckedLabel label;
    ComposedJob job;
    if (!composeFirstLabel(base, cursor, label, job, say))
        return kExitUsage;

    if (env.startingToSend)
        env.startingToSend();
    QString addressError;
    std::unique_ptr<Destination> output =
        env.createOutput ? env.createOutput(options) : createJobOutput(options, *env.standardOutput, &addressError);
    if (!output) {
        report(env, QStringLiteral("--port: %1").arg(addressError));
        report(env, QStringLiteral("nothing was sent"));
        // A good CUPS address whose library is missing is a machine that cannot send, not a wrong option.
        QString notLoaded;
        return isCupsAddress(options.devicePath) && !loadCupsLibrary(&notLoaded) ? kExitSendFailed : kExitUsage;
    }
    output->setWaitControl({[] { QCoreApplication::processEvents(); }, env.stopRequested});
    output->setTimeouts(env.timeouts);

    const qsizetype total = labels.size();
    Progress progress(env, options.fromCsv(), total);
    SendLoop loop(*output, total);
    loop.stopRequested = env.stopRequested;
    if (!loop.open()) {
        report(env, loop.outcome() == SendLoop::Outcome::Stopped
                        ? QStringLiteral("%1: %2").arg(stoppedBy(env), loop.summary())
                        : loop.summary());
        return loop.outcome() == SendLoop::Outcome::Stopped ? kExitInterrupted : kExitSendFailed;
    }
    std::optional<RunVerifier> verifier;
    if (options.verify) {
        verifier.emplace(env, options, *output, say);
        int exit = kExitOk;
        if (!verifier->start(&exit))
            return exit;
        verifier->attach(loop);
    }
    const std::function<QString()> check = loop.afterJob;
    loop.afterJob = [&] {
        progress.update(loop.jobsHanded(), loop.labelsHanded());
        return check ? check() : QString();
    };
    const auto outgoing = [](const CheckedLabel& each, const ComposedJob& composed) {
        return OutgoingJob{composed.bytes, each.values.quantity.toUInt(), placeOf(each)};
    };
    const SendLoop::Outcome outcome = loop.run(outgoing(label, job), [&](OutgoingJob& next, QString& fault) {
        if (!cursor.next(label))
            return false;
        job = composeLabel(base, label.values);
        if (!job.ok()) {
            // Not seen: every label passed checks stricter than the composer's, under the settings the first
            // job was composed with. Should it happen, the run stops before the job.
            fault = compositionProblem(label, *job.fault);
            return false;
        }
        next = outgoing(label, job);
        return true;
    });
    progress.finish(loop.jobsHanded(), loop.labelsHanded());
    if (loop.closed() && !output->receipt().isEmpty())
        writeText(env.standardOutput, output->receipt() + QLatin1Char('\n'));
    switch (outcome) {
    case SendLoop::Outcome::Done:
    case SendLoop::Outcome::Ended:
        return verifier ? verifier->finish(loop) : int(kExitOk);
    case SendLoop::Outcome::Stopped:
        report(env, QStringLiteral("%1: %2%3")
                        .arg(stoppedBy(env), loop.summary(), verifier ? verifier->stoppedNote() : QString()));
        return kExitInterrupted;
    case SendLoop::Outcome::NotOpened:
    case SendLoop::Outcome::Failed:
        break;
    }
    report(env, loop.summary());
    return kExitSendFailed;
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

QString stoppedBy(const BatchEnvironment& environment)
{
    return QStringLiteral("stopped by ") + (environment.stopCause ? environment.stopCause() : QStringLiteral("Ctrl-C"));
}

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
    if (command.listPorts)
        return listPortsTo(env);
    if (command.status)
        return askPrinterStatus(env, command.options);
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
    if (options.preview()) {
        QString notLoaded;
        const PreviewLibraryEntry* preview = previewLibrary(&notLoaded);
        if (!preview) {
            report(env, QStringLiteral("--preview: %1").arg(notLoaded));
            report(env, QStringLiteral("no picture was drawn"));
            return kExitSendFailed;
        }
        return preview->writePreviews(checked.labels, options, env, [&env](const QString& line) { report(env, line); });
    }
    return sendLabels(env, options, checked.labels);
}

#include "batch/batch_run.h"

#include "batch/batch_jobs.h"
#include "batch/csv_table.h"
#include "batch/job_preview.h"
#include "batch/port_list.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

namespace {

constexpr char kProgram[] = "quorlex-label-batch";

void writeText(QIODevice* device, const QString& text)
{
    if (!device)
        return;
    device->write(text.toUtf8());
    if (auto* file = qobject_cast<QFile*>(device))
        file->flush();
}

void report(BatchEnvironment& env, const QString& line)
{
    writeText(env.standardError, QStringLiteral("%1: %2\n").arg(QLatin1String(kProgram), line));
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
    }

    BatchEnvironment& env_;
    bool fromCsv_;
    qsizetype total_;
    QElapsedTimer clock_;
    qint64 lastShown_ = 0;
    bool shown_ = false;
};

QString goneSoFar(const Destination& output, qsizetype gone, qsizetype total, quint64 labels)
{
    return QStringLiteral("%1 of %2 jobs gone (%3 labels; gone: %4)")
        .arg(gone)
        .arg(total)
        .arg(labels)
        .arg(output.goneMeaning());
}

// Reads the CSV text the options name; false after reporting why it cannot be read.
bool readCsv(BatchEnvironment& env, const QString& path, QByteArray* bytes)
{
    if (path == QLatin1String("-")) {
        if (!env.standardInput) {
            report(env, QStringLiteral("--csv -: there is no standard input"));
            return false;
        }
        *bytes = env.standardInput->readAll();
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report(env, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        report(env, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
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
        writeText(env.standardOutput, command.message);
        return kExitOk;
    }
    if (command.listPorts)
        return listPortsTo(env);
    const BatchOptions& options = command.options;

    JobList list;
    if (options.fromCsv()) {
        QByteArray csv;
        if (!readCsv(env, options.csvPath, &csv))
            return kExitUsage;
        const QString source =
            options.csvPath == QLatin1String("-") ? QStringLiteral("standard input") : options.csvPath;
        list = jobsFromCsv(options, parseCsv(csv), source);
    } else {
        list = jobsFromOptions(options);
    }
    if (!list.ok()) {
        constexpr qsizetype kShown = 20;
        for (qsizetype i = 0; i < list.errors.size() && i < kShown; ++i)
            report(env, list.errors.at(i));
        if (list.errors.size() > kShown)
            report(env, QStringLiteral("... and %1 more").arg(list.errors.size() - kShown));
        report(env, QStringLiteral("nothing was sent"));
        return kExitUsage;
    }

    if (options.preview())
        return writePreviews(list.jobs, options, env, [&env](const QString& line) { report(env, line); });

    if (env.startingToSend)
        env.startingToSend();
    QString addressError;
    std::unique_ptr<Destination> output =
        env.createOutput ? env.createOutput(options) : createJobOutput(options, *env.standardOutput, &addressError);
    if (!output) {
        report(env, QStringLiteral("--port: %1").arg(addressError));
        report(env, QStringLiteral("nothing was sent"));
        return kExitUsage;
    }
    output->setWaitControl({[] { QCoreApplication::processEvents(); }, env.stopRequested});
    output->setTimeouts(env.timeouts);

    const qsizetype total = list.jobs.size();
    Progress progress(env, options.fromCsv(), total);
    // A destination that delivers at close has delivered nothing before it.
    const auto goneNow = [&](qsizetype handed, quint64 labels) {
        return goneSoFar(*output, output->deliversAtClose() ? 0 : handed, total, labels);
    };
    const auto stoppedOrFailed = [&](const QString& where, qsizetype handed, quint64 labels) {
        progress.finish(handed, labels);
        if (output->stopped()) {
            report(env, QStringLiteral("stopped by Ctrl-C: %1").arg(goneNow(handed, labels)));
            return int(kExitInterrupted);
        }
        report(env, QStringLiteral("%1%2; %3").arg(where, output->errorString(), goneNow(handed, labels)));
        return int(kExitSendFailed);
    };

    if (!output->open()) {
        if (output->stopped()) {
            report(env, QStringLiteral("stopped by Ctrl-C: nothing was sent"));
            return kExitInterrupted;
        }
        report(env, output->errorString() + QStringLiteral("; nothing was sent"));
        return kExitSendFailed;
    }

    qsizetype sent = 0;
    quint64 labels = 0;
    bool stopped = false;
    for (const BatchJob& job : std::as_const(list.jobs)) {
        if (env.stopRequested && env.stopRequested()) {
            stopped = true;
            break;
        }
        if (!output->send(job.bytes) || !output->confirm()) {
            const QString where =
                job.row > 0 ? QStringLiteral("row %1 (line %2): ").arg(job.row).arg(job.line) : QString();
            const int status = stoppedOrFailed(where, sent, labels);
            output->abandon();
            return status;
        }
        ++sent;
        labels += job.labels;
        progress.update(sent, labels);
    }

    // A destination that delivers at close takes the whole run or none of it: a stopped run is cancelled.
    if (stopped && output->deliversAtClose()) {
        output->abandon();
        progress.finish(sent, labels);
        report(env, QStringLiteral("stopped by Ctrl-C: %1").arg(goneNow(sent, labels)));
        return kExitInterrupted;
    }
    if (!output->close())
        return stoppedOrFailed(QString(), sent, labels);
    progress.finish(sent, labels);
    if (!output->receipt().isEmpty())
        writeText(env.standardOutput, output->receipt() + QLatin1Char('\n'));
    if (stopped) {
        report(env, QStringLiteral("stopped by Ctrl-C: %1").arg(goneNow(sent, labels)));
        return kExitInterrupted;
    }
    return kExitOk;
}

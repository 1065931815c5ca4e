#include "batch/batch_verify.h"

#include "batch/job_output.h"
#include "output/port_devices.h"
#include "output/safe_text.h"
#include "output/serial_port.h"

#include <QCoreApplication>
#include <QIODevice>

namespace {

constexpr char kReportingOn[] = "US\r\n";
constexpr char kReportingOff[] = "UN\r\n";

WaitControl waitControl(BatchEnvironment& env)
{
    return {[] { QCoreApplication::processEvents(); }, env.stopRequested};
}

// A job's time on a 9600-baud line, twice over, plus the time a printer is given to answer.
std::chrono::milliseconds answerTimeout(qint64 bytes)
{
    return SerialPort().drainTimeout(bytes) + kStatusTimeout;
}

} // namespace

StatusTarget statusTarget(const BatchOptions& options)
{
    if (!options.port)
        return {options.devicePath, destinationName(QString(), options.devicePath)};
    const QString address = printerPortAddress(*options.port);
    return {address, destinationName(printerPortDevice(*options.port), address)};
}

int askPrinterStatus(BatchEnvironment& env, const BatchOptions& options)
{
    if (env.startingToSend)
        env.startingToSend();
    const StatusTarget target = statusTarget(options);
    const PrinterStatus status = queryPrinterStatus(target.address, waitControl(env));
    const QString written =
        env.standardOutput ? writeAll(*env.standardOutput,
                                      (safeMessageLine(statusLine(target.name, status)) + QLatin1Char('\n')).toUtf8())
                           : QStringLiteral("there is no standard output");
    if (!written.isEmpty()) {
        if (env.standardError)
            writeAll(*env.standardError,
                     QStringLiteral("quorlex-label-batch: writing the answer to standard output: %1\n")
                         .arg(written)
                         .toUtf8());
        return kExitSendFailed;
    }
    if (env.stopRequested && env.stopRequested())
        return kExitInterrupted;
    switch (status.state) {
    case PrinterStatus::State::Ready:
        return kExitOk;
    case PrinterStatus::State::Fault:
        return kExitFault;
    case PrinterStatus::State::Unknown:
    case PrinterStatus::State::Failed:
        break;
    }
    return kExitSendFailed;
}

int verifyAfterRun(BatchEnvironment& env, const BatchOptions& options, qsizetype gone, qsizetype total, int exitSoFar,
                   const std::function<void(const QString&)>& report)
{
    const StatusTarget target = statusTarget(options);
    const PrinterStatus status = queryPrinterStatus(target.address, waitControl(env));
    if (status.fault()) {
        report(
            QStringLiteral("%1 of %2 jobs gone; the printer then reported %3").arg(gone).arg(total).arg(status.text));
        return kExitFault;
    }
    if (!status.ready())
        report(QStringLiteral("--verify: %1").arg(statusLine(target.name, status)));
    return exitSoFar;
}

int sendWithReporting(BatchEnvironment& env, const BatchOptions& options, const CheckedLabels& labels,
                      const StatusTarget& target, const std::function<void(const QString&)>& report)
{
    const LabelSettings base = baseSettings(options);
    CheckedLabels::Cursor cursor(labels);
    CheckedLabel label;
    ComposedJob job;
    if (!composeFirstLabel(base, cursor, label, job, report))
        return kExitUsage;
    if (env.startingToSend)
        env.startingToSend();

    PrinterLink link(target.address);
    link.setWaitControl(waitControl(env));
    QString why = link.open(env.timeouts.connect);
    if (!why.isEmpty()) {
        report(QStringLiteral("opening %1: %2; nothing was sent").arg(target.name, why));
        return link.stopped() ? kExitInterrupted : kExitSendFailed;
    }
    link.discardInput();

    // Reporting on: the printer acknowledges US with ACK. A printer that does not is asked after the run.
    bool reporting = false;
    why = link.write(QByteArray(kReportingOn), kStatusTimeout);
    QByteArray heard;
    if (why.isEmpty()) {
        bool timedOut = false;
        heard = link.readUntil([](const QByteArray& bytes) { return bytes.contains(kAck); }, 256, kStatusTimeout,
                               &timedOut, &why);
        reporting = heard.contains(kAck);
    }
    if (!why.isEmpty() && !link.stopped()) {
        report(QStringLiteral("sending to %1: %2; nothing was sent").arg(target.name, why));
        return kExitSendFailed;
    }
    if (!reporting && !link.stopped())
        report(QStringLiteral("--verify: %1 did not acknowledge US (error reporting): the printer is asked after "
                              "the run only")
                   .arg(target.name));

    const qsizetype total = labels.size();
    qsizetype sent = 0;
    quint64 labelsSent = 0;
    quint64 confirmed = 0;
    const auto gone = [&] {
        return QStringLiteral("%1 of %2 jobs gone (%3 labels)").arg(sent).arg(total).arg(labelsSent);
    };
    const auto finish = [&](int status) {
        if (reporting)
            link.write(QByteArray(kReportingOff), kStatusTimeout);
        link.close();
        return status;
    };
    while (!link.stopped()) {
        if (env.stopRequested && env.stopRequested()) {
            report(QStringLiteral("%1: %2").arg(stoppedBy(env), gone()));
            return finish(kExitInterrupted);
        }
        const QString place =
            label.row > 0 ? QStringLiteral("row %1 (line %2): ").arg(label.row).arg(label.line) : QString();
        why = link.write(job.bytes, env.timeouts.transfer(job.bytes.size()));
        if (!why.isEmpty()) {
            report(link.stopped() ? QStringLiteral("%1: %2").arg(stoppedBy(env), gone())
                                  : QStringLiteral("%1sending to %2: %3; %4").arg(place, target.name, why, gone()));
            return finish(link.stopped() ? kExitInterrupted : kExitSendFailed);
        }
        ++sent;
        const quint64 quantity = label.values.quantity.toUInt();
        labelsSent += quantity;
        if (reporting) {
            // The answer to ^ee comes once the printer has carried out the job before it; a fault is reported
            // by NAK and its code, before that answer or in place of it.
            why = link.write(QByteArray(kStatusQuery), kStatusTimeout);
            bool timedOut = false;
            if (why.isEmpty()) {
                heard = link.readUntil(
                    [](const QByteArray& bytes) { return hasErrorNotice(bytes) || statusAnswerComplete(bytes); }, 256,
                    answerTimeout(job.bytes.size()), &timedOut, &why);
            }
            if (link.stopped()) {
                report(QStringLiteral("%1: %2; the printer confirmed %3 labels")
                           .arg(stoppedBy(env), gone())
                           .arg(confirmed));
                return finish(kExitInterrupted);
            }
            const PrinterStatus status =
                hasErrorNotice(heard) || (why.isEmpty() && !timedOut)
                    ? statusFromAnswer(heard)
                    : PrinterStatus{PrinterStatus::State::Unknown, why.isEmpty() ? silentPrinterReason() : why, {}};
            if (status.fault()) {
                report(QStringLiteral("%1 of %2 jobs gone; the printer confirmed %3 labels, then reported %4")
                           .arg(sent)
                           .arg(total)
                           .arg(confirmed)
                           .arg(status.text));
                return finish(kExitFault);
            }
            if (status.ready()) {
                confirmed += quantity;
            } else {
                report(QStringLiteral("--verify: after %1 of %2 jobs: %3; the printer is asked after the run only")
                           .arg(sent)
                           .arg(total)
                           .arg(statusLine(target.name, status)));
                reporting = false;
            }
        }
        if (!cursor.next(label))
            break;
        job = composeLabel(base, label.values);
        if (!job.ok()) {
            report(QStringLiteral("%1; %2").arg(compositionProblem(label, *job.fault), gone()));
            return finish(kExitSendFailed);
        }
    }
    if (reporting) {
        report(
            QStringLiteral("%1 of %2 jobs gone; the printer confirmed %3 labels").arg(sent).arg(total).arg(confirmed));
        return finish(kExitOk);
    }
    finish(kExitOk);
    return verifyAfterRun(env, options, sent, total, kExitOk, report);
}

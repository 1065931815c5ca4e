#include "batch/batch_verify.h"

#include "batch/job_output.h"
#include "common/safe_text.h"
#include "output/port_devices.h"
#include "output/serial_port.h"

#include <QCoreApplication>
#include <QIODevice>

namespace {

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

RunVerifier::RunVerifier(BatchEnvironment& env, const BatchOptions& options, Destination& link,
                         std::function<void(const QString&)> report)
    : env_(env), target_(statusTarget(options)), link_(link), report_(std::move(report))
{
}

bool RunVerifier::start(int* exit)
{
    if (!link_.carriesErrorReports())
        return true;
    // Reporting on: the printer acknowledges US with ACK. A printer that does not is asked after the run.
    link_.discardInput();
    QString why = link_.write(QByteArray(kReportingOn), kStatusTimeout);
    if (why.isEmpty()) {
        bool timedOut = false;
        const QByteArray heard = link_.readUntil([](const QByteArray& bytes) { return bytes.contains(kAck); }, 256,
                                                 kStatusTimeout, &timedOut, &why);
        reporting_ = heard.contains(kAck);
    }
    if (link_.stopped()) {
        link_.abandon();
        report_(QStringLiteral("%1: nothing was sent").arg(stoppedBy(env_)));
        *exit = kExitInterrupted;
        return false;
    }
    if (!why.isEmpty()) {
        link_.abandon();
        report_(QStringLiteral("sending to %1: %2; nothing was sent").arg(target_.name, why));
        *exit = kExitSendFailed;
        return false;
    }
    if (!reporting_)
        report_(QStringLiteral("--verify: %1 did not acknowledge US (error reporting): the printer is asked after "
                               "the run only")
                    .arg(target_.name));
    return true;
}

void RunVerifier::attach(SendLoop& loop)
{
    loop.afterJob = [this, &loop] { return askAfterJob(loop); };
    loop.beforeClose = [this] { beforeClose(); };
}

QString RunVerifier::askAfterJob(const SendLoop& loop)
{
    const quint64 labels = loop.labelsHanded() - counted_;
    counted_ = loop.labelsHanded();
    if (!reporting_)
        return {};
    // The answer to ^ee comes once the printer has carried out the job before it; a fault is reported by NAK
    // and its code, before that answer or in place of it.
    QString why = link_.write(QByteArray(kStatusQuery), kStatusTimeout);
    bool timedOut = false;
    QByteArray heard;
    if (why.isEmpty()) {
        heard = link_.readUntil(
            [](const QByteArray& bytes) { return hasErrorNotice(bytes) || statusAnswerComplete(bytes); }, 256,
            answerTimeout(loop.lastJobBytes()), &timedOut, &why);
    }
    if (link_.stopped())
        return {}; // the loop sees the stop before the next job
    const PrinterStatus status =
        hasErrorNotice(heard) || (why.isEmpty() && !timedOut)
            ? statusFromAnswer(heard)
            : PrinterStatus{PrinterStatus::State::Unknown, why.isEmpty() ? silentPrinterReason() : why, {}};
    if (status.fault())
        return QStringLiteral("%1 of %2 jobs gone; the printer confirmed %3 labels, then reported %4")
            .arg(loop.jobsGone())
            .arg(loop.total())
            .arg(confirmed_)
            .arg(status.text);
    if (status.ready()) {
        confirmed_ += labels;
    } else {
        report_(QStringLiteral("--verify: after %1 of %2 jobs: %3; the printer is asked after the run only")
                    .arg(loop.jobsGone())
                    .arg(loop.total())
                    .arg(statusLine(target_.name, status)));
        reporting_ = false;
    }
    return {};
}

void RunVerifier::beforeClose()
{
    if (reporting_) {
        link_.write(QByteArray(kReportingOff), kStatusTimeout);
        return;
    }
    // A print service delivers at close: it is asked once it has the jobs.
    if (link_.deliversAtClose())
        return;
    afterRun_ = askOnLink(link_, kStatusTimeout);
    askedBeforeClose_ = true;
}

int RunVerifier::finish(const SendLoop& loop)
{
    if (loop.outcome() == SendLoop::Outcome::Ended) {
        report_(loop.ended());
        return kExitFault;
    }
    if (reporting_) {
        report_(QStringLiteral("%1 of %2 jobs gone; the printer confirmed %3 labels")
                    .arg(loop.jobsGone())
                    .arg(loop.total())
                    .arg(confirmed_));
        return kExitOk;
    }
    const PrinterStatus status = askedBeforeClose_ ? afterRun_ : queryPrinterStatus(target_.address, waitControl(env_));
    if (status.fault()) {
        report_(QStringLiteral("%1 of %2 jobs gone; the printer then reported %3")
                    .arg(loop.jobsGone())
                    .arg(loop.total())
                    .arg(status.text));
        return kExitFault;
    }
    if (!status.ready())
        report_(QStringLiteral("--verify: %1").arg(statusLine(target_.name, status)));
    return kExitOk;
}

QString RunVerifier::stoppedNote() const
{
    return reporting_ ? QStringLiteral("; the printer confirmed %1 labels").arg(confirmed_) : QString();
}

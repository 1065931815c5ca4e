#include "output/status_query.h"

#include "common/safe_text.h"
#include "output/cups_library.h"

#include <QDeadlineTimer>

#include <algorithm>

namespace {

// An answer to ^ee is a few codes; more than this without a line end is not an answer.
constexpr qsizetype kAnswerLimit = 256;

// A query stopped by End or Ctrl-C: no job was under way, so the destinations' own words do not fit.
PrinterStatus stoppedQuery()
{
    return statusOf(PrinterStatus::State::Failed, QStringLiteral("stopped before the printer answered"));
}

PrinterStatus cupsStatus(const QString& address, const WaitControl& wait, std::chrono::milliseconds timeout)
{
    CupsQueueReport report;
    QString error;
    if (!queryCupsQueue(address, timeout, wait, &report, &error))
        return statusOf(PrinterStatus::State::Failed, error);
    const QString described = report.description;
    if (report.stopped || !report.accepting)
        return statusOf(PrinterStatus::State::Fault, described);
    for (const QString& reason : std::as_const(report.reasons)) {
        if (reason.endsWith(QLatin1String("-error")))
            return statusOf(PrinterStatus::State::Fault, described);
    }
    return statusOf(PrinterStatus::State::Ready, described);
}

} // namespace

PrinterStatus askOnLink(Destination& link, std::chrono::milliseconds timeout)
{
    const QString silent = link.whyNoAnswer();
    if (!silent.isEmpty())
        return statusOf(PrinterStatus::State::Unknown, silent);
    const QDeadlineTimer deadline(timeout);
    const auto left = [&deadline] { return std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0)); };
    link.discardInput();
    const QString why = link.write(QByteArray(kStatusQuery), left());
    if (link.stopped())
        return stoppedQuery();
    if (!why.isEmpty())
        return statusOf(PrinterStatus::State::Failed, why);
    bool timedOut = false;
    QString error;
    const QByteArray answer = link.readUntil(statusAnswerComplete, kAnswerLimit, left(), &timedOut, &error);
    if (link.stopped())
        return stoppedQuery();
    // A connection that failed or closed says so; only a printer that said nothing is "did not answer".
    if (!error.isEmpty() && !statusAnswerComplete(answer))
        return statusOf(PrinterStatus::State::Unknown, error);
    if (answer.trimmed().isEmpty())
        return statusOf(PrinterStatus::State::Unknown, silentPrinterReason());
    if (!statusAnswerComplete(answer))
        return notAStatus(answer);
    return statusFromAnswer(answer);
}

PrinterStatus queryPrinterStatus(const QString& address, const WaitControl& wait, std::chrono::milliseconds timeout)
{
    if (isCupsAddress(address))
        return cupsStatus(address, wait, timeout);
    QString bad;
    const std::unique_ptr<Destination> link = createDestination(address, QString(), &bad);
    if (!link)
        return statusOf(PrinterStatus::State::Failed, bad);
    const QString silent = link->whyNoAnswer();
    if (!silent.isEmpty())
        return statusOf(PrinterStatus::State::Unknown, silent);
    link->setWaitControl(wait);
    DestinationTimeouts timeouts;
    timeouts.connect = timeout;
    link->setTimeouts(timeouts);
    const QDeadlineTimer deadline(timeout);
    if (!link->open())
        return link->stopped() ? stoppedQuery() : statusOf(PrinterStatus::State::Failed, link->reason());
    const PrinterStatus answered =
        askOnLink(*link, std::chrono::milliseconds(std::max<qint64>(deadline.remainingTime(), 0)));
    link->close();
    return answered;
}

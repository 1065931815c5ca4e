#include "output/destination.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>

std::chrono::milliseconds DestinationTimeouts::transfer(qint64 bytes) const
{
    const qint64 blocks = (std::max<qint64>(bytes, 0) + 10239) / 10240;
    return transferBase + transferPer10KB * blocks;
}

bool Destination::open()
{
    return step("opening", doOpen());
}

bool Destination::send(const QByteArray& job)
{
    return step("sending to", doSend(job));
}

bool Destination::confirm()
{
    return step("sending to", doConfirm());
}

bool Destination::close()
{
    return step("closing", doClose());
}

QString Destination::write(const QByteArray& bytes, std::chrono::milliseconds timeout)
{
    return doWrite(bytes, timeout);
}

QString Destination::doWrite(const QByteArray&, std::chrono::milliseconds)
{
    return whyNoAnswer();
}

QString Destination::readSome(QByteArray*, qsizetype, bool*)
{
    return whyNoAnswer();
}

void Destination::waitForInput(int) {}

QByteArray Destination::readUntil(const std::function<bool(const QByteArray&)>& complete, qsizetype limit,
                                  std::chrono::milliseconds timeout, bool* timedOut, QString* error)
{
    // Short enough that the window stays lively while a printer takes its time to answer.
    constexpr qint64 kSliceMs = 10;
    const QDeadlineTimer deadline(timeout);
    QByteArray read;
    *timedOut = false;
    for (;;) {
        bool closed = false;
        const qsizetype before = read.size();
        const QString why = readSome(&read, limit - read.size(), &closed);
        if (!why.isEmpty()) {
            *error = why;
            return read;
        }
        if (read.size() > before && (complete(read) || read.size() >= limit))
            return read;
        if (closed) {
            *error = QStringLiteral("the printer closed the connection");
            return read;
        }
        if (read.size() > before)
            continue;
        if (stopRequested()) {
            *error = QStringLiteral("stopped before the printer answered");
            return read;
        }
        if (deadline.hasExpired()) {
            *timedOut = true;
            return read;
        }
        pump();
        waitForInput(int(std::clamp<qint64>(deadline.remainingTime(), 0, kSliceMs)));
    }
}

void Destination::pump() const
{
    if (wait_.pump)
        wait_.pump();
}

bool Destination::stopRequested()
{
    if (!wait_.stopRequested || !wait_.stopRequested())
        return false;
    stopped_ = true;
    return true;
}

const QString& Destination::stoppedReason()
{
    static const QString reason = QStringLiteral("stopped before the job had gone");
    return reason;
}

bool Destination::step(const char* what, const QString& reason)
{
    if (reason.isEmpty()) {
        stopped_ = false;
        return true;
    }
    reason_ = reason;
    error_ = QStringLiteral("%1 %2: %3").arg(QLatin1String(what), name_, reason);
    return false;
}

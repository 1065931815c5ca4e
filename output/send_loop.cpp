#include "output/send_loop.h"

bool SendLoop::open()
{
    if (destination_.open()) {
        opened_ = true;
        return true;
    }
    outcome_ = destination_.stopped() ? Outcome::Stopped : Outcome::NotOpened;
    cause_ = destination_.errorString();
    return false;
}

SendLoop::Outcome SendLoop::run(OutgoingJob job, const NextJob& next)
{
    bool stopped = false;
    for (;;) {
        if (stopNow()) {
            stopped = true;
            break;
        }
        if (!destination_.send(job.bytes))
            return fail(job.place, destination_.errorString());
        if (afterSend)
            afterSend();
        if (!destination_.confirm())
            return fail(job.place, destination_.errorString());
        ++handed_;
        labelsHanded_ += job.labels;
        lastJobBytes_ = job.bytes.size();
        if (!destination_.deliversAtClose())
            labelsNotGone_.push_back(job.labels);
        if (afterJob) {
            ended_ = afterJob();
            if (!ended_.isEmpty()) {
                outcome_ = Outcome::Ended;
                if (beforeClose)
                    beforeClose();
                closed_ = destination_.close();
                return outcome_;
            }
        }
        QString fault;
        if (!next || !next(job, fault)) {
            if (!fault.isEmpty())
                return fail(QString(), fault);
            break;
        }
    }
    // A destination that delivers at close takes the whole run or none of it: a stopped run is cancelled.
    if (stopped && destination_.deliversAtClose()) {
        destination_.abandon();
        return outcome_ = Outcome::Stopped;
    }
    if (!stopped && beforeClose)
        beforeClose();
    if (!destination_.close())
        return fail(QString(), destination_.errorString(), true);
    closed_ = true;
    return outcome_ = stopped ? Outcome::Stopped : Outcome::Done;
}

SendLoop::Outcome SendLoop::fail(const QString& place, const QString& cause, bool released)
{
    // Given up first (unless a failed close released it already), so that what it could not call back is
    // known to the words.
    if (!released)
        destination_.abandon();
    outcome_ = destination_.stopped() ? Outcome::Stopped : Outcome::Failed;
    cause_ = place + cause;
    return outcome_;
}

void SendLoop::countGone() const
{
    for (const qsizetype nowGone = destination_.jobsGone(handed_); gone_ < nowGone && !labelsNotGone_.empty();
         ++gone_) {
        labelsGone_ += labelsNotGone_.front();
        labelsNotGone_.pop_front();
    }
}

qsizetype SendLoop::jobsGone() const
{
    countGone();
    return gone_;
}

quint64 SendLoop::labelsGone() const
{
    countGone();
    return labelsGone_;
}

QString SendLoop::goneWords() const
{
    // A destination that delivers at close has delivered nothing before it, unless what it could not call
    // back may still print.
    const QString left = destination_.leftBehind();
    const bool atClose = destination_.deliversAtClose();
    if (atClose && !left.isEmpty())
        return QStringLiteral("none of %1 jobs counts as gone, but %2").arg(total_).arg(left);
    const QString gone = QStringLiteral("%1 of %2 jobs gone (%3 labels; gone: %4)")
                             .arg(jobsGone())
                             .arg(total_)
                             .arg(labelsGone())
                             .arg(destination_.goneMeaning());
    return left.isEmpty() ? gone : QStringLiteral("%1; %2").arg(gone, left);
}

QString SendLoop::summary() const
{
    switch (outcome_) {
    case Outcome::Done:
        return {};
    case Outcome::NotOpened:
        return cause_ + QStringLiteral("; nothing was sent");
    case Outcome::Stopped:
        return opened_ ? goneWords() : QStringLiteral("nothing was sent");
    case Outcome::Failed:
        return QStringLiteral("%1; %2").arg(cause_, goneWords());
    case Outcome::Ended:
        return ended_;
    }
    return {};
}

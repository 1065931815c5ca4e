#pragma once

#include "output/destination.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>

// One job for the send loop: its bytes, the labels it prints, and where it came from in the words a
// message puts before a failure ("row 5 (line 6): "), empty when nothing is worth naming.
struct OutgoingJob
{
    QByteArray bytes;
    quint64 labels = 0;
    QString place;
};

// The one way jobs go to a printer, for the Print press, the batch and its --verify: the destination is
// opened; each job is sent, `afterSend` runs, the job is confirmed as gone and counted, and `afterJob` may
// end the run; then the destination is closed, or on a failure or a stop given up (abandon()) so that
// nothing it still holds prints later. Whatever happens, what has gone and what may still print is said
// here, in the same words for every caller.
class SendLoop
{
public:
    enum class Outcome {
        Done,      // every job went and the destination closed
        NotOpened, // the destination did not open: nothing was sent
        Failed,    // a step failed, or a job could not be made: cause() says which
        Stopped,   // the caller asked to stop (End, Ctrl-C)
        Ended,     // afterJob ended the run (a fault the printer reported); the destination was closed
    };

    // The next job: true with `job` filled, false when there is none left, or false with `fault` set when the
    // next one could not be made.
    using NextJob = std::function<bool(OutgoingJob& job, QString& fault)>;

    SendLoop(Destination& destination, qsizetype total) : destination_(destination), total_(total) {}

    // Between the send of a job and its confirmation (the press's pause).
    std::function<void()> afterSend;
    // Once a job has gone; a non-empty text ends the run there as Outcome::Ended, with the words the caller
    // reports.
    std::function<QString()> afterJob;
    // Once the last job has gone, before the destination closes: a last word on the same link.
    std::function<void()> beforeClose;
    // Asked before each job: true stops the run there.
    std::function<bool()> stopRequested;

    // Opens the destination; false (Outcome::NotOpened, or Stopped) when it did not open.
    bool open();
    // Sends `first` and every job `next` gives, then closes or gives up.
    Outcome run(OutgoingJob first, const NextJob& next);

    qsizetype total() const { return total_; }
    bool opened() const { return opened_; }
    // Jobs sent and confirmed, and their labels.
    qsizetype jobsHanded() const { return handed_; }
    quint64 labelsHanded() const { return labelsHanded_; }
    // Of those, what counts as gone (see Destination::jobsGone()), and their labels.
    qsizetype jobsGone() const;
    quint64 labelsGone() const;
    // The size of the job that went last.
    qint64 lastJobBytes() const { return lastJobBytes_; }
    // Whether the destination was closed in order (a receipt it gave then stands).
    bool closed() const { return closed_; }
    Outcome outcome() const { return outcome_; }
    // What failed and why, with the job's place: "row 5 (line 6): sending to COM1 (/dev/ttyS0): ...".
    QString cause() const { return cause_; }
    // What ended the run for Outcome::Ended.
    QString ended() const { return ended_; }
    // "3 of 5 jobs gone (6 labels; gone: the device has taken every byte)", with what may still print.
    QString goneWords() const;
    // The whole sentence for a run that did not end with Outcome::Done: "nothing was sent", the cause with
    // what has gone; for a stopped run only what has gone (the caller says who stopped it).
    QString summary() const;

private:
    Outcome fail(const QString& place, const QString& cause, bool released = false);
    bool stopNow() const { return stopRequested && stopRequested(); }

    Destination& destination_;
    qsizetype total_;
    // Brings the count of what has gone up to what the destination says now.
    void countGone() const;

    qsizetype handed_ = 0;
    quint64 labelsHanded_ = 0;
    // The labels of each job handed over that the destination does not count as gone yet, oldest first: a
    // destination may hold jobs it has taken (standard output's buffer). One that delivers at close holds
    // them all, and counts none.
    mutable std::deque<quint64> labelsNotGone_;
    mutable qsizetype gone_ = 0;
    mutable quint64 labelsGone_ = 0;
    bool opened_ = false;
    bool closed_ = false;
    qint64 lastJobBytes_ = 0;
    Outcome outcome_ = Outcome::Done;
    QString cause_;
    QString ended_;
};

#include "batch/job_output.h"

#include "batch/standard_stream.h"
#include "output/port_devices.h"

#include <QFile>

#include <deque>

namespace {

// Writes all of `bytes` to `device`, going on after short writes. Empty when done, otherwise why it stopped.
QString writeWhole(QIODevice& device, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = device.write(bytes.constData() + done, bytes.size() - done);
        if (written < 0)
            return device.errorString();
        if (written == 0)
            return QStringLiteral("it took %1 of %2 bytes and no more").arg(done).arg(bytes.size());
        done += written;
    }
    return {};
}

// --dry-run: the jobs one after another on standard output. They are written through the stream's buffer and
// flushed at the end, so a million jobs do not take a million writes; a write that fails (a full disk, a
// closed pipe) fails the job it belongs to, and a flush that fails fails the close. A job counts as gone
// once the descriptor has taken its last byte: what waits in the buffer is not gone. A reader that stops
// reading holds the run only until it is stopped.
class StandardOutput final : public Destination
{
public:
    explicit StandardOutput(QIODevice& out)
        : Destination(QStringLiteral("standard output")), out_(out), stream_(dynamic_cast<StandardStream*>(&out))
    {
        if (stream_) {
            outerCheck_ = stream_->stopCheck();
            stream_->setStopCheck([this] { return stopRequested(); });
        }
    }
    ~StandardOutput() override
    {
        if (stream_)
            stream_->setStopCheck(outerCheck_);
    }

    QString goneMeaning() const override
    {
        return QStringLiteral("standard output has taken every byte, not just the program's buffer");
    }

    qsizetype jobsGone(qsizetype handed) const override
    {
        if (!stream_)
            return handed;
        qsizetype gone = goneBefore_;
        for (const qint64 end : ends_) {
            if (end > stream_->taken())
                break;
            ++gone;
        }
        return qMin(gone, handed);
    }

protected:
    QString doOpen() override { return {}; }
    QString doSend(const QByteArray& job) override
    {
        const QString why = writeWhole(out_, job);
        if (!why.isEmpty())
            return stopOrCause(why);
        if (stream_) {
            while (!ends_.empty() && ends_.front() <= stream_->taken()) {
                ends_.pop_front();
                ++goneBefore_;
            }
            ends_.push_back(stream_->written());
        }
        return {};
    }
    QString doConfirm() override { return {}; }
    QString doClose() override
    {
        const QString why = flushDevice(out_);
        return why.isEmpty() ? why : stopOrCause(why);
    }

private:
    QString stopOrCause(const QString& why) const { return stream_ && stream_->stopped() ? stoppedReason() : why; }

    QIODevice& out_;
    StandardStream* stream_;
    std::function<bool()> outerCheck_; // the stream's own stop check, put back when the run is over
    // Where each job handed over but not yet known to be taken ends in the stream, oldest first: a buffer's
    // worth at most.
    std::deque<qint64> ends_;
    qsizetype goneBefore_ = 0; // jobs known to be taken before those in ends_
};

} // namespace

QString flushDevice(QIODevice& device)
{
    if (auto* stream = dynamic_cast<StandardStream*>(&device))
        return stream->flush() ? QString() : stream->errorString();
    auto* file = qobject_cast<QFileDevice*>(&device);
    if (!file || file->flush())
        return {};
    return file->errorString();
}

QString writeAll(QIODevice& device, const QByteArray& bytes)
{
    const QString why = writeWhole(device, bytes);
    return why.isEmpty() ? flushDevice(device) : why;
}

std::unique_ptr<Destination> createJobOutput(const BatchOptions& options, QIODevice& standardOutput, QString* error)
{
    if (options.dryRun)
        return std::make_unique<StandardOutput>(standardOutput);
    if (options.port)
        return printerPortDestination(*options.port, nullptr, error);
    return createDestination(options.devicePath, QString(), error);
}

#include "batch/job_output.h"

#include "batch/standard_stream.h"
#include "output/port_devices.h"

#include <QFile>

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
// closed pipe) fails the job it belongs to, and a flush that fails fails the close.
class StandardOutput final : public Destination
{
public:
    explicit StandardOutput(QIODevice& out) : Destination(QStringLiteral("standard output")), out_(out) {}

    QString goneMeaning() const override
    {
        return QStringLiteral("written to standard output, the last of them possibly only to its buffer");
    }

protected:
    QString doOpen() override { return {}; }
    QString doSend(const QByteArray& job) override { return writeWhole(out_, job); }
    QString doConfirm() override { return {}; }
    QString doClose() override { return flushDevice(out_); }

private:
    QIODevice& out_;
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

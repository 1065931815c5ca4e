#include "batch/job_output.h"

#include "printing/port_devices.h"
#include "printing/serial_destination.h"

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

class StandardOutput final : public Destination
{
public:
    explicit StandardOutput(QIODevice& out) : Destination(QStringLiteral("standard output")), out_(out) {}

    QString goneMeaning() const override { return QStringLiteral("written to standard output"); }

protected:
    QString doOpen() override { return {}; }
    QString doSend(const QByteArray& job) override
    {
        QString why = writeWhole(out_, job);
        if (why.isEmpty()) {
            if (auto* file = qobject_cast<QFile*>(&out_); file && !file->flush())
                why = file->errorString();
        }
        return why;
    }
    QString doConfirm() override { return {}; }
    QString doClose() override { return {}; }

private:
    QIODevice& out_;
};

} // namespace

std::unique_ptr<Destination> createJobOutput(const BatchOptions& options, QIODevice& standardOutput, QString* error)
{
    if (options.dryRun)
        return std::make_unique<StandardOutput>(standardOutput);
    switch (options.port) {
    case PortChoice::Com1:
        return std::make_unique<SerialDestination>(serialDevicePath(1),
                                                   QStringLiteral("COM1 (%1)").arg(serialDevicePath(1)));
    case PortChoice::Lpt:
        return createDestination(parallelPortAddress(), QStringLiteral("LPT1"), error);
    case PortChoice::Device:
        break;
    }
    return createDestination(options.devicePath, QString(), error);
}

#include "batch/job_output.h"

#include "printing/mscomm.h"
#include "printing/parallel_device.h"
#include "printing/port_devices.h"

#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// COM1 or a terminal named on the command line, through the window's serial control: the same line
// settings, the same checked writes and the same drain, with the port open for the whole run.
class SerialOutput final : public JobOutput
{
public:
    explicit SerialOutput(const QString& devicePath) { serial_.setDevicePath(devicePath); }

    QString name() const override
    {
        return serial_.devicePath().isEmpty() ? QStringLiteral("COM1") : serial_.devicePath();
    }
    bool open() override
    {
        serial_.setCommPort(1);
        if (!serial_.setPortOpen(true))
            return fail(QStringLiteral("opening %1: %2").arg(name(), serial_.errorString()));
        // As the window's Print does after opening: an empty text first.
        if (!serial_.setOutput(QByteArray()))
            return fail(QStringLiteral("sending to %1: %2").arg(name(), serial_.errorString()));
        return true;
    }
    bool send(const QByteArray& job) override
    {
        if (!serial_.setOutput(job) ||
            !serial_.drain(serial_.drainTimeout(job.size()), [] { QCoreApplication::processEvents(); }))
            return fail(QStringLiteral("sending to %1: %2").arg(name(), serial_.errorString()));
        return true;
    }
    bool close() override
    {
        serial_.setPortOpen(false); // every job has drained; closing drops nothing
        return true;
    }

private:
    MSComm serial_;
};

// LPT1 or a device or file named on the command line: opened without creating it, every write whole and
// checked, and the close checked.
class DeviceOutput final : public JobOutput
{
public:
    DeviceOutput(const QString& path, const QString& name) : path_(path), name_(name) {}

    QString name() const override { return name_; }
    bool open() override
    {
        if (!device_.open(path_))
            return fail(QStringLiteral("opening %1: %2").arg(name_, device_.errorString()));
        return true;
    }
    bool send(const QByteArray& job) override
    {
        if (!device_.write(job))
            return fail(QStringLiteral("printing to %1: %2").arg(name_, device_.errorString()));
        return true;
    }
    bool close() override
    {
        if (!device_.close())
            return fail(QStringLiteral("closing %1: %2").arg(name_, device_.errorString()));
        return true;
    }

private:
    QString path_;
    QString name_;
    ParallelDevice device_;
};

// --dry-run: the jobs one after another on standard output. They are written through the file's buffer and
// flushed at the end, so a million jobs do not take a million writes; a write that fails (a full disk, a
// closed pipe) fails the job it belongs to, and a flush that fails fails the close.
class StandardOutput final : public JobOutput
{
public:
    explicit StandardOutput(QIODevice& out) : out_(out) {}

    QString name() const override { return QStringLiteral("standard output"); }
    bool open() override { return true; }
    bool send(const QByteArray& job) override
    {
        const QString why = writeWhole(out_, job);
        return why.isEmpty() || fail(QStringLiteral("writing to standard output: %1").arg(why));
    }
    bool close() override
    {
        const QString why = flushDevice(out_);
        return why.isEmpty() || fail(QStringLiteral("writing to standard output: %1").arg(why));
    }

private:
    QIODevice& out_;
};

} // namespace

QString flushDevice(QIODevice& device)
{
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

bool isTerminalDevice(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::stat(native.constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    int fd = ::open(native.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        fd = ::open(native.constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal;
}

std::unique_ptr<JobOutput> createJobOutput(const BatchOptions& options, QIODevice& standardOutput)
{
    if (options.dryRun)
        return std::make_unique<StandardOutput>(standardOutput);
    switch (options.port) {
    case PortChoice::Com1:
        return std::make_unique<SerialOutput>(QString());
    case PortChoice::Lpt:
        return std::make_unique<DeviceOutput>(parallelDevicePath(), QStringLiteral("LPT1"));
    case PortChoice::Device:
        break;
    }
    if (isTerminalDevice(options.devicePath))
        return std::make_unique<SerialOutput>(options.devicePath);
    return std::make_unique<DeviceOutput>(options.devicePath, options.devicePath);
}

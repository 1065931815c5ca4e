#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

class QIODevice;

// The parallel printer device, opened for output for one press. It is never created: a missing device (or
// a mapped file that does not exist) is a failure. A mapped file that exists is overwritten with the job.
// Every write and the close are checked; the device is released when this object goes, failed or not.
class ParallelDevice
{
public:
    ParallelDevice() = default;
    ~ParallelDevice();
    ParallelDevice(const ParallelDevice&) = delete;
    ParallelDevice& operator=(const ParallelDevice&) = delete;

    bool open(const QString& path);
    // Writes all of `bytes` and nothing more.
    bool write(const QByteArray& bytes);
    bool close();
    bool isOpen() const { return file_.isOpen(); }

    // Why the last failed step failed, e.g. "cannot write to /dev/full: No space left on device".
    QString errorString() const { return error_; }

private:
    QFile file_;
    QString error_;
};

// Writes all of `bytes` to `device`, going on after short writes. Empty when done, otherwise why it stopped.
QString writeWhole(QIODevice& device, const QByteArray& bytes);

#include "support/fake_serial_line.h"

#include <QThread>

bool FakeSerialLine::open(const QString& path, const LineSettings& settings)
{
    calls << QStringLiteral("open %1").arg(path);
    openedWith = settings;
    error = openFailure;
    return openFailure.isEmpty();
}

void FakeSerialLine::close()
{
    calls << QStringLiteral("close");
    deliveredAtClose = delivered;
    queued.clear();
}

bool FakeSerialLine::write(const QByteArray& bytes)
{
    calls << QStringLiteral("write %1").arg(bytes.size());
    writes << bytes;
    error = writeFailure;
    if (!writeFailure.isEmpty())
        return false;
    queued += bytes;
    return true;
}

bool FakeSerialLine::flush()
{
    error = flushFailure;
    if (!flushFailure.isEmpty())
        return false;
    take(takenPerFlush);
    return true;
}

void FakeSerialLine::waitForOutput(std::chrono::milliseconds atMost)
{
    ++waits;
    if (takenPerWait == 0)
        QThread::msleep(static_cast<unsigned long>(atMost.count())); // a device that stays busy
    take(takenPerWait);
}

void FakeSerialLine::take(qint64 bytes)
{
    const qint64 n = bytes < 0 ? queued.size() : qMin<qint64>(bytes, queued.size());
    delivered += queued.left(n);
    queued.remove(0, n);
}

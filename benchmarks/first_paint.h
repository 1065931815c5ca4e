#pragma once

// A child of bench_startup reports once its window has been painted for the first time: it writes
// "painted <peak RSS in kB>" to standard output and quits. The peak is VmHWM, the high-water mark of this
// program's own memory since it started: getrusage() would also count the parent's memory, which a child
// shares until it runs its program.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <QFile>

#include <cstdio>

// VmHWM from a process's status file (this process's by default), in kB; 0 when it cannot be read.
inline long peakResidentKiB(const QString& statusFile = QStringLiteral("/proc/self/status"))
{
    QFile status(statusFile);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

class FirstPaintReporter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            // Report after this paint has been handled and flushed.
            QTimer::singleShot(0, qApp, [] {
                std::printf("painted %ld\n", peakResidentKiB());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_reported = false;
};

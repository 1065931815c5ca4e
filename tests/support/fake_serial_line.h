#pragma once

#include "output/serial_line.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// A serial line whose output queue and failures the test controls. Written bytes wait in `queued` until
// the "device" takes them: `takenPerFlush` bytes at every flush and `takenPerWait` at every wait (all of
// them by default, like a device that is never busy). What close() finds still queued is lost, as with
// QSerialPort. Every call is logged in `calls`.
class FakeSerialLine final : public SerialLine
{
public:
    bool open(const QString& path, const LineSettings& settings) override;
    void close() override;
    bool write(const QByteArray& bytes) override;
    bool flush() override;
    qint64 pendingBytes() override { return queued.size(); }
    void waitForOutput(std::chrono::milliseconds atMost) override;
    QString errorString() const override { return error; }

    // Script
    QString openFailure;       // when set, open fails with this cause
    QString writeFailure;      // when set, write fails with this cause
    QString flushFailure;      // when set, flush fails with this cause
    qint64 takenPerFlush = -1; // -1: everything
    qint64 takenPerWait = -1;

    // Record
    QStringList calls; // "open <path>", "write <n>", "close"
    QList<QByteArray> writes;
    LineSettings openedWith;
    QByteArray queued;
    QByteArray delivered;
    QByteArray deliveredAtClose;
    int waits = 0;

private:
    void take(qint64 bytes);
    QString error;
};

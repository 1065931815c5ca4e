#pragma once

#include <QByteArray>
#include <QString>

// A job as the composer hands it to the Print press: the bytes to send, or why there are none.
struct ComposedJob
{
    QByteArray bytes;
    QString cause; // one English line saying what is wrong; empty when the job was composed
    bool ok() const { return cause.isEmpty(); }
};

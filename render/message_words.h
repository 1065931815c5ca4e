#pragma once

#include <QByteArrayView>
#include <QString>

// A short, printable rendering of a job's text for messages: printable ASCII as it is, every other byte as
// \xNN, cut after `limit` characters with "..." added.
QString printableExcerpt(QByteArrayView bytes, int limit = 40);

// A count with its noun for messages: "1 label", "2 labels" (`singular` takes an "s" for any other count).
QString counted(qint64 number, const char* singular);

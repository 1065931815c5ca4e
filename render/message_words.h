#pragma once

#include <QByteArrayView>
#include <QString>

// A short, printable rendering of a job's text for messages: printable ASCII as it is, every other byte as
// \xNN, cut after `limit` characters with "..." added.
QString printableExcerpt(QByteArrayView bytes, int limit = 40);

// Bytes in hexadecimal for messages, upper case and apart: "95 5C"; at most `limit` of them, with "..." after.
QString hexBytes(QByteArrayView bytes, int limit = 20);

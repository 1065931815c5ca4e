#pragma once

#include <QByteArrayView>
#include <QString>

// A short, printable rendering of a job's text for messages: printable ASCII as it is, every other byte as
// \xNN, cut after `limit` characters with "..." added.
QString printableExcerpt(QByteArrayView bytes, int limit = 40);

#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// A 1-bit PCX file (run-length encoded or not) as a picture: 0 bits print, as in the black and white files
// of paint programs. Null, with `why`, when it is not one.
QImage pcxPicture(const QByteArray& file, QString* why);

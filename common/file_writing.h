#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Writes `bytes` as the file at `path`, whole or not at all (written aside, then renamed); the cause when it
// cannot.
QString writeFileWhole(const QString& path, const QByteArray& bytes);

// Writes `picture` as a PNG file at `path`, whole or not at all (written aside, then renamed); the cause when
// it cannot.
QString writePng(const QString& path, const QImage& picture);

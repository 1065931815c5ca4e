#pragma once

#include "common/whole_file.h"

#include <QImage>
#include <QString>

// Writes `picture` as a PNG file at `path`, whole or not at all (written aside, then renamed); the cause when
// it cannot.
QString writePng(const QString& path, const QImage& picture);

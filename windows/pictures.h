#pragma once

#include <QPixmap>
#include <QString>

// The program's pictures, rendered from their SVG once per size and kept for the life of the process.
QPixmap picture(const QString& resource, const QSize& size, qreal devicePixelRatio = 1.0);

#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

// The program's pictures at the size they are shown, in device-independent pixels, for a screen of the given
// device pixel ratio. Sizes drawn at build time are read in place from the program; any other is rendered
// from its SVG once and kept for the life of the process.
QImage picture(const QString& resource, const QSize& size, qreal devicePixelRatio = 1.0);

// The windows' icon, from the sizes drawn at build time.
QIcon appIcon();

// How many pictures have been rendered from SVG while the program ran, rather than read as drawn.
int picturesRenderedFromSvg();
